// Reading dates and times back from text with the format language.

#include "datetime/calendar.h"
#include "datetime/fields.h"

#include <kel/datetime.h>
#include <kel/foundation.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

// A value laid against its format: where the fields lie and whether the separators agree.
struct Layout {
    const char* value = nullptr;
    const char* format = nullptr;
    Extents extents;
    bool dateSeparatorsMatch = true;
    bool colonsMatch = true;
};

// Checks that value is as long as format and notes the field extents and separator mismatches.
// Throws DateTimeException(4) on a length mismatch or a null value.
Layout layOut(const String& value, const String& fmt) {
    Layout l;
    l.value = value;
    l.format = fmt;
    const unsigned long n = fmt.length();
    if (l.value == nullptr || value.length() != n) {
        throw DateTimeException(4);
    }
    for (unsigned long i = 0; i < n; ++i) {
        const char c = l.format[i];
        const Letter letter = letterOf(c);
        if (letter != letterCount) {
            l.extents.note(letter, static_cast<long>(i));
        } else if (isDateSeparator(c)) {
            l.dateSeparatorsMatch = l.dateSeparatorsMatch && l.value[i] == c;
        } else if (c == ':') {
            l.colonsMatch = l.colonsMatch && l.value[i] == c;
        }
    }
    return l;
}

// The characters of the value under the letter's positions, blanks at the other positions of the
// field's extent, trimmed of blanks and tabs. With keepPoints, a full stop of the format within the extent
// keeps the value's character too. An absent field gives empty text.
std::string fieldText(const Layout& l, Letter letter, char c, bool keepPoints) {
    std::string text;
    if (!l.extents.present(letter)) {
        return text;
    }
    const auto charAt = [&](long i) {
        const char f = l.format[i];
        return f == c || (keepPoints && f == '.') ? l.value[i] : ' ';
    };
    long first = l.extents.first[letter];
    long last = l.extents.last[letter];
    while (first <= last && isBlank(charAt(first))) {
        ++first;
    }
    while (last > first && isBlank(charAt(last))) {
        --last;
    }
    for (long i = first; i <= last; ++i) {
        text += charAt(i);
    }
    return text;
}

// The leading decimal number of text as a 32-bit long reads it (saturating), 0 when there is none.
long numberOf(const std::string& text) {
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (v > INT32_MAX) {
        return INT32_MAX;
    }
    if (v < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<long>(v);
}

// The leading floating-point number of text with a full stop as decimal point, whatever the C locale.
double secondsOf(std::string text) {
    const char* start = text.c_str();
    char* end = nullptr;
    double v = std::strtod(start, &end);
    if (*end == '.') {
        // The C locale may use another decimal point: read again with it in place of the full stop.
        char probe[16];
        std::snprintf(probe, sizeof probe, "%.1f", 0.5);
        const std::string point(probe + 1, std::string(probe).size() - 2);
        if (point != ".") {
            for (std::size_t at = text.find('.'); at != std::string::npos;
                 at = text.find('.', at + point.size())) {
                text.replace(at, 1, point);
            }
            v = std::strtod(text.c_str(), nullptr);
        }
    }
    return v;
}

bool sameIgnoringCase(const char* a, const char* b, int n) {
    for (int i = 0; i < n; ++i) {
        char x = a[i];
        char y = b[i];
        x = x >= 'A' && x <= 'Z' ? static_cast<char>(x - 'A' + 'a') : x;
        y = y >= 'A' && y <= 'Z' ? static_cast<char>(y - 'A' + 'a') : y;
        if (x != y) {
            return false;
        }
    }
    return true;
}

void readDate(const Layout& l, Fields& out) {
    long year = numberOf(fieldText(l, letterY, 'Y', false));
    if (year < 100) {
        const long pivot = GetFCCLong(2);
        const long century = pivot / 100 * 100;
        if (year < pivot - century) {
            year += 100;
        }
        year += century;
    }
    if (!calendar::validYear(year)) {
        throw DateTimeException(1);
    }

    const std::string monthText = fieldText(l, letterM, 'M', false);
    long month = 0;
    if (monthText.size() < 3) {
        month = numberOf(monthText);
    } else {
        for (int i = 0; i < 12; ++i) {
            if (sameIgnoringCase(monthText.c_str(), calendar::shortMonthNames[i], 3)) {
                month = i + 1;
                break;
            }
        }
    }

    const std::string dayText = fieldText(l, letterD, 'D', false);
    long day = 0;
    if (dayText.size() == 3) {
        if (!calendar::gregorianDayOfYear(year, numberOf(dayText), month, day)) {
            throw DateTimeException(1);
        }
    } else {
        if (!calendar::validMonth(month)) {
            throw DateTimeException(1);
        }
        day = numberOf(dayText);
        if (day < 1 || day > calendar::monthLength(year, month)) {
            throw DateTimeException(1);
        }
    }
    out.year = year;
    out.month = month;
    out.day = day;
}

void readTime(const Layout& l, Fields& out) {
    const long hour = numberOf(fieldText(l, letterH, 'H', false));
    if (!calendar::validHour(hour)) {
        throw DateTimeException(1);
    }
    const long minute = numberOf(fieldText(l, letterN, 'N', false));
    if (!calendar::validMinute(minute)) {
        throw DateTimeException(1);
    }
    double second = secondsOf(fieldText(l, letterS, 'S', true));
    if (!calendar::validSecond(second)) {
        throw DateTimeException(1);
    }
    out.hour = hour;
    out.minute = minute;
    out.second = second + 0.0; // no negative zero
}

} // namespace

void parseDate(const String& value, const String& fmt, Fields& out) {
    const Layout l = layOut(value, fmt);
    if (!l.dateSeparatorsMatch) {
        throw DateTimeException(4);
    }
    readDate(l, out);
}

void parseTime(const String& value, const String& fmt, Fields& out) {
    const Layout l = layOut(value, fmt);
    if (!l.dateSeparatorsMatch || !l.colonsMatch) {
        throw DateTimeException(4);
    }
    readTime(l, out);
}

void parseTimestamp(const String& value, const String& fmt, Fields& out) {
    const Layout l = layOut(value, fmt);
    if (!l.dateSeparatorsMatch) {
        throw DateTimeException(4);
    }
    Fields result;
    readDate(l, result);
    if (!l.colonsMatch) {
        throw DateTimeException(4);
    }
    readTime(l, result);
    out = result;
}

} // namespace datetime
} // namespace Kel
