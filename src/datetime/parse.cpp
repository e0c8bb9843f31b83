// Reading dates and times back from text with the format language.

#include "datetime/calendar.h"
#include "datetime/defaults.h"
#include "datetime/fail.h"
#include "datetime/fields.h"

#include <kel/datetime.h>
#include <kel/foundation.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace Kel {
namespace datetime {

namespace {

bool isDateSeparator(char c) {
    return c == ' ' || c == '-' || c == '/' || c == '\\' || c == '.';
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// A value laid against its format: where the fields lie and whether the separators agree. It may
// point into itself, so it is filled in place and never copied.
struct Layout {
    Layout() = default;
    Layout(const Layout&) = delete;
    Layout& operator=(const Layout&) = delete;

    const char* value = nullptr;
    const char* format = nullptr;
    // The format's extents: ownExtents, or those of a default format's shape.
    const Extents* extents = &ownExtents;
    Extents ownExtents;
    // The number of a field whose extent is one run of its letter over at most nine digits, read during
    // the scan; -1 when the field must be read by FieldText.
    long digits[letterCount] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
    bool dateSeparatorsMatch = true;
    bool colonsMatch = true;
};

// The number that n characters at text spell when they are all digits and at most nine; -1 otherwise.
long digitsAt(const char* text, unsigned long n) {
    if (n > 9) {
        return -1;
    }
    long v = 0;
    for (unsigned long i = 0; i < n; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            return -1;
        }
        v = v * 10 + (c - '0');
    }
    return v;
}

// Eight bytes of text as one number (in memory order), so that a run of characters is checked at once.
std::uint64_t wordAt(const char* text) {
    std::uint64_t word;
    std::memcpy(&word, text, sizeof word);
    return word;
}

constexpr std::uint64_t everyByte(unsigned char byte) {
    return 0x0101010101010101ull * byte;
}

// What one FieldSet of a default format asks of the eight bytes of a value at one place: which of them
// must be digits, which must equal the format's separator there, and that separator.
struct WordRule {
    unsigned long at = 0;
    std::uint64_t digits = 0;
    std::uint64_t separators = 0;
    std::uint64_t separatorText = 0;

    // The eight bytes at the rule's place when they hold, with each digit's value in place of its
    // character and 0 elsewhere; false when they do not hold.
    bool digitValues(const char* value, std::uint64_t& values) const {
        const std::uint64_t word = wordAt(value + at);
        if (((word ^ separatorText) & separators) != 0) {
            return false;
        }
        // Every byte that need not be a digit reads as '0'. A digit is 0x30 to 0x39: its high nibble is 3,
        // and adding 6 leaves it so. A byte whose high nibble is not 3 fails the first test; once every
        // byte passes it, no byte is above 0x3F and adding 6 cannot carry into the next one.
        const std::uint64_t candidates = (word & digits) | (everyByte('0') & ~digits);
        const std::uint64_t highNibbles = everyByte(0xF0);
        if (((candidates & highNibbles) ^ everyByte('0')) != 0 ||
            (((candidates + everyByte(6)) & highNibbles) ^ everyByte('0')) != 0) {
            return false;
        }
        values = (word ^ everyByte('0')) & digits;
        return true;
    }
};

// Each byte of the result is the two-digit number that the byte and the next one of values spell: no
// byte carries into another, since every digit is at most 9 and every such number at most 99.
std::uint64_t pairValues(std::uint64_t values) {
    return values * 10 + (values >> 8);
}

// What a default format alone tells, worked out once while the library loads: where its fields lie,
// which of them are one run of their letter, and where its separators are.
struct FormatShape {
    static constexpr int maxRules = 3;

    const char* text = nullptr;
    unsigned long length = 0;
    Extents extents;
    bool oneRun[letterCount] = {};
    long separators[32] = {};
    int separatorCount = 0;

    // Whether the date, the time, or both (by FieldSet) are plain runs of digits that readPlainDigits may
    // read: a year of four digits and every other field of two, each within one rule's eight bytes.
    bool plain[3] = {};
    // For each FieldSet, the checks of a value's characters eight at a time, the last eight overlapping
    // the others (a format of 8 to 24 characters; any other length is never plain). The rules of every
    // set lie at the same places.
    WordRule rules[3][maxRules];
    int ruleCount = 0;
    // Where a plain field lies: the rule whose eight bytes hold it, and its first byte's shift in them.
    struct Place {
        int rule = -1;
        int shift = 0;
    };
    Place places[letterCount];

