// Profiles: sectioned key=value settings read from a user file and a system file and written back.
#ifndef KEL_PROFILE_H
#define KEL_PROFILE_H

#include <kel/export.h>
#include <kel/foundation.h>

#include <cstddef>
#include <cstdio>
#include <iosfwd>
#include <iterator>

namespace Kel {

class Socket;

/// Settings read from up to two text files made of "[section]" lines and "key=value" lines:
/// a local file in the user's home directory, read and rewritten, and a global file in the
/// system directory, only read. Values of the local file win over values of the global one.
///
/// Locations. A local name that is an absolute path is used as it stands: on POSIX one that
/// starts with "/", on Windows one that starts with a drive letter and ":\\" or ":/", or with
/// "\\\\" (a share). Any other local name is joined to the home directory: on POSIX the
/// directory in HOME and "/", on Windows the directory in HOMEPATH and "\\". A HOMEPATH without
/// a drive letter (the usual Windows form, "\\Users\\name") is taken on the drive in HOMEDRIVE;
/// a HOMEPATH that already names a drive or a share is used as it stands. The path is fixed
/// at construction, so the file written is the file read. The global file is "/etc/" + name
/// on POSIX and "c:\\etc\\" + name on Windows, whatever the name. Paths may be of any length.
///
/// File format. A line whose first character is "[" opens a section named by the text after
/// "[" up to the first "]" (to the end of the line without one). Any other line holding "="
/// adds an entry to the current section: the key is the text before the first "=", the value
/// the rest of the line. White space around "=" belongs to key and value ("key = value" gives
/// "key " and " value"). Entry lines before the first section and lines without "=" are
/// ignored. Lines may be of any length; a line ends at LF, carriage returns at its end (CR LF
/// files) are not part of it, and a NUL byte ends it early. A UTF-8 byte-order mark at the
/// start of the file is skipped. Texts are written back as they are, so a text given with a
/// line feed in it, a value ending in a carriage return, or a key with "=" in it or "[" at its
/// start does not read back the same.
///
/// Sections keep the order in which they were first met, entries the order in which they were
/// added; names and keys compare byte for byte. A section may hold several entries with one
/// key: all are kept and written back, look-ups see the first. The local file is read before
/// the global one, so in a section present in both the local entries come first.
///
/// Saving. The destructor rewrites the local file when a local name was given and the content
/// differs from what was read: each section as "[name]", then each of its entries as
/// "key=value", leaving out every entry read from the global file (even one whose value was
/// changed in memory). A section that holds only global entries is written as a bare header.
/// A local file that was read and whose content did not change is left byte for byte as it is,
/// comments and blank lines included; one that did not exist is created. Lines end in LF on
/// POSIX and CR LF on Windows. The new content goes to a temporary file in the same directory,
/// born with the old file's permissions (and owner, where the process may set it) so that no one
/// the old file kept out may read it, which replaces the old file only once it is completely
/// written; a symbolic link is followed and kept. On any failure the old file stays as it was.
/// A file with several hard links, or in a directory where no new file may be made, is
/// rewritten in place instead (keeping every link, but not atomic). The local file is not
/// written when the home directory is unknown, or when the file exists but cannot be read (so
/// settings the profile never saw are not lost).
///
/// Failures are never reported: a file that cannot be read counts as absent, a file that
/// cannot be written is left alone.
///
/// Copies are deep: a copy owns its own sections and entries, answers the same look-ups and
/// keeps the source's names, but a copy-constructed profile never writes a file, so one file
/// is not saved twice. Assignment replaces the target's sections and entries with copies of
/// the source's and leaves the target's files alone: the target still writes its own local
/// file, now with the assigned content. That is the way to ask for a copy that saves.
///
/// Threads: construction and destruction write the process-wide mode(), without a lock, so
/// profiles are constructed and destroyed by one thread at a time; one profile is used by one
/// thread at a time.
class KEL_API Profile : public KELBase {
public:
    /// What profile construction and destruction are doing, process-wide. The value is
    /// LoadingGlobal until the first profile is constructed and Saving after a destruction
    /// until the next construction.
    enum Mode { LoadingGlobal = 0, LoadingLocal = 1, Ready = 2, Saving = 3 };

