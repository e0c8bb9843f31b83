#ifndef KEL_SRC_DATETIME_FIELDS_H
#define KEL_SRC_DATETIME_FIELDS_H

// The format language's fields as the writer and the reader share them: the numbers of a date, a time or
// both, and where each field letter lies in a format.

#include <kel/string.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Kel {
namespace datetime {

// The six numbers a timestamp is made of; a date uses the first three, a time the last three.
struct Fields {
    long year = 0;
    long month = 0;
    long day = 0;
    long hour = 0;
    long minute = 0;
    double second = 0.0;
};

// Which letters are fields: those of Date, of Time or of Timestamp.
enum class FieldSet { date, time, timestamp };

enum Letter { letterY, letterM, letterD, letterW, letterH, letterh, letterN, letterS, letterP, letterCount };

// Maps every character to its field letter, or to letterCount for plain text.
struct LetterTable {
    unsigned char letter[256];

    constexpr LetterTable() : letter() {
        for (int i = 0; i < 256; ++i) {
            letter[i] = letterCount;
        }
        // In the order of Letter.
        const char letters[] = "YMDWHhNSP";
        for (int i = 0; i < letterCount; ++i) {
            letter[static_cast<unsigned char>(letters[i])] = static_cast<unsigned char>(i);
        }
    }
};

inline constexpr LetterTable letterTable{};

// The field letter at c, or letterCount for plain text.
inline Letter letterOf(char c) {
    return static_cast<Letter>(letterTable.letter[static_cast<unsigned char>(c)]);
}

// First and last position of every field letter in a format; first is -1 for an absent letter.
struct Extents {
    long first[letterCount];
    long last[letterCount];

    Extents() {
        for (int i = 0; i < letterCount; ++i) {
            first[i] = -1;
            last[i] = -1;
        }
    }
    bool present(Letter l) const { return first[l] >= 0; }
    long width(Letter l) const { return present(l) ? last[l] - first[l] + 1 : 0; }
    void note(Letter l, long position) {
        if (first[l] < 0) {
            first[l] = position;
        }
        last[l] = position;
    }
};

// Whether n bytes at a and b are equal, compared eight at a time, the last eight overlapping the rest:
// the default formats are a word or three long, too short to be worth a call.
inline bool sameText(const char* a, const char* b, unsigned long n) {
    if (n < 8) {
        return std::memcmp(a, b, n) == 0;
    }
    std::uint64_t difference = 0;
    for (unsigned long i = 0;; i += 8) {
        const unsigned long at = i + 8 <= n ? i : n - 8;
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, a + at, 8);
        std::memcpy(&y, b + at, 8);
        difference |= x ^ y;
        if (at + 8 >= n) {
            return difference == 0;
        }
    }
}

// The text of fields in format fmt (see the format language in <kel/datetime.h>). Throws
// DateTimeException(5) or (1).
String formatFields(const Fields& fields, const String& fmt, FieldSet set);

// The date fields (year, month, day), the time fields (hour, minute, second) or all six that value holds
// in fmt. Throws DateTimeException(4) or (1); out is written only on success.
void parseDate(const String& value, const String& fmt, Fields& out);
void parseTime(const String& value, const String& fmt, Fields& out);
void parseTimestamp(const String& value, const String& fmt, Fields& out);

} // namespace datetime
} // namespace Kel

#endif