    explicit FormatShape(const char* format) : text(format), length(std::strlen(format)) {
        for (unsigned long i = 0; i < length; ++i) {
            const char c = text[i];
            const Letter letter = letterOf(c);
            if (letter != letterCount) {
                const bool runGoesOn = i > 0 && text[i - 1] == c;
                oneRun[letter] = extents.present(letter) ? oneRun[letter] && runGoesOn : true;
                extents.note(letter, static_cast<long>(i));
            } else if (isDateSeparator(c) || c == ':') {
                separators[separatorCount++] = static_cast<long>(i);
            }
        }
        if (length < 8 || length > 8 * maxRules) {
            return;
        }
        for (unsigned long at = 0;; at += 8) {
            const unsigned long start = at + 8 <= length ? at : length - 8;
            for (FieldSet set : {FieldSet::date, FieldSet::time, FieldSet::timestamp}) {
                rules[static_cast<int>(set)][ruleCount] = ruleAt(start, set);
            }
            ++ruleCount;
            if (start + 8 >= length) {
                break;
            }
        }
        const bool date = placeRun(letterY, 4) && placeRun(letterM, 2) && placeRun(letterD, 2);
        const bool time = placeRun(letterH, 2) && placeRun(letterN, 2) && placeRun(letterS, 2);
        plain[static_cast<int>(FieldSet::date)] = date;
        plain[static_cast<int>(FieldSet::time)] = time;
        plain[static_cast<int>(FieldSet::timestamp)] = date && time;
    }

    // The two-digit numbers of value (see pairValues) under each rule of set, when value, as long as this
    // format, has digits wherever set has a field and this format's separators where it has them.
    bool pairsOf(const char* value, FieldSet set, std::uint64_t (&pairs)[maxRules]) const {
        for (int i = 0; i < ruleCount; ++i) {
            std::uint64_t values = 0;
            if (!rules[static_cast<int>(set)][i].digitValues(value, values)) {
                return false;
            }
            pairs[i] = pairValues(values);
        }
        return true;
    }

    // The number of a plain field of two digits, or of four for the year, from pairsOf's result.
    long number(const std::uint64_t (&pairs)[maxRules], Letter letter) const {
        const Place place = places[letter];
        const std::uint64_t fromField = pairs[place.rule] >> place.shift;
        const long firstTwo = static_cast<long>(fromField & 0xFF);
        return letter == letterY ? firstTwo * 100 + static_cast<long>((fromField >> 16) & 0xFF) : firstTwo;
    }

private:
    // Whether letter is one run of width places lying within one rule's eight bytes; notes the place.
    bool placeRun(Letter letter, long width) {
        if (!oneRun[letter] || extents.width(letter) != width) {
            return false;
        }
        const unsigned long first = static_cast<unsigned long>(extents.first[letter]);
        const unsigned long last = static_cast<unsigned long>(extents.last[letter]);
        for (int i = 0; i < ruleCount; ++i) {
            const unsigned long at = rules[0][i].at;
            if (first >= at && last < at + 8) {
                places[letter].rule = i;
                places[letter].shift = static_cast<int>(8 * (first - at));
                return true;
            }
        }
        return false;
    }

    static bool fieldOf(FieldSet set, Letter letter) {
        const bool dateField = letter == letterY || letter == letterM || letter == letterD;
        const bool timeField = letter == letterH || letter == letterN || letter == letterS;
        return set == FieldSet::date ? dateField : set == FieldSet::time ? timeField : dateField || timeField;
    }

