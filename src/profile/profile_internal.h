#ifndef KEL_SRC_PROFILE_PROFILE_INTERNAL_H
#define KEL_SRC_PROFILE_PROFILE_INTERNAL_H

// Pieces shared by the profile sources: owned text copies and the look-up tables that keep
// large profiles fast.

#include "profile/text_index.h"

#include <kel/profile.h>

#include <atomic>
#include <cstddef>
#include <string>

namespace Kel {
namespace detail {

// A new[]-allocated copy of the first length bytes of text, NUL-terminated.
char* copyText(const char* text, std::size_t length);
// A new[]-allocated copy of a NUL-terminated text (null gives empty text).
char* copyText(const char* text);

// A chain is searched from its start until this many links have been passed without a match;
// after that a look-up table answers, kept up to date as links are appended.
constexpr unsigned indexAfter = 8;

// Look-up tables point into the names and keys they index. The public assignments of sections and
// entries replace those texts without knowing which table holds them, so each bumps this count, and a
// table made under another count is thrown away, unread, before its next use.
extern std::atomic<unsigned long> tableGeneration;

inline unsigned long currentTableGeneration() {
    return tableGeneration.load(std::memory_order_relaxed);
}

inline const char* nameOf(const Profile::ProfileSection* section) {
    return section->name();
}

inline const char* keyOf(const Profile::ProfileEntry* entry) {
    return entry->key();
}

} // namespace detail

// The first entry of each key in a section.
struct Profile::ProfileSection::EntryIndex {
    unsigned long generation = detail::currentTableGeneration();
    detail::TextIndex<ProfileEntry, detail::keyOf> first;
};

// What a profile keeps beside its sections: where its local file lives, whether the destructor
// writes it, and the first section of each name once the chain is long.
struct Profile::State {
    std::string localPath;
    bool bSaveLocal = false;
    // The local file existed and was read; textAsRead is then what saving would have written
    // right after construction.
    bool bLocalRead = false;
    std::string textAsRead;
    bool bIndexed = false;
    unsigned long indexGeneration = 0;
    detail::TextIndex<ProfileSection, detail::nameOf> firstSection;
};

} // namespace Kel

#endif
