#include "profile/profile_internal.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace Kel {

namespace detail {

std::atomic<unsigned long> tableGeneration{0};

char* copyText(const char* text, std::size_t length) {
    char* copy = new char[length + 1];
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

char* copyText(const char* text) {
    if (!text) {
        text = "";
    }
    return copyText(text, std::strlen(text));
}

} // namespace detail

namespace {

// Wide enough for any long, on platforms where long has 64 bits too.
struct DecimalText {
    explicit DecimalText(long value) { std::snprintf(text, sizeof text, "%li", value); }
    char text[32];
};

} // namespace

// ---- ProfileEntry -------------------------------------------------------------------------------

Profile::ProfileEntry::ProfileEntry(const char* key, const char* value)
    : _szKey(nullptr), _szValue(nullptr), _bGlobal(Profile::_mode == Profile::LoadingGlobal),
      _pNext(nullptr) {
    std::unique_ptr<char[]> keyCopy(detail::copyText(key));
    _szValue = detail::copyText(value);
    _szKey = keyCopy.release();
}

Profile::ProfileEntry::ProfileEntry(const char* key, std::size_t keyLength, const char* value,
                                    std::size_t valueLength)
    : _szKey(nullptr), _szValue(nullptr), _bGlobal(Profile::_mode == Profile::LoadingGlobal),
      _pNext(nullptr) {
    std::unique_ptr<char[]> keyCopy(detail::copyText(key, keyLength));
    _szValue = detail::copyText(value, valueLength);
    _szKey = keyCopy.release();
}

Profile::ProfileEntry::ProfileEntry(const ProfileEntry& other)
    : _szKey(nullptr), _szValue(nullptr), _bGlobal(other._bGlobal), _pNext(nullptr) {
    std::unique_ptr<char[]> keyCopy(detail::copyText(other._szKey));
    _szValue = detail::copyText(other._szValue);
    _szKey = keyCopy.release();
}

Profile::ProfileEntry& Profile::ProfileEntry::operator=(const ProfileEntry& other) {
    if (this != &other) {
        std::unique_ptr<char[]> keyCopy(detail::copyText(other._szKey));
        replaceValue(other._szValue);
        delete[] _szKey;
        _szKey = keyCopy.release();
        _bGlobal = other._bGlobal;
        detail::tableGeneration.fetch_add(1, std::memory_order_relaxed);
    }
    return *this;
}

Profile::ProfileEntry::~ProfileEntry() {
    delete[] _szKey;
    delete[] _szValue;
    // Successors are detached before they are deleted, so a chain of any length is released
    // by this loop and never by nested destructor calls.
    ProfileEntry* next = _pNext;
    while (next) {
        ProfileEntry* after = next->_pNext;
        next->_pNext = nullptr;
        delete next;
        next = after;
    }
}

void Profile::ProfileEntry::replaceValue(const char* value) {
    // Copied before the old text goes: value may point into it.
    char* copy = detail::copyText(value);
    delete[] _szValue;
    _szValue = copy;
}

// ---- ProfileSection -----------------------------------------------------------------------------

Profile::ProfileSection::ProfileSection(const char* name)
    : _pFirst(nullptr), _pLast(nullptr), _pNext(nullptr), _szName(detail::copyText(name)), _pIndex(nullptr) {}

Profile::ProfileSection::ProfileSection(const char* name, std::size_t length)
    : _pFirst(nullptr), _pLast(nullptr), _pNext(nullptr), _szName(detail::copyText(name, length)),
      _pIndex(nullptr) {}

Profile::ProfileSection::ProfileSection(const ProfileSection& other)
    : _pFirst(nullptr), _pLast(nullptr), _pNext(nullptr), _szName(detail::copyText(other._szName)),
      _pIndex(nullptr) {
    try {
        for (const ProfileEntry* entry = other._pFirst; entry; entry = entry->_pNext) {
            append(new ProfileEntry(*entry));
        }
    } catch (...) {
        releaseEntries();
        delete[] _szName;
        throw;
    }
}

Profile::ProfileSection& Profile::ProfileSection::operator=(const ProfileSection& other) {
    if (this != &other) {
        ProfileSection copy(other);
        std::swap(_szName, copy._szName);
        std::swap(_pFirst, copy._pFirst);
        std::swap(_pLast, copy._pLast);
        std::swap(_pIndex, copy._pIndex);
        detail::tableGeneration.fetch_add(1, std::memory_order_relaxed);
    }
    return *this;
}

Profile::ProfileSection::~ProfileSection() {
    delete[] _szName;
    releaseEntries();
    ProfileSection* next = _pNext;
    while (next) {
        ProfileSection* after = next->_pNext;
        next->_pNext = nullptr;
        delete next;
        next = after;
    }
}

const char* Profile::ProfileSection::entryValue(const char* key, const char* defaultValue) const {
    const ProfileEntry* entry = findEntry(key);
    return entry ? entry->_szValue : defaultValue;
}

void Profile::ProfileSection::setEntry(const char* key, const char* value) {
    ProfileEntry* entry = findEntry(key);
    if (entry) {
        entry->replaceValue(value);
    } else {
        addEntry(key, value);
    }
}

void Profile::ProfileSection::setEntry(const char* key, long value) {
    setEntry(key, DecimalText(value).text);
}

Profile::ProfileEntry* Profile::ProfileSection::addEntry(const char* key, const char* value) {
    std::unique_ptr<ProfileEntry> entry(new ProfileEntry(key, value));
    append(entry.get());
    return entry.release();
}

Profile::ProfileEntry* Profile::ProfileSection::addEntry(const char* key, long value) {
    return addEntry(key, DecimalText(value).text);
}

Profile::ProfileEntry* Profile::ProfileSection::findEntry(const char* key) const {
    if (!key) {
        return nullptr;
    }
    dropStaleIndex();
    if (_pIndex) {
        return _pIndex->first.find(key, std::strlen(key));
    }
    unsigned passed = 0;
    for (ProfileEntry* entry = _pFirst; entry; entry = entry->_pNext) {
        if (std::strcmp(entry->_szKey, key) == 0) {
            return entry;
        }
        if (++passed == detail::indexAfter && entry->_pNext) {
            std::unique_ptr<EntryIndex> index(new EntryIndex);
            for (ProfileEntry* each = _pFirst; each; each = each->_pNext) {
                index->first.addFirst(each); // keeps the first of equal keys
            }
            _pIndex = index.release();
            return findEntry(key);
        }
    }
    return nullptr;
}

void Profile::ProfileSection::append(ProfileEntry* entry) {
    // The table learns the entry before the chain does, so a failure leaves both as they were.
    dropStaleIndex();
    if (_pIndex) {
        _pIndex->first.addFirst(entry);
    }
    if (_pLast) {
        _pLast->_pNext = entry;
    } else {
        _pFirst = entry;
    }
    _pLast = entry;
}

void Profile::ProfileSection::dropStaleIndex() const {
    if (_pIndex && _pIndex->generation != detail::currentTableGeneration()) {
        delete _pIndex;
        _pIndex = nullptr;
    }
}

void Profile::ProfileSection::releaseEntries() {
    delete _pIndex;
    _pIndex = nullptr;
    delete _pFirst;
    _pFirst = nullptr;
    _pLast = nullptr;
}

} // namespace Kel
