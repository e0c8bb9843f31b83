#include "platform/paths.h"

#include <cctype>
#include <cstdlib>

#include <windows.h>

namespace Kel {
namespace platform {

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

// "C:..." or "\\server\share...": the text already says where it lives.
bool namesDrive(const char* path) {
    if (std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
        return true;
    }
    return isSeparator(path[0]) && isSeparator(path[1]);
}

// "C:\..." or "C:/...", or "\\server\share...": a name that needs no directory before it.
bool isAbsolute(const char* name) {
    if (std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':' && isSeparator(name[2])) {
        return true;
    }
    return name[0] == '\\' && name[1] == '\\';
}

bool writeAll(HANDLE file, const char* data, std::size_t length) {
    while (length > 0) {
        DWORD chunk = length > 0x10000000 ? 0x10000000 : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0) {
            return false;
        }
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
        if (c == '\n') {
            buffer += '\r';
        }
        buffer += c;
        if (buffer.size() >= 65536) {
            if (!writeAll(file, buffer.data(), buffer.size())) {
                return false;
            }
            buffer.clear();
        }
    }
    return writeAll(file, buffer.data(), buffer.size());
}

// Creates a new, empty file beside `target` with a name no other writer uses, protected from its
// creation on by `security` (the old file's, or the directory's default when null).
HANDLE createTemporary(const std::string& target, SECURITY_ATTRIBUTES* security, std::string& temporary) {
    static unsigned long counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = target + ".tmp" + std::to_string(static_cast<unsigned long>(::GetCurrentProcessId())) +
                    "-" + std::to_string(++counter);
        HANDLE file = ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, security, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
    }
    return INVALID_HANDLE_VALUE;
}

// Closes a file handle on every way out.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : _handle(handle) {}
    ~FileHandle() {
        if (valid()) {
            ::CloseHandle(_handle);
        }
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool valid() const { return _handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return _handle; }

private:
    HANDLE _handle;
};

// The file a symbolic link (or any other name) finally leads to, so that the link itself stays.
bool finalPath(const std::string& path, std::string& target) {
    FileHandle file(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) {
        return false;
    }
    char buffer[MAX_PATH * 4];
    DWORD length = ::GetFinalPathNameByHandleA(file.get(), buffer, sizeof buffer, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= sizeof buffer) {
        return false;
    }
    target.assign(buffer, length);
    return true;
}

// The number of names (hard links) the file has; 0 when it cannot be told.
DWORD linkCount(const std::string& path) {
    FileHandle file(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file.valid() || !::GetFileInformationByHandle(file.get(), &info)) {
        return 0;
    }
    return info.nNumberOfLinks;
}

// The old file's access control list, for the temporary file to be born with. False when it
// cannot be read.
bool securityOf(const std::string& path, std::string& descriptor) {
    const SECURITY_INFORMATION wanted = DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    ::GetFileSecurityA(path.c_str(), wanted, nullptr, 0, &needed);
    if (needed == 0) {
        return false;
    }
    descriptor.resize(needed);
    return ::GetFileSecurityA(path.c_str(), wanted, &descriptor[0], needed, &needed) != 0;
}

// Writes the new content over the file itself: every hard link keeps seeing it, and a directory
// that admits no new file is not needed. Not atomic, which is why it is the way out only.
bool rewriteInPlace(const std::string& target, const std::string& text) {
    FileHandle file(::CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        return false;
    }
    return writeText(file.get(), text) && ::SetEndOfFile(file.get()) && ::FlushFileBuffers(file.get());
}

} // namespace

const char* const systemProfileDirectory = "c:\\etc";

std::string joinPath(const std::string& directory, const char* name) {
    std::string path(directory);
    if (path.empty() || !isSeparator(path.back())) {
        path += '\\';
    }
    path += name;
    return path;
}

bool localProfilePath(const char* name, std::string& path) {
    if (isAbsolute(name)) {
        path = name;
        return true;
    }
    const char* home = std::getenv("HOMEPATH");
    if (!home || *home == '\0') {
        return false;
    }
    std::string directory;
    if (!namesDrive(home)) {
        const char* drive = std::getenv("HOMEDRIVE");
        if (drive) {
            directory = drive;
        }
    }
    directory += home;
    path = joinPath(directory, name);
    return true;
}

bool replaceTextFile(const std::string& path, const std::string& text) {
    std::string target = path;
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists) {
        DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            return false;
        }
    } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // Settings kept behind a symbolic link are written where the link points; the link stays.
        if (!finalPath(path, target)) {
            return false;
        }
        attributes = ::GetFileAttributesA(target.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            return false;
        }
    }
    if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
        return false;
    }

    // Replacing a file with several names would split them; a file whose protection cannot be read
    // cannot be given to a new one. Both take the change in place.
    std::string descriptor;
    if (exists && (linkCount(target) > 1 || !securityOf(target, descriptor))) {
        return rewriteInPlace(target, text);
    }
    SECURITY_ATTRIBUTES security = {sizeof security, exists ? &descriptor[0] : nullptr, FALSE};

    std::string temporary;
    HANDLE file = createTemporary(target, exists ? &security : nullptr, temporary);
    if (file == INVALID_HANDLE_VALUE) {
        // A directory the user may not write holding a file the user may: the file takes the change.
        if (exists && ::GetLastError() == ERROR_ACCESS_DENIED) {
            return rewriteInPlace(target, text);
        }
        return false;
    }
    bool ok = writeText(file, text) && ::FlushFileBuffers(file);
    ok = ::CloseHandle(file) && ok;
    if (ok) {
        // ReplaceFile carries the old file's attributes and security over to the new one.
        if (exists) {
            ok = ::ReplaceFileA(target.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                nullptr, nullptr) != 0;
        } else {
            ok = ::MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
        }
    }
    if (!ok) {
        ::DeleteFileA(temporary.c_str());
    }
    return ok;
}

} // namespace platform
} // namespace Kel