    /// The sections of a profile or the entries of a section, first to last, for range-for:
    /// `for (const Profile::ProfileSection& s : profile.sections())`. Appending while iterating is
    /// safe (the new links are visited too); a link must not be destroyed while an iterator is on it.
    template <class Link> class Range {
    public:
        class iterator {
        public:
            using iterator_category = std::forward_iterator_tag;
            using value_type = Link;
            using difference_type = std::ptrdiff_t;
            using pointer = Link*;
            using reference = Link&;

            explicit iterator(Link* link = nullptr) : _pLink(link) {}
            Link& operator*() const { return *_pLink; }
            Link* operator->() const { return _pLink; }
            iterator& operator++() {
                _pLink = _pLink->next();
                return *this;
            }
            iterator operator++(int) {
                iterator before = *this;
                _pLink = _pLink->next();
                return before;
            }
            bool operator==(const iterator& o) const { return _pLink == o._pLink; }
            bool operator!=(const iterator& o) const { return _pLink != o._pLink; }

        private:
            Link* _pLink;
        };

        explicit Range(Link* first) : _pFirst(first) {}
        iterator begin() const { return iterator(_pFirst); }
        iterator end() const { return iterator(); }
        bool empty() const { return _pFirst == nullptr; }

    private:
        Link* _pFirst;
    };

    /// One key=value setting. It remembers whether it was read from the global file: that is
    /// the case exactly when mode() was LoadingGlobal at its construction.
    class KEL_API ProfileEntry {
    public:
        /// Copies of key and value (a null value is taken as empty text).
        ProfileEntry(const char* key, const char* value);
        /// Copies the source's key, value and global mark; the copy has no successor.
        ProfileEntry(const ProfileEntry& other);
        /// Takes the source's key, value and global mark; keeps its own successor.
        ProfileEntry& operator=(const ProfileEntry& other);
        /// Releases key and value and destroys every entry that follows this one.
        virtual ~ProfileEntry();

        ///@{
        /// The key and the value, owned by the entry; never null.
        const char* key() const { return _szKey; }
        const char* value() const { return _szValue; }
        ///@}
        ///@{
        /// True when the entry was read from the global file; such entries are never saved.
        bool isGlobal() const { return _bGlobal; }
        ProfileEntry* next() const { return _pNext; }
        ///@}

    private:
        friend class Profile;
        ProfileEntry(const char* key, std::size_t keyLength, const char* value, std::size_t valueLength);
        void replaceValue(const char* value);

        char* _szKey;
        char* _szValue;
        bool _bGlobal;
        ProfileEntry* _pNext;
    };

    /// A named section owning its chain of entries.
    class KEL_API ProfileSection {
    public:
        /// An empty section with a copy of the name.
        explicit ProfileSection(const char* name);
        /// Copies the name and every entry (with their global marks); the copy has no successor.
        ProfileSection(const ProfileSection& other);
        /// Takes the source's name and copies of its entries; keeps its own successor.
        ProfileSection& operator=(const ProfileSection& other);
        /// Releases the name and the entries and destroys every section that follows this one.
        virtual ~ProfileSection();

        /// The section's name, owned by the section.
        const char* name() const { return _szName; }
        /// The first entry of the section; null when it has none.
        ProfileEntry* firstEntry() const { return _pFirst; }
        /// The section that follows in the profile; null after the last.
        ProfileSection* next() const { return _pNext; }
        ///@{
        /// The section's entries, first to last, for range-for.
        Range<ProfileEntry> entries() { return Range<ProfileEntry>(_pFirst); }
        Range<const ProfileEntry> entries() const { return Range<const ProfileEntry>(_pFirst); }
        ///@}

        /// The value of the first entry with that key, or defaultValue. The text belongs to the
        /// entry and stays valid until its value is replaced or the section is destroyed.
        const char* entryValue(const char* key, const char* defaultValue) const;
        /// Replaces the value of the first entry with that key (its global mark is kept), or
        /// appends a new entry when there is none.
        void setEntry(const char* key, const char* value);
        /// As setEntry with the value written in decimal.
        void setEntry(const char* key, long value);
        /// Appends a new entry, even when the key is already present.
        ProfileEntry* addEntry(const char* key, const char* value);
        /// As addEntry with the value written in decimal.
        ProfileEntry* addEntry(const char* key, long value);

