// Where profile files live, and replacing a file safely.
#ifndef KEL_SRC_PLATFORM_PATHS_H
#define KEL_SRC_PLATFORM_PATHS_H

#include <string>

namespace Kel {
namespace platform {

// The path of the user's profile file `name`: an absolute name as it stands ("/..." on POSIX;
// "C:\...", "C:/..." or "\\server\share..." on Windows), any other name joined to the home
// directory by the platform's separator (HOME and "/" on POSIX; HOMEPATH and "\" on Windows, on
// the drive in HOMEDRIVE when HOMEPATH names none). False, with `path` untouched, when a
// relative name meets a home directory that is not set or empty.
bool localProfilePath(const char* name, std::string& path);

// The path of the system-wide profile file `name`: systemProfileDirectory joined with it, or the
// directory a test program sets (platform/test_hooks.h).
std::string globalProfilePath(const char* name);

// Where system-wide profile files live: "/etc" on POSIX, "c:\etc" on Windows.
extern const char* const systemProfileDirectory;

// `directory` and `name` joined by the platform's separator, unless `directory` ends in one already.
std::string joinPath(const std::string& directory, const char* name);

// Writes `text` (lines ended by "\n", written with the platform's line end) to a new file
// in the directory of `path` and renames it over `path` once every byte is on disk. The new file
// is born open to its creator alone and takes the old file's permissions (and owner where the
// process may set it) before any byte is written, so no one reads it whom the old file kept out.
// A symbolic link is followed and stays a link. A file with several hard links, or in a directory
// where no new file may be made, is rewritten in place instead. Returns false when anything
// fails (the old file untouched and the temporary file removed, except after a failed rewrite
// in place), or when the existing file is not a regular file or may not be written.
bool replaceTextFile(const std::string& path, const std::string& text);

} // namespace platform
} // namespace Kel

#endif