    WordRule ruleAt(unsigned long start, FieldSet set) const {
        // Masks are laid out byte by byte as the characters they cover, then read as numbers like them.
        char digitBytes[8] = {};
        char separatorBytes[8] = {};
        for (unsigned long i = 0; i < 8; ++i) {
            const char c = text[start + i];
            if (fieldOf(set, letterOf(c))) {
                digitBytes[i] = '\xFF';
            } else if (isDateSeparator(c) || c == ':') {
                separatorBytes[i] = '\xFF';
            }
        }
        WordRule rule;
        rule.at = start;
        rule.digits = wordAt(digitBytes);
        rule.separators = wordAt(separatorBytes);
        rule.separatorText = wordAt(text + start) & rule.separators;
        return rule;
    }
};

// The default formats' shapes, shared read-only by every thread.
const FormatShape defaultShapes[3] = {FormatShape("YYYY-MM-DD"), FormatShape("HH:NN:SS"),
                                      FormatShape("YYYY-MM-DD HH:NN:SS")};

const FormatShape* shapeOf(const char* format, unsigned long n) {
    for (const FormatShape& shape : defaultShapes) {
        if (shape.length == n && sameText(shape.text, format, n)) {
            return &shape;
        }
    }
    return nullptr;
}

bool plainDateIsValid(long year, long month, long day) {
    // A two-digit year, like any failure, is left to the full reading.
    return calendar::validYear(year) && calendar::validMonth(month) && day >= 1 &&
           day <= calendar::monthLength(year, month);
}

bool plainTimeIsValid(long hour, long minute, long second) {
    return calendar::validHour(hour) && calendar::validMinute(minute) && second >= 0 && second < 60;
}

// The common case of a default format, read without laying the value out: every separator as in the
// format and every field a plain run of digits within its range. Anything else (blanks, signs, names, a
// two-digit year, a value out of range or of another length) returns false and is left to the full
// reading, which then gives the same result or the same failure as ever; out is written only on success.
bool readPlainDigits(const String& value, const String& fmt, FieldSet set, Fields& out) {
    const char* f = fmt;
    const char* v = value;
    if (!f || !v) {
        return false;
    }
    const unsigned long n = fmt.length();
    const FormatShape* shape = shapeOf(f, n);
    std::uint64_t pairs[FormatShape::maxRules];
    if (!shape || !shape->plain[static_cast<int>(set)] || value.length() != n ||
        !shape->pairsOf(v, set, pairs)) {
        return false;
    }
    const bool withDate = set != FieldSet::time;
    const bool withTime = set != FieldSet::date;
    const long year = withDate ? shape->number(pairs, letterY) : 0;
    const long month = withDate ? shape->number(pairs, letterM) : 0;
    const long day = withDate ? shape->number(pairs, letterD) : 0;
    const long hour = withTime ? shape->number(pairs, letterH) : 0;
    const long minute = withTime ? shape->number(pairs, letterN) : 0;
    const long second = withTime ? shape->number(pairs, letterS) : 0;
    if ((withDate && !plainDateIsValid(year, month, day)) ||
        (withTime && !plainTimeIsValid(hour, minute, second))) {
        return false;
    }
    if (withDate) {
        out.year = year;
        out.month = month;
        out.day = day;
    }
    if (withTime) {
        out.hour = hour;
        out.minute = minute;
        out.second = static_cast<double>(second);
    }
    return true;
}

// Lays the value against a default format whose shape is known: no need to read the format again.
void layOutByShape(const FormatShape& shape, Layout& l) {
    l.extents = &shape.extents;
    for (int letter = 0; letter < letterCount; ++letter) {
        if (shape.oneRun[letter]) {
            const long first = shape.extents.first[letter];
            l.digits[letter] =
                digitsAt(l.value + first, static_cast<unsigned long>(shape.extents.last[letter] - first + 1));
        }
    }
    for (int i = 0; i < shape.separatorCount; ++i) {
        const long at = shape.separators[i];
        const char c = l.format[at];
        if (c == ':') {
            l.colonsMatch = l.colonsMatch && l.value[at] == c;
        } else {
            l.dateSeparatorsMatch = l.dateSeparatorsMatch && l.value[at] == c;
        }
    }
}

// Checks that value is as long as format and notes the field extents and separator mismatches.
// Throws DateTimeException(4) on a length mismatch or a null value.
void layOut(const String& value, const String& fmt, Layout& l) {
    l.value = value;
    l.format = fmt;
    const unsigned long n = fmt.length();
    if (!l.value) {
        fail(4, "a null value for the format \"%s\"", l.format ? l.format : "");
    }
    if (value.length() != n) {
        fail(4, "\"%s\" is not as long as the format \"%s\"", l.value, l.format ? l.format : "");
    }
    if (const FormatShape* shape = shapeOf(l.format, n)) {
        layOutByShape(*shape, l);
        return;
    }
    for (unsigned long i = 0; i < n;) {
        const char c = l.format[i];
        const Letter letter = letterOf(c);
        unsigned long end = i + 1;
        if (letter != letterCount) {
            // A run of one letter is noted at once.
            while (end < n && l.format[end] == c) {
                ++end;
            }
            if (l.ownExtents.first[letter] < 0) {
                l.ownExtents.first[letter] = static_cast<long>(i);
                l.digits[letter] = digitsAt(l.value + i, end - i);
            } else {
                l.digits[letter] = -1;
            }
            l.ownExtents.last[letter] = static_cast<long>(end - 1);
        } else if (isDateSeparator(c)) {
            l.dateSeparatorsMatch = l.dateSeparatorsMatch && l.value[i] == c;
        } else if (c == ':') {
            l.colonsMatch = l.colonsMatch && l.value[i] == c;
        }
        i = end;
    }
}

// The text of one field: the characters of the value under the field's letters, blanks at the other
// positions of its extent, trimmed of blanks and tabs. With points, a full stop of the format within the
// extent keeps the value's character too. An absent field has empty text.
class FieldText {
public:
    FieldText(const Layout& l, Letter letter, bool points = false)
        : _l(l), _cLetter('\0'), _bPoints(points), _lFirst(0), _lLast(-1) {
        if (!l.extents->present(letter)) {
            return;
        }
        _cLetter = l.format[l.extents->first[letter]];
        _lFirst = l.extents->first[letter];
        _lLast = l.extents->last[letter];
        while (_lFirst <= _lLast && isBlank(at(_lFirst))) {
            ++_lFirst;
        }
        while (_lLast > _lFirst && isBlank(at(_lLast))) {
            --_lLast;
        }
    }

