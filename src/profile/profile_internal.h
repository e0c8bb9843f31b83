#ifndef KEL_SRC_PROFILE_PROFILE_INTERNAL_H
#define KEL_SRC_PROFILE_PROFILE_INTERNAL_H

// Pieces shared by the profile sources: owned text copies and the look-up tables that keep
// large profiles fast.

#include <kel/profile.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace Kel {
namespace detail {

// A new[]-allocated copy of the first length bytes of text, NUL-terminated.
char* copyText(const char* text, std::size_t length);
// A new[]-allocated copy of a NUL-terminated text (null gives empty text).
char* copyText(const char* text);

// A chain is searched from its start until this many links have been passed without a match;
// after that a look-up table answers, kept up to date as links are appended.
constexpr unsigned kIndexAfter = 8;

} // namespace detail

// The first entry of each key in a section. The keys point into the entries, which keep their
// keys for life.
struct Profile::ProfileSection::EntryIndex {
    std::unordered_map<std::string_view, ProfileEntry*> first;
};

// What a profile keeps beside its sections: where its local file lives, whether the destructor
// writes it, and the first section of each name once the chain is long.
struct Profile::State {
    std::string localPath;
    bool bSaveLocal = false;
    bool bIndexed = false;
    std::unordered_map<std::string_view, ProfileSection*> firstSection;
};

} // namespace Kel

#endif
