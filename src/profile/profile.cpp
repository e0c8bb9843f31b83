#include "foundation/dump.h"
#include "platform/paths.h"
#include "profile/profile_internal.h"

#include <kel/net.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>

namespace Kel {

Profile::Mode Profile::_mode = Profile::LoadingGlobal;

namespace {

// The number of bytes of [text, text + length) before the first NUL.
std::size_t textLength(const char* text, std::size_t length) {
    const void* nul = std::memchr(text, '\0', length);
    return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : length;
}

const char* findByte(const char* begin, const char* end, char byte) {
    return static_cast<const char*>(std::memchr(begin, byte, static_cast<std::size_t>(end - begin)));
}

// Closes the profile's files on every way out of the loader, exceptions included.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using OpenFile = std::unique_ptr<std::FILE, FileCloser>;

// The local file's content: every section, and every entry not read from the global file.
std::string fileText(const Profile::ProfileSection* first) {
    std::string text;
    for (const Profile::ProfileSection* section = first; section; section = section->next()) {
        text += '[';
        text += section->name();
        text += "]\n";
        for (const Profile::ProfileEntry* entry = section->firstEntry(); entry; entry = entry->next()) {
            if (entry->isGlobal()) {
                continue;
            }
            text += entry->key();
            text += '=';
            text += entry->value();
            text += '\n';
        }
    }
    return text;
}

} // namespace

// ---- construction and destruction ---------------------------------------------------------------

Profile::Profile(const char* localName, const char* globalName)
    : _pFirst(nullptr), _pLast(nullptr), _szLocal(nullptr), _szGlobal(nullptr), _bFound(false),
      _pState(new State) {
    try {
        if (localName) {
            loadLocal(localName);
        }
        if (globalName) {
            loadGlobal(globalName);
        }
        // What the destructor would write if nothing changed: a file that was read is left as it
        // is, comments and blank lines included, unless the profile's content differs from this.
        if (_pState->bLocalRead) {
            _pState->textAsRead = fileText(_pFirst);
        }
    } catch (...) {
        _mode = Ready;
        release();
        throw;
    }
    _mode = Ready;
}

Profile::Profile(const Profile& other)
    : KELBase(other), _pFirst(nullptr), _pLast(nullptr), _szLocal(nullptr), _szGlobal(nullptr),
      _bFound(other._bFound), _pState(new State) {
    try {
        if (other._szLocal) {
            _szLocal = detail::copyText(other._szLocal);
        }
        if (other._szGlobal) {
            _szGlobal = detail::copyText(other._szGlobal);
        }
        copyChain(other._pFirst, _pFirst, _pLast);
    } catch (...) {
        release();
        throw;
    }
}

Profile& Profile::operator=(const Profile& other) {
    if (this != &other) {
        ProfileSection* first;
        ProfileSection* last;
        copyChain(other._pFirst, first, last);
        releaseSections();
        _pFirst = first;
        _pLast = last;
        _bFound = other._bFound;
        KELBase::operator=(other);
    }
    return *this;
}

Profile::Profile(Profile&& other) noexcept
    : KELBase(other), _pFirst(other._pFirst), _pLast(other._pLast), _szLocal(other._szLocal),
      _szGlobal(other._szGlobal), _bFound(other._bFound), _pState(other._pState) {
    other._pFirst = nullptr;
    other._pLast = nullptr;
    other._szLocal = nullptr;
    other._szGlobal = nullptr;
    other._bFound = false;
    other._pState = nullptr;
}

Profile& Profile::operator=(Profile&& other) noexcept {
    if (this != &other) {
        save();
        release();
        KELBase::operator=(other);
        std::swap(_pFirst, other._pFirst);
        std::swap(_pLast, other._pLast);
        std::swap(_szLocal, other._szLocal);
        std::swap(_szGlobal, other._szGlobal);
        std::swap(_bFound, other._bFound);
        std::swap(_pState, other._pState);
    }
    return *this;
}

Profile::~Profile() {
    _mode = Saving;
    save();
    release();
}

void Profile::save() noexcept {
    // A moved-from profile has no state, and nothing to save.
    if (!_pState || !_pState->bSaveLocal) {
        return;
    }
    try {
        const std::string text = fileText(_pFirst);
        if (!_pState->bLocalRead || text != _pState->textAsRead) {
            platform::replaceTextFile(_pState->localPath, text);
        }
    } catch (...) {
        // Out of memory while composing the text: the old file stays, as for any failed save.
    }
}

// ---- look-ups and changes -----------------------------------------------------------------------

const char* Profile::getProfileString(const char* section, const char* key, const char* defaultValue) const {
    const ProfileSection* found = section ? find(section) : nullptr;
    return found ? found->entryValue(key, defaultValue) : defaultValue;
}

long Profile::getProfileLong(const char* section, const char* key, long defaultValue) const {
    const ProfileSection* found = section && key ? find(section) : nullptr;
    const ProfileEntry* entry = found ? found->findEntry(key) : nullptr;
    // strtol reads what atol reads, and clamps what would overflow.
    return entry ? std::strtol(entry->_szValue, nullptr, 10) : defaultValue;
}

void Profile::writeProfileString(const char* section, const char* key, const char* value) {
    if (!section || !key || !value) {
        return;
    }
    ProfileSection* target = find(section);
    if (!target) {
        target = addSection(section);
    }
    target->setEntry(key, value);
}

void Profile::writeProfileLong(const char* section, const char* key, long value) {
    if (!section || !key) {
        return;
    }
    ProfileSection* target = find(section);
    if (!target) {
        target = addSection(section);
    }
    target->setEntry(key, value);
}

bool Profile::profileFound() const {
    return _bFound;
}

Profile::Mode Profile::mode() {
    return _mode;
}

// ---- sections -----------------------------------------------------------------------------------

Profile::ProfileSection* Profile::find(const char* name) const {
    return name ? findSection(name, std::strlen(name)) : nullptr;
}

Profile::ProfileSection* Profile::addSection(const char* name) {
    return appendSection(name ? name : "", name ? std::strlen(name) : 0);
}

Profile::ProfileSection* Profile::findSection(const char* name, std::size_t length) const {
    dropStaleIndex();
    if (_pState && _pState->bIndexed) {
        return _pState->firstSection.find(name, length);
    }
    unsigned passed = 0;
    for (ProfileSection* section = _pFirst; section; section = section->_pNext) {
        if (std::strncmp(section->_szName, name, length) == 0 && section->_szName[length] == '\0') {
            return section;
        }
        if (++passed == detail::indexAfter && section->_pNext && _pState) {
            for (ProfileSection* each = _pFirst; each; each = each->_pNext) {
                _pState->firstSection.addFirst(each); // keeps the first of equal names
            }
            _pState->bIndexed = true;
            _pState->indexGeneration = detail::currentTableGeneration();
            return findSection(name, length);
        }
    }
    return nullptr;
}

Profile::ProfileSection* Profile::appendSection(const char* name, std::size_t length) {
    if (!_pState) {
        _pState = new State; // a moved-from profile in use again
    }
    std::unique_ptr<ProfileSection> section(new ProfileSection(name, length));
    dropStaleIndex();
    if (_pState->bIndexed) {
        _pState->firstSection.addFirst(section.get());
    }
    if (_pLast) {
        _pLast->_pNext = section.get();
    } else {
        _pFirst = section.get();
    }
    _pLast = section.release();
    return _pLast;
}

void Profile::copyChain(const ProfileSection* from, ProfileSection*& first, ProfileSection*& last) {
    first = nullptr;
    last = nullptr;
    try {
        for (; from; from = from->_pNext) {
            ProfileSection* copy = new ProfileSection(*from);
            if (last) {
                last->_pNext = copy;
            } else {
                first = copy;
            }
            last = copy;
        }
    } catch (...) {
        delete first;
        throw;
    }
}

void Profile::dropStaleIndex() const {
    if (_pState && _pState->bIndexed && _pState->indexGeneration != detail::currentTableGeneration()) {
        _pState->firstSection = {};
        _pState->bIndexed = false;
    }
}

void Profile::releaseSections() {
    if (_pState) {
        _pState->firstSection = {};
        _pState->bIndexed = false;
    }
    delete _pFirst; // the section's destructor releases the chain after it
    _pFirst = nullptr;
    _pLast = nullptr;
}

void Profile::release() {
    releaseSections();
    delete[] _szLocal;
    _szLocal = nullptr;
    delete[] _szGlobal;
    _szGlobal = nullptr;
    delete _pState;
    _pState = nullptr;
}

// ---- files --------------------------------------------------------------------------------------

void Profile::loadLocal(const char* localName) {
    _szLocal = detail::copyText(localName);
    // The path is fixed now so that the destructor writes the very file that was read.
    if (!platform::localProfilePath(localName, _pState->localPath)) {
        return;
    }
    OpenFile file(std::fopen(_pState->localPath.c_str(), "rb"));
    if (!file) {
        // An absent file is created on saving; one that is there but cannot be opened is left
        // alone, since the settings in it were never seen.
        _pState->bSaveLocal = errno == ENOENT;
        return;
    }
    _mode = LoadingLocal;
    const bool read = readFile(file.get());
    _pState->bSaveLocal = read;
    _pState->bLocalRead = read;
    _bFound = _bFound || read;
}

void Profile::loadGlobal(const char* globalName) {
    _szGlobal = detail::copyText(globalName);
    OpenFile file(std::fopen(platform::globalProfilePath(globalName).c_str(), "rb"));
    if (!file) {
        return;
    }
    _mode = LoadingGlobal;
    const bool read = readFile(file.get());
    _bFound = _bFound || read;
}

void Profile::processFile(FILE* file) {
    readFile(file);
}

bool Profile::readFile(FILE* file) {
    // The whole file is read before any of it is taken, so a read error adds nothing.
    std::string text;
    const std::size_t chunk = 65536;
    for (;;) {
        std::size_t used = text.size();
        text.resize(used + chunk);
        std::size_t got = std::fread(&text[used], 1, chunk, file);
        text.resize(used + got);
        if (got < chunk) {
            break;
        }
    }
    if (std::ferror(file)) {
        return false;
    }
    parse(text.data(), text.size());
    return true;
}

void Profile::parse(const char* text, std::size_t length) {
    const char* cursor = text;
    const char* const end = text + length;
    // Editors on Windows start UTF-8 files with a byte-order mark; it is not part of the first line.
    if (length >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0) {
        cursor += 3;
    }

    ProfileSection* current = nullptr;
    while (cursor < end) {
        const char* lineFeed = findByte(cursor, end, '\n');
        const char* lineEnd = lineFeed ? lineFeed : end;
        const char* const next = lineFeed ? lineFeed + 1 : end;
        // Text after a NUL could not be kept in the profile's C strings, so the line ends there.
        lineEnd = cursor + textLength(cursor, static_cast<std::size_t>(lineEnd - cursor));
        while (lineEnd > cursor && lineEnd[-1] == '\r') {
            --lineEnd;
        }

        if (lineEnd > cursor && *cursor == '[') {
            const char* name = cursor + 1;
            const char* close = findByte(name, lineEnd, ']');
            const std::size_t nameLength = static_cast<std::size_t>((close ? close : lineEnd) - name);
            current = findSection(name, nameLength);
            if (!current) {
                current = appendSection(name, nameLength);
            }
        } else if (current) {
            const char* equals = findByte(cursor, lineEnd, '=');
            if (equals) {
                std::unique_ptr<ProfileEntry> entry(
                    new ProfileEntry(cursor, static_cast<std::size_t>(equals - cursor), equals + 1,
                                     static_cast<std::size_t>(lineEnd - equals - 1)));
                current->append(entry.get());
                entry.release();
            }
        }
        cursor = next;
    }
}

// ---- dump ---------------------------------------------------------------------------------------

namespace {

std::string dumpValue(const char* local, const char* global) {
    std::string line("L=");
    line += detail::orNull(local);
    line += " G=";
    line += detail::orNull(global);
    return line;
}

} // namespace

void Profile::dump(Socket& socket) {
    detail::dumpHeader(socket, "Kel::Profile");
    detail::dumpLine(socket, dumpValue(_szLocal, _szGlobal).c_str());
}

void Profile::dump(std::ostream& os) {
    detail::dumpHeader(os, "Kel::Profile");
    detail::dumpLine(os, dumpValue(_szLocal, _szGlobal).c_str());
}

} // namespace Kel
