#ifndef KEL_STRING_H
#define KEL_STRING_H

#include <kel/foundation.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <iterator>
#include <string>
#include <string_view>

namespace Kel {

class VariableList;
namespace detail {
struct StringStorage;
}

/// A text value with a null state distinct from empty text (like a database NULL), an optional fixed
/// length and a numeric mark set when the text was last assigned from a number (its SQL form is then
/// unquoted). Texts are 8-bit characters ending at the first NUL. Copies are deep. Not synchronised: one
/// thread at a time; String::null may be read from any thread.
///
/// Indices and counts are 32-bit on every platform: npos (0xFFFFFFFF) is the index returned when nothing
/// is found and the count that reaches to the end of the text; (unsigned long)-1 is accepted as well.
/// Appending grows the storage geometrically behind the scenes, so building a text piece by piece takes
/// amortised constant time per piece; the capacity that format() and buffer() work with is unchanged by
/// that spare room.
///
/// Text handed to an operation may point into the String's own storage (s.format("%s/file", s),
/// s += s.find('/'), s.copy(s, 3)): it is read as it was before the call.
///
/// With the standard library: a String is built from a std::string or std::string_view (up to its first
/// NUL, never null) and converts explicitly to either (a null String gives empty text); ==, != and the
/// ordering operators take both; <, <=, > and >= order Strings as compare() does, the null String before
/// every text, so a String is a key of std::map and std::set, and std::hash<Kel::String> hashes it for the
/// unordered containers. Appending an int appends the character it holds (s += '0' + digit); appending a
/// long, long long, an unsigned or a floating-point number does not compile: write the number with
/// format() or assign it to a String first.
class KEL_API String : public KELBase {
public:
    /// The not-found index and the to-the-end count: 0xFFFFFFFF, the largest 32-bit length.
    static constexpr unsigned long npos = 0xFFFFFFFFul;

    /// Null, without storage, variable length, not numeric.
    String();
    /// Null with fixed length n: storage for n characters holding empty text. With n = 0, a null
    /// variable-length String with one byte of storage.
    explicit String(unsigned long n);
    /// The text s, limited to n characters when n > 0 (fixed length; storage of n+1 bytes). A null s gives
    /// a null String. Throws StringException(1) when s is longer than a non-zero n.
    String(const char* s, unsigned long n = 0);
    /// A copy of o's text, null mark, fixed length, capacity and numeric mark.
    String(const String& o);
    /// Takes o's storage and marks; o is left null, without storage and of variable length.
    String(String&& o) noexcept;
    ///@{
    /// The text of s up to its first NUL, as a non-null, variable-length String.
    String(const std::string& s);
    String(std::string_view s);
    ///@}
    ~String() override;

    ///@{
    /// Assigning a String copies its text, null mark, fixed length, capacity and numeric mark; a
    /// String assigned to itself is unchanged.
    const String& operator=(const String& o);
    const String& operator=(String&& o) noexcept;
    ///@}
    /// The text s as a variable-length, non-numeric String; a null pointer makes it null.
    const String& operator=(const char* s);
    ///@{
    /// The number as text ("%i", "%u", "%li", "%lu" or "%f"), variable length, with the numeric mark set.
    /// A float or double whose text is longer than 127 characters is kept whole.
    const String& operator=(signed char v);
    const String& operator=(unsigned char v);
    const String& operator=(short v);
    const String& operator=(unsigned short v);
    const String& operator=(int v);
    const String& operator=(unsigned int v);
    const String& operator=(long v);
    const String& operator=(unsigned long v);
    const String& operator=(float v);
    const String& operator=(double v);
    ///@}