    long length() const { return _lLast - _lFirst + 1; }
    // The i-th character of the trimmed text.
    char operator[](long i) const { return at(_lFirst + i); }

    // The leading decimal number as a 32-bit long reads it, saturating; 0 when there is none.
    long number() const {
        long i = 0;
        const long n = length();
        while (i < n && isSpace((*this)[i])) {
            ++i;
        }
        bool negative = false;
        if (i < n && ((*this)[i] == '+' || (*this)[i] == '-')) {
            negative = (*this)[i++] == '-';
        }
        long long magnitude = 0;
        for (; i < n && isDigit((*this)[i]); ++i) {
            if (magnitude <= limit32) {
                magnitude = magnitude * 10 + ((*this)[i] - '0');
            }
        }
        if (negative) {
            return static_cast<long>(-magnitude < -limit32 - 1 ? -limit32 - 1 : -magnitude);
        }
        return static_cast<long>(magnitude > limit32 ? limit32 : magnitude);
    }

    // The leading floating-point number, with a full stop as decimal point whatever the C locale.
    double real() const {
        // Plain decimals of up to 15 digits are exact in a double and so is their quotient by a power of
        // ten up to 10^22: that is the one correctly rounded result, as strtod would give it.
        const long n = length();
        if (n <= 0) {
            return 0.0;
        }
        long i = 0;
        long long mantissa = 0;
        int digits = 0;
        int decimals = 0;
        bool point = false;
        for (; i < n; ++i) {
            const char c = (*this)[i];
            if (isDigit(c) && digits < 15) {
                mantissa = mantissa * 10 + (c - '0');
                digits += mantissa != 0 ? 1 : 0;
                decimals += point ? 1 : 0;
            } else if (c == '.' && !point) {
                point = true;
            } else {
                break;
            }
        }
        if (i == n && decimals == 0 && !point) {
            return static_cast<double>(mantissa);
        }
        if (i == n && decimals <= 22 && n > (point ? 1 : 0)) {
            static const double powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                            1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
            return static_cast<double>(mantissa) / powers[decimals];
        }
        return slowReal();
    }

    // The first three characters compared with name ignoring ASCII case.
    bool startsWithName(const char* name) const {
        for (long i = 0; i < 3; ++i) {
            if (lower((*this)[i]) != lower(name[i])) {
                return false;
            }
        }
        return true;
    }

private:
    static constexpr long long limit32 = 2147483647;

    static bool isDigit(char c) { return c >= '0' && c <= '9'; }
    // The white space that the C library's number conversions skip.
    static bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
    static char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

    char at(long position) const {
        const char f = _l.format[position];
        return f == _cLetter || (_bPoints && f == '.') ? _l.value[position] : ' ';
    }

    double slowReal() const {
        std::string text;
        for (long i = 0; i < length(); ++i) {
            text += (*this)[i];
        }
        char* end = nullptr;
        double v = std::strtod(text.c_str(), &end);
        if (*end == '.') {
            // The C locale may use another decimal point: read again with it in place of the full stop.
            char probe[16];
            std::snprintf(probe, sizeof probe, "%.1f", 0.5);
            const std::string decimalPoint(probe + 1, std::string(probe).size() - 2);
            if (decimalPoint != ".") {
                for (std::size_t at = text.find('.'); at != std::string::npos;
                     at = text.find('.', at + decimalPoint.size())) {
                    text.replace(at, 1, decimalPoint);
                }
                v = std::strtod(text.c_str(), nullptr);
            }
        }
        return v;
    }

