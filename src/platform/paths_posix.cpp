#include "platform/paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Kel {
namespace platform {

namespace {

// Writes all of [data, data + length), resuming after interrupted or partial writes.
bool writeAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

// Creates a new, empty file beside `target`, with a name no other writer uses, open to its
// creator alone: an existing target's permissions are given to it before any byte is written.
int createTemporary(const std::string& target, bool exists, std::string& temporary) {
    static unsigned long counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary =
            target + ".tmp" + std::to_string(static_cast<long>(::getpid())) + "-" + std::to_string(++counter);
        int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// Gives the empty temporary file the old file's owner and permissions, as far as the process may.
// When the group cannot be carried over, the group's permissions are left out: they would open the
// settings to a group the old file did not admit.
bool takeAccessOf(int fd, const struct stat& old) {
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
        (void)!::fchown(fd, old.st_uid, old.st_gid); // only a privileged process may
    }
    struct stat now;
    if (::fstat(fd, &now) != 0) {
        return false;
    }
    mode_t mode = old.st_mode & 07777;
    if (now.st_gid != old.st_gid) {
        mode &= ~static_cast<mode_t>(S_IRWXG | S_ISGID);
    }
    return ::fchmod(fd, mode) == 0;
}

// Writes the new content over the file itself: every hard link keeps seeing it, and a directory
// that admits no new file is not needed. Not atomic, which is why it is the way out only.
bool rewriteInPlace(const std::string& target, const std::string& text) {
    int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = writeAll(fd, text.data(), text.size());
    ok = ok && ::ftruncate(fd, static_cast<off_t>(text.size())) == 0;
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    return ok;
}

} // namespace

const char* const systemProfileDirectory = "/etc";

std::string joinPath(const std::string& directory, const char* name) {
    std::string path(directory);
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    path += name;
    return path;
}

bool localProfilePath(const char* name, std::string& path) {
    if (name[0] == '/') {
        path = name;
        return true;
    }
    const char* home = std::getenv("HOME");
    if (!home || *home == '\0') {
        return false;
    }
    path = joinPath(home, name);
    return true;
}

bool replaceTextFile(const std::string& path, const std::string& text) {
    // Settings kept behind a symbolic link are written where the link points, so the link
    // survives the rename.
    std::string target = path;
    struct stat info;
    bool exists = false;
    if (::lstat(path.c_str(), &info) == 0) {
        if (S_ISLNK(info.st_mode)) {
            char* resolved = ::realpath(path.c_str(), nullptr);
            if (!resolved) {
                return false;
            }
            target = resolved;
            std::free(resolved);
            if (::stat(target.c_str(), &info) != 0) {
                return false;
            }
        }
        // A file the user may not write stays as it is, although the directory would allow
        // the rename.
        if (!S_ISREG(info.st_mode) || ::access(target.c_str(), W_OK) != 0) {
            return false;
        }
        exists = true;
    } else if (errno != ENOENT) {
        return false;
    }

    // Renaming a new file over one with several names would split them.
    if (exists && info.st_nlink > 1) {
        return rewriteInPlace(target, text);
    }

    std::string temporary;
    int fd = createTemporary(target, exists, temporary);
    if (fd < 0) {
        // A directory the user may not write holding a file the user may (a home directory owned
        // by someone else): the file itself takes the change.
        if (exists && (errno == EACCES || errno == EPERM)) {
            return rewriteInPlace(target, text);
        }
        return false;
    }
    bool ok = !exists || takeAccessOf(fd, info);
    ok = ok && writeAll(fd, text.data(), text.size());
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
    }
    return ok;
}

} // namespace platform
} // namespace Kel