    ///@{
    /// Appends o's text; a null o appends nothing (a null String stays null). Appending a non-null text,
    /// even empty, makes the String non-null; a null String holds no text, so bytes written into its storage
    /// through buffer() are written over. Every form clears the numeric mark first. Throws
    /// StringException(1), text unchanged, when a fixed-length String would exceed its length.
    const String& operator+=(const String& o);
    const String& operator+=(char c) {
        // Inline for the common case, a text with room behind it: a check and a store.
        const std::uint32_t length = _ulLength;
        if (c != '\0' && _bAppendReady && length + 1 < _ulAllocated) {
            char* text = _pBuffer;
            text[length] = c;
            text[length + 1] = '\0';
            _ulLength = length + 1;
            _ulCapacity = length + 2;
            return *this;
        }
        return appendChar(c);
    }
    /// The character c holds (its low 8 bits), as the char form appends it.
    const String& operator+=(int c);
    ///@}
    ///@{
    /// Not available: these would append one character, not the number's text. Use format() or assign the
    /// number to a String and append that. The character types, short and int append a character.
    const String& operator+=(unsigned short numberNeedsFormat) = delete;
    const String& operator+=(unsigned int numberNeedsFormat) = delete;
    const String& operator+=(long numberNeedsFormat) = delete;
    const String& operator+=(unsigned long numberNeedsFormat) = delete;
    const String& operator+=(long long numberNeedsFormat) = delete;
    const String& operator+=(unsigned long long numberNeedsFormat) = delete;
    const String& operator+=(float numberNeedsFormat) = delete;
    const String& operator+=(double numberNeedsFormat) = delete;
    const String& operator+=(long double numberNeedsFormat) = delete;
    ///@}
    /// A null pointer appends nothing.
    const String& operator+=(const char* s);

    ///@{
    /// A variable-length, non-numeric copy of this text (null when this String has no storage) with o, c
    /// or s appended. This String is unchanged.
    const String operator+(const String& o) const;
    const String operator+(char c) const;
    const String operator+(const char* s) const;
    const String operator+(int c) const;
    ///@}
    ///@{
    /// Not available, as for +=.
    const String operator+(unsigned short numberNeedsFormat) const = delete;
    const String operator+(unsigned int numberNeedsFormat) const = delete;
    const String operator+(long numberNeedsFormat) const = delete;
    const String operator+(unsigned long numberNeedsFormat) const = delete;
    const String operator+(long long numberNeedsFormat) const = delete;
    const String operator+(unsigned long long numberNeedsFormat) const = delete;
    const String operator+(float numberNeedsFormat) const = delete;
    const String operator+(double numberNeedsFormat) const = delete;
    const String operator+(long double numberNeedsFormat) const = delete;
    ///@}

    /// Equal when both are null, or when neither is and the texts are equal byte for byte.
    bool operator==(const String& o) const;
    /// A null String equals only the null pointer; a non-null String never equals the null pointer.
    bool operator==(const char* s) const;
    ///@{
    /// The negations of the two equality tests.
    bool operator!=(const String& o) const;
    bool operator!=(const char* s) const;
    ///@}

    /// The text read as by strtol with base 10 on a 32-bit long (saturating at the 32-bit limits); 0
    /// without storage. The null mark is not consulted.
    operator long() const;
    /// The text read as by strtoul with base 10 on a 32-bit unsigned long; 0 without storage.
    operator unsigned long() const;
    /// The text read as by strtod; 0 without storage.
    operator double() const;
    /// The text, or a null pointer when the String is null or has no storage. Valid until the String next
    /// changes or is destroyed.
    operator const char*() const;
    ///@{
    /// The text; empty for a null String or one without storage. The view is valid as the pointer is.
    explicit operator std::string() const;
    explicit operator std::string_view() const;
    ///@}

    /// The number of characters before the terminator; 0 when null (whatever the storage holds) or without
    /// storage. mid, mask, createMask and replaceMask start from it.
    unsigned long length() const;
    /// The character at i. Throws StringException(3) when i is not less than the length or there is no
    /// storage (the null mark is not consulted).
    char at(unsigned long i) const;
    /// True for a null String; a null String is distinct from one holding empty text.
    bool isNull() const;
    /// The fixed length; 0 for a variable-length String.
    unsigned long fixedLength() const;

    /// With n = 0, the current storage (possibly null), unchanged. With n > 0, storage for n characters
    /// holding the current text (empty text without storage), for the caller to read or write until the
    /// String next changes; release() gives the spare room back. A smaller n than the current text keeps
    /// the text whole (the storage is never cut). Throws StringException(1) when n exceeds a fixed length.
    /// Null and numeric marks are unchanged.
    char* buffer(unsigned long n = 0);
    /// For a variable-length String, shrinks the storage to the text's length plus one; a fixed-length
    /// String is unchanged.
    void release();
    /// With n > 0, makes the String of fixed length n (storage of n+1 bytes, text kept); throws
    /// StringException(1) when the text is longer than n. With n = 0, makes it variable-length. A String
    /// without storage receives empty storage for a non-zero n. The null mark is unchanged.
    void fixLength(unsigned long n);
    ///@{
    /// The first n characters of src's text (all of it when shorter or n is npos; none when src is null),
    /// as a non-null, variable-length, non-numeric text.
    const String& copy(const String& src, unsigned long n = npos);
    const String& copy(const char* s, unsigned long n = npos);
    ///@}