    const Layout& _l;
    char _cLetter;
    bool _bPoints;
    long _lFirst;
    long _lLast;
};

// A field's number and the length of its trimmed text.
struct FieldNumber {
    long value;
    long length;
};

FieldNumber numberOf(const Layout& l, Letter letter) {
    if (l.digits[letter] >= 0) {
        return {l.digits[letter], l.extents->width(letter)};
    }
    const FieldText text(l, letter);
    return {text.number(), text.length()};
}

void readDate(const Layout& l, Fields& out) {
    long year = numberOf(l, letterY).value;
    if (year < 100) {
        const long pivot = defaultNumbers[2];
        const long century = pivot / 100 * 100;
        if (year < pivot - century) {
            year += 100;
        }
        year += century;
    }
    if (!calendar::validYear(year)) {
        fail(1, "year %ld is outside %ld to %ld", year, calendar::firstYear, calendar::lastYear);
    }

    // Two characters at most give the month's number; more are a month name, of which the first three count.
    long month = 0;
    const FieldNumber monthNumber = numberOf(l, letterM);
    if (monthNumber.length < 3) {
        month = monthNumber.value;
    } else if (l.digits[letterM] < 0) {
        const FieldText name(l, letterM);
        for (int i = 0; i < 12; ++i) {
            if (name.startsWithName(calendar::shortMonthNames[i])) {
                month = i + 1;
                break;
            }
        }
    }

    // Three characters are a day of the year, which gives the month as well.
    const FieldNumber dayNumber = numberOf(l, letterD);
    long day = 0;
    if (dayNumber.length == 3) {
        if (!calendar::gregorianDayOfYear(year, dayNumber.value, month, day)) {
            fail(1, "day %ld is not a day of the year %ld", dayNumber.value, year);
        }
    } else {
        if (!calendar::validMonth(month)) {
            fail(1, "no month 1 to 12 in \"%s\" read with \"%s\"", l.value, l.format);
        }
        day = dayNumber.value;
        if (day < 1 || day > calendar::monthLength(year, month)) {
            fail(1, "day %ld is not a day of %04ld-%02ld", day, year, month);
        }
    }
    out.year = year;
    out.month = month;
    out.day = day;
}

void readTime(const Layout& l, Fields& out) {
    const long hour = numberOf(l, letterH).value;
    if (!calendar::validHour(hour)) {
        fail(1, "hour %ld is outside 0 to 23", hour);
    }
    const long minute = numberOf(l, letterN).value;
    if (!calendar::validMinute(minute)) {
        fail(1, "minute %ld is outside 0 to 59", minute);
    }
    const double second =
        l.digits[letterS] >= 0 ? static_cast<double>(l.digits[letterS]) : FieldText(l, letterS, true).real();
    if (!calendar::validSecond(second)) {
        fail(1, "second %g is outside 0 to below 60", second);
    }
    out.hour = hour;
    out.minute = minute;
    out.second = second + 0.0; // no negative zero
}

[[noreturn]] void separatorsDiffer(const Layout& l) {
    fail(4, "\"%s\" does not have the separators of the format \"%s\"", l.value, l.format);
}

} // namespace

void parseDate(const String& value, const String& fmt, Fields& out) {
    if (readPlainDigits(value, fmt, FieldSet::date, out)) {
        return;
    }
    Layout l;
    layOut(value, fmt, l);
    if (!l.dateSeparatorsMatch) {
        separatorsDiffer(l);
    }
    readDate(l, out);
}

void parseTime(const String& value, const String& fmt, Fields& out) {
    if (readPlainDigits(value, fmt, FieldSet::time, out)) {
        return;
    }
    Layout l;
    layOut(value, fmt, l);
    if (!l.dateSeparatorsMatch || !l.colonsMatch) {
        separatorsDiffer(l);
    }
    readTime(l, out);
}

void parseTimestamp(const String& value, const String& fmt, Fields& out) {
    if (readPlainDigits(value, fmt, FieldSet::timestamp, out)) {
        return;
    }
    Layout l;
    layOut(value, fmt, l);
    if (!l.dateSeparatorsMatch) {
        separatorsDiffer(l);
    }
    Fields result;
    readDate(l, result);
    if (!l.colonsMatch) {
        separatorsDiffer(l);
    }
    readTime(l, result);
    out = result;
}

} // namespace datetime
} // namespace Kel