    private:
        friend class Profile;
        struct EntryIndex;
        ProfileSection(const char* name, std::size_t length);
        ProfileEntry* findEntry(const char* key) const;
        void append(ProfileEntry* entry);
        void dropStaleIndex() const;
        void releaseEntries();

        ProfileEntry* _pFirst;
        ProfileEntry* _pLast;
        ProfileSection* _pNext;
        char* _szName;
        /// Key look-up table, built on demand once a section is large; owned.
        mutable EntryIndex* _pIndex;
    };

    /// Reads the local file, then the global file; either name may be null. Missing or
    /// unreadable files are skipped (see profileFound()).
    Profile(const char* localName, const char* globalName);
    /// A deep copy that never writes a file (see the class comment).
    Profile(const Profile& other);
    /// Replaces this profile's sections and entries with copies of the source's; this profile
    /// keeps its own file names and still saves its own local file.
    Profile& operator=(const Profile& other);
    /// Takes everything from other, its files included: this profile saves other's local file
    /// when it is destroyed. other is left empty: no sections, no file names, profileFound()
    /// false; it answers and takes writes like Profile(nullptr, nullptr) and never writes a file.
    Profile(Profile&& other) noexcept;
    /// Ends this profile as its destructor would (its local file is saved), then takes everything
    /// from other as the move constructor does, leaving other empty. Moving onto itself does
    /// nothing.
    Profile& operator=(Profile&& other) noexcept;
    /// Writes the local file as described above and releases everything. Never throws.
    virtual ~Profile();

    /// The value of the first entry with that key in the first section with that name, or
    /// defaultValue itself when either is missing (or when section or key is null). The text
    /// belongs to the profile and stays valid until that value is replaced or the profile is
    /// destroyed.
    const char* getProfileString(const char* section, const char* key, const char* defaultValue) const;
    /// The same look-up, the value read as a decimal number: leading white space and a sign
    /// are allowed, digits are read up to the first other character, a text without digits
    /// gives 0 and a number out of range gives the nearest value of long. defaultValue when
    /// the section or the key is missing.
    long getProfileLong(const char* section, const char* key, long defaultValue) const;
    /// Sets the value of the first entry with that key in the first section of that name,
    /// appending the section and the entry as needed. Only memory changes; the file is written
    /// by the destructor. An entry read from the global file stays global, so its new value is
    /// not saved. Null arguments are ignored.
    void writeProfileString(const char* section, const char* key, const char* value);
    /// As writeProfileString with the value written in decimal.
    void writeProfileLong(const char* section, const char* key, long value);
    /// True when at least one of the two files was read.
    bool profileFound() const;
    ///@{
    /// The sections, first to last, for range-for; each section's entries() lists its entries.
    Range<ProfileSection> sections() { return Range<ProfileSection>(_pFirst); }
    Range<const ProfileSection> sections() const { return Range<const ProfileSection>(_pFirst); }
    ///@}
    /// The process-wide profile mode.
    static Mode mode();

protected:
    /// The first section with that name, or null.
    ProfileSection* find(const char* name) const;
    /// Appends a new, empty section of that name (even when one exists) and returns it.
    ProfileSection* addSection(const char* name);
    /// Reads an open file to its end into the sections, as the current mode() marks entries.
    void processFile(FILE* file);

    ///@{
    /// Dump value line: "L=" local name " G=" global name, "(null)" for a missing name.
    void dump(Socket& socket) override;
    void dump(std::ostream& os) override;
    ///@}

private:
    struct State;
    static void copyChain(const ProfileSection* from, ProfileSection*& first, ProfileSection*& last);
    void loadLocal(const char* localName);
    void loadGlobal(const char* globalName);
    bool readFile(FILE* file);
    void parse(const char* text, std::size_t length);
    ProfileSection* findSection(const char* name, std::size_t length) const;
    ProfileSection* appendSection(const char* name, std::size_t length);
    void dropStaleIndex() const;
    void releaseSections();
    void release();
    void save() noexcept;

    ProfileSection* _pFirst;
    ProfileSection* _pLast;
    char* _szLocal;
    char* _szGlobal;
    bool _bFound;
    /// Local path, whether it is to be written, and the section look-up table; owned.
    State* _pState;

    static Mode _mode;
};

} // namespace Kel

#endif