    ///@{
    /// Ordering: both null gives 0, only this null -1, only the other null 1. Without ignoreCase, the texts
    /// are compared as unsigned bytes and the result is -1, 0 or 1; with it, ASCII capitals are folded and
    /// the result is the difference of the first differing folded pair. A null s counts as a null String.
    int compare(const String& o, bool ignoreCase = false) const;
    int compare(const char* s, bool ignoreCase = false) const;
    ///@}
    ///@{
    /// As compare, over at most the first n characters.
    int compareFor(const String& o, unsigned long n, bool ignoreCase = false) const;
    int compareFor(const char* s, unsigned long n, bool ignoreCase = false) const;
    ///@}

    /// A pointer into this text at the first (or, fromEnd, the last) c, or null. Searching for NUL finds
    /// the terminator. Null without storage.
    const char* find(char c, bool fromEnd = false) const;
    /// A pointer to the first occurrence of s, or null; an empty s is found at the start. Null without
    /// storage or for a null s.
    const char* find(const char* s) const;
    ///@{
    /// The same searches as indices, or npos.
    unsigned long findIndex(char c, bool fromEnd = false) const;
    unsigned long findIndex(const char* s) const;
    ///@}

    /// The count characters from start (count npos: to the end). A null String when count is 0, start is
    /// past the end or the slice runs past the end.
    String mid(unsigned long start, unsigned long count = npos) const;
    /// Field n (from 0) of the text split at sep; inside quote characters (when quote is not NUL) sep is
    /// ordinary text and the quotes are dropped. An empty or missing field gives a null String.
    String field(char sep, unsigned long n, char quote = '\0') const;
    ///@{
    /// Copies without leading blanks, without trailing blanks (never removing the first character), and
    /// without both. Blanks are the space and the tab. Never null; a String without storage gives "".
    String trimLeft() const;
    String trimRight() const;
    String trim() const;
    ///@}

