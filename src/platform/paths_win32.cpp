#include "platform/paths.h"

#include <cctype>
#include <cstdlib>

#include <windows.h>

namespace Kel {
namespace platform {

namespace {

bool g_bGlobalOverride = false;
std::string g_globalDirectory;

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string joinPath(const std::string& directory, const char* name) {
    std::string path(directory);
    if (path.empty() || !isSeparator(path.back()))
        path += '\\';
    path += name;
    return path;
}

// "C:..." or "\\server\share...": the text already says where it lives.
bool namesDrive(const char* path) {
    if (std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':')
        return true;
    return isSeparator(path[0]) && isSeparator(path[1]);
}

bool writeAll(HANDLE file, const char* data, std::size_t length) {
    while (length > 0) {
        DWORD chunk = length > 0x10000000 ? 0x10000000 : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0)
            return false;
        data += written;
        length -= written;
    }
    return true;
}

// The text with every "\n" written as "\r\n", as text-mode files are on this platform.
bool writeText(HANDLE file, const std::string& text) {
    std::string buffer;
    buffer.reserve(65536 + 2);
    for (char c : text) {
        if (c == '\n')
            buffer += '\r';
        buffer += c;
        if (buffer.size() >= 65536) {
            if (!writeAll(file, buffer.data(), buffer.size()))
                return false;
            buffer.clear();
        }
    }
    return writeAll(file, buffer.data(), buffer.size());
}

HANDLE createTemporary(const std::string& target, std::string& temporary) {
    static unsigned long counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = target + ".tmp" + std::to_string(static_cast<unsigned long>(::GetCurrentProcessId())) +
                    "-" + std::to_string(++counter);
        HANDLE file = ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

} // namespace

bool localProfilePath(const char* name, std::string& path) {
    const char* home = std::getenv("HOMEPATH");
    if (home == nullptr || *home == '\0')
        return false;
    std::string directory;
    if (!namesDrive(home)) {
        const char* drive = std::getenv("HOMEDRIVE");
        if (drive != nullptr)
            directory = drive;
    }
    directory += home;
    path = joinPath(directory, name);
    return true;
}

std::string globalProfilePath(const char* name) {
    return joinPath(g_bGlobalOverride ? g_globalDirectory : std::string("c:\\etc"), name);
}

bool replaceTextFile(const std::string& path, const std::string& text) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists) {
        DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            return false;
    } else if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
        return false;
    }

    std::string temporary;
    HANDLE file = createTemporary(path, temporary);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = writeText(file, text) && ::FlushFileBuffers(file);
    ok = ::CloseHandle(file) && ok;
    if (ok) {
        // ReplaceFile carries the old file's attributes and security over to the new one.
        if (exists)
            ok = ::ReplaceFileA(path.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                nullptr, nullptr) != 0;
        else
            ok = ::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
    }
    if (!ok)
        ::DeleteFileA(temporary.c_str());
    return ok;
}

void setGlobalProfileDirectory(const char* directory) {
    g_bGlobalOverride = directory != nullptr;
    g_globalDirectory = directory != nullptr ? directory : "";
}

} // namespace platform
} // namespace Kel