    /// Writes each newline, tab, vertical tab, backspace, carriage return, form feed, bell, backslash,
    /// single and double quote as a backslash sequence; other characters stay as they are. The result is
    /// variable-length, non-numeric and non-null. A String without storage is unchanged.
    void escape();
    /// Turns backslash sequences (those escape() writes, and \? for a question mark) back into their
    /// characters, in place; a backslash produced this way never starts a new pair. Throws
    /// StringException(5) at a backslash followed by another character or by the end of the text; the
    /// pairs before it stay replaced. Storage, fixed length and marks are unchanged.
    void unescape();
    /// Decodes percent sequences. A '%' takes the two characters after it whatever they are (fewer at the
    /// end of the text), read as strtol reads a base-16 number, nothing readable counting as 0; the low
    /// 8 bits give the character, and 0 gives none. A '+' stays a '+'. The result is variable-length,
    /// non-numeric and non-null. A String without storage is unchanged.
    void fromURI();
    /// Writes every byte outside the unreserved set A-Z a-z 0-9 - . _ ~ as '%' and two capital hex digits,
    /// so that fromURI() gives the text back. The result is variable-length and non-numeric; a null String
    /// is unchanged.
    void toURI();
    /// The value as an SQL literal: "NULL" when null, the text itself when numeric, otherwise the text in
    /// single quotes with inner quotes doubled. Valid until the next sql() call or the String's destruction,
    /// and for a numeric String until its text changes.
    const char* sql();
    /// printf-style formatting into the String's own storage: at most the fixed length, or at most the
    /// capacity minus one where the capacity is raised to at least 256 first (discarding the old text).
    /// Longer output is cut. Arguments, and fmt itself, may point into this String's own text: the output is
    /// built apart and installed once they have all been read. A null %s argument is written "(null)", as the
    /// C libraries of Linux and Windows both do. Clears the null mark; the fixed length and the numeric mark
    /// are unchanged. A null fmt gives empty text. Throws StringException(2) when no storage is obtained.
    void format(const char* fmt, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    /// A copy (same length, fixed length and marks) in which every character occurring in chars becomes
    /// '#' and every other one a blank. An empty or null text gives the copy unchanged; a null chars
    /// counts as empty.
    String createMask(const String& chars) const;
    /// A copy in which every position where m holds a blank becomes a blank. Throws StringException(4)
    /// when the lengths differ.
    String mask(const String& m) const;
    /// The text with the stretch from m's first '#' to its last replaced by repl. A mask without '#'
    /// leaves the text unchanged.
    String replaceMask(const String& m, const String& repl) const;

    /// Replaces each "$(name)" by the value of the first variable of that name (nothing for a null
    /// value), then searches the new text again from its start, so that inserted values are expanded in
    /// turn and may combine with the text around them. The name runs to the next ')' or to the end of the
    /// text; blanks, '$' and '(' are part of it. The result is variable-length, non-numeric and non-null;
    /// a text without "$(" (or a String without storage) is left untouched.
    /// Throws StringException(17) for an unknown name, and StringException(18) for a self-reference: a
    /// reference to a variable met, wholly or partly, inside the inserted value of that same variable
    /// (directly or through the values of others inserted within it), which could otherwise be replaced
    /// without end. Either way the String holds the text as it stood before the failing reference.
    void translateVars(const VariableList& vars);

    /// The shared null value.
    static const String null;

protected:
    /// "@ class Kel::String", then the text or "(null)" when there is no storage.
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;

private:
    friend struct detail::StringStorage;

    // Texts of up to this many bytes (terminator included) live inside the object itself.
    static constexpr std::uint32_t inlineSize = 11;

    void adopt(char* storage, std::uint32_t capacity, std::uint32_t allocated);
    void assignText(const char* s, unsigned long len);
    void appendText(const char* s, unsigned long len);
    const String& appendChar(char c);
    void copyFrom(const String& o);
    void reserveExact(std::uint32_t capacity);
    void resizeTo(std::uint32_t size);
    void takeStorage(String& o);
    void freeStorage();
    void assignNumber(const char* fmt, ...);
    std::uint32_t textLength() const;
    bool isInline() const { return _pBuffer == _aInline; }

    // The marks and sizes come first so that they share the tail of KELBase's padding.
    bool _bNull;
    bool _bNumeric;
    bool _bLengthKnown;
    std::uint32_t _ulCapacity;
    std::uint32_t _ulFixed;
    // The size the storage was obtained with (at least _ulCapacity; spare room for appends) and the
    // cached text length; the length is recounted while a pointer from buffer() may be writing into the
    // storage. Storage of up to inlineSize bytes is _aInline, larger storage is on the heap.
    std::uint32_t _ulAllocated;
    std::uint32_t _ulLength;
    char _aInline[inlineSize];
    // True only while operator+=(char) may store in place: a variable-length, non-null, non-numeric text
    // of known length. Every other change of the storage or the marks clears it; appending sets it again.
    bool _bAppendReady;
    char* _pBuffer;
    char* _pSqlText;
};

/// Writes the text (nothing for a null String) to os.
KEL_API std::ostream& operator<<(std::ostream& os, const String& s);

///@{
/// Equality with a standard text: a null String equals none (a std::string is always a text); otherwise
/// the texts are equal byte for byte.
KEL_API bool operator==(const String& a, std::string_view b);
inline bool operator==(const String& a, const std::string& b) {
    return a == std::string_view(b);
}
inline bool operator==(std::string_view a, const String& b) {
    return b == a;
}
inline bool operator==(const std::string& a, const String& b) {
    return b == std::string_view(a);
}
inline bool operator!=(const String& a, std::string_view b) {
    return !(a == b);
}
inline bool operator!=(const String& a, const std::string& b) {
    return !(a == b);
}
inline bool operator!=(std::string_view a, const String& b) {
    return !(b == a);
}
inline bool operator!=(const std::string& a, const String& b) {
    return !(b == a);
}
///@}

///@{
/// The total order of compare(): the null String first, then texts as unsigned bytes. A null pointer
/// counts as the null String.
inline bool operator<(const String& a, const String& b) {
    return a.compare(b) < 0;
}
inline bool operator<(const String& a, const char* b) {
    return a.compare(b) < 0;
}
inline bool operator<(const char* a, const String& b) {
    return b.compare(a) > 0;
}
inline bool operator>(const String& a, const String& b) {
    return b < a;
}
inline bool operator>(const String& a, const char* b) {
    return b < a;
}
inline bool operator>(const char* a, const String& b) {
    return b < a;
}
inline bool operator<=(const String& a, const String& b) {
    return !(b < a);
}
inline bool operator<=(const String& a, const char* b) {
    return !(b < a);
}
inline bool operator<=(const char* a, const String& b) {
    return !(b < a);
}
inline bool operator>=(const String& a, const String& b) {
    return !(a < b);
}
inline bool operator>=(const String& a, const char* b) {
    return !(a < b);
}
inline bool operator>=(const char* a, const String& b) {
    return !(a < b);
}
///@}

/// A named text value. A variable owns the variables after it in its list; destroying it destroys them
/// one after another, without recursion, however long the chain.
class KEL_API Variable : public KELBase {
    friend class VariableList;

public:
    /// A variable with copies of name and value, in no list.
    Variable(const String& name, const String& value);
    /// A copy of o's name and value outside any list.
    Variable(const Variable& o);
    /// Copies o's name and value; the target stays where it is in its list.
    Variable& operator=(const Variable& o);
    ~Variable() override;

    /// The variable's name.
    const String& name() const;
    ///@{
    /// The variable's value; setting it keeps the variable where it is in its list.
    const String& value() const;
    void value(const String& v);
    ///@}

protected:
    /// "@ class Kel::Variable", then "N=<name> V=<value>" with "(null)" for a null name or value.
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;

private:
    Variable* _pNext;
    String _name;
    String _value;
};

/// An ordered list of variables in which names may repeat. Copies are deep: a copy owns variables of its
/// own, never the chain of its source. A range-for walks the variables in the order they were added:
/// for (const Variable& v : list).
class KEL_API VariableList : public KELBase {
public:
    /// Steps through the variables of a list, first to last. Valid while the list lives (adding keeps it
    /// valid; end() stays the end).
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Variable;
        using difference_type = std::ptrdiff_t;
        using pointer = const Variable*;
        using reference = const Variable&;

        const_iterator() : _pVariable(nullptr) {}
        reference operator*() const { return *_pVariable; }
        pointer operator->() const { return _pVariable; }
        const_iterator& operator++() {
            _pVariable = VariableList::nextOf(_pVariable);
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const const_iterator& o) const { return _pVariable == o._pVariable; }
        bool operator!=(const const_iterator& o) const { return _pVariable != o._pVariable; }

    private:
        friend class VariableList;
        explicit const_iterator(const Variable* v) : _pVariable(v) {}
        const Variable* _pVariable;
    };
    using iterator = const_iterator;

    /// An empty list.
    VariableList();
    ///@{
    /// Copy construction and assignment, as the class comment describes.
    VariableList(const VariableList& o);
    VariableList& operator=(const VariableList& o);
    ///@}
    ///@{
    /// Takes o's variables without copying them; o is left empty, as a new list, and may be used again.
    VariableList(VariableList&& o) noexcept;
    VariableList& operator=(VariableList&& o) noexcept;
    ///@}
    ~VariableList() override;

    ///@{
    /// The first variable, and the position after the last.
    const_iterator begin() const { return const_iterator(_pFirst); }
    const_iterator end() const { return const_iterator(nullptr); }
    ///@}

    /// Appends a copy of v at the tail, whatever the names already present.
    void add(const Variable& v);
    /// The first variable named name after `after` (from the start when after is null), or null.
    const Variable* find(const String& name, const Variable* after = nullptr) const;

protected:
    /// "@ class Kel::VariableList" only.
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;

private:
    void clear();
    static const Variable* nextOf(const Variable* v) { return v->_pNext; }

    Variable* _pFirst;
    Variable* _pLast;
};

} // namespace Kel

namespace std {
/// Hashes the text as std::hash<std::string_view> does; every null String gives one fixed value. Equal
/// Strings hash alike.
template <> struct hash<Kel::String> {
    size_t operator()(const Kel::String& s) const noexcept {
        return s.isNull() ? static_cast<size_t>(0x6B656C4Eu)
                          : hash<string_view>()(static_cast<string_view>(s));
    }
};
} // namespace std

#endif
