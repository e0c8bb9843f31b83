// Writes fuzzed dates, times and timestamps with fuzzed formats, and checks every outcome against a slow
// reference that builds each field's text with printf formats through String::format.
// Input: 12 bytes of field values, then the format.

#include <kel/datetime.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace Kel;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

struct Values {
    long year, month, day, hour, minute;
    double second;
};

struct Extent {
    char letter;
    long first, last;
};

const char* const longMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                    "July",    "August",   "September", "October", "November", "December"};
const char* const shortMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const longDays[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const shortDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// Weekday by counting days from 1 January 1970, a Thursday, on the Gregorian calendar.
int weekday(long y, long m, long d) {
    long long days = 0;
    const auto leap = [](long long year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); };
    static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 0) {
        m = 12;
        --y;
    }
    for (long long year = 1970; year < y; ++year) {
        days += leap(year) ? 366 : 365;
    }
    for (long long year = y; year < 1970; ++year) {
        days -= leap(year) ? 366 : 365;
    }
    for (long i = 1; i < m; ++i) {
        days += lengths[i - 1] + (i == 2 && leap(y) ? 1 : 0);
    }
    days += d - 1;
    return static_cast<int>(((days + 4) % 7 + 7) % 7);
}

String printed(const char* fmt, long v) {
    String s;
    s.format(fmt, static_cast<int>(v));
    return s;
}

// The text of one field, or the reason it fails.
long fieldText(char letter, long w, const Values& v, String& text) {
    switch (letter) {
    case 'Y':
        if (w != 2 && w != 4) {
            return 5;
        }
        text = printed(w == 2 ? "%02i" : "%04i", w == 2 ? v.year % 100 : v.year);
        return 0;
    case 'M':
        if (w > 4) {
            return 5;
        }
        if (w >= 3 && (v.month < 1 || v.month > 12)) {
            return 1;
        }
        text = w == 1   ? printed("%i", v.month)
               : w == 2 ? printed("%02i", v.month)
                        : String((w == 3 ? shortMonths : longMonths)[v.month - 1]);
        return 0;
    case 'D': {
        if (w > 3) {
            return 5;
        }
        static const int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
        const long ordinal =
            v.month <= 1 ? v.day : before[v.month - 1] + (v.month > 2 && v.year % 4 == 0) + v.day;
        text = printed(w == 1 ? "%i" : w == 2 ? "%02i" : "%03i", w == 3 ? ordinal : v.day);
        return 0;
    }
    case 'W':
        if (w > 2) {
            return 5;
        }
        if (v.year == 0) {
            return 1;
        }
        text = (w == 1 ? shortDays : longDays)[weekday(v.year, v.month, v.day)];
        return 0;
    case 'H':
    case 'h':
    case 'N':
        if (w > 2) {
            return 5;
        }
        text = printed(w == 1 ? "%i" : "%02i", letter == 'H'   ? v.hour
                                               : letter == 'h' ? v.hour % 12
                                                               : v.minute);
        return 0;
    case 'S':
        if (w == 3 || w > 8) {
            return 5;
        }
        if (w <= 2) {
            text = printed(w == 1 ? "%i" : "%02i", static_cast<long>(v.second));
        } else {
            String number;
            number.format("%%0%i.%if", static_cast<int>(w), static_cast<int>(w - 3));
            text.format(number, v.second);
        }
        return 0;
    case 'P':
        if (w > 2) {
            return 5;
        }
        text = w == 1 ? (v.hour < 12 ? "A" : "P") : (v.hour < 12 ? "AM" : "PM");
        return 0;
    }
    return 0;
}

// The reference result: the reason of the first failure in build order, or 0 with the text in out. An
// output of extents that overlap is not compared (overlapping is set).
long reference(const String& f, const char* letters, const Values& v, String& out, bool& overlapping) {
    Extent extents[6];
    String texts[6];
    int count = 0;
    for (const char* l = letters; *l != '\0'; ++l) {
        const unsigned long first = f.findIndex(*l);
        if (first == String::npos) {
            continue;
        }
        const unsigned long last = f.findIndex(*l, true);
        const long reason = fieldText(*l, static_cast<long>(last - first + 1), v, texts[count]);
        if (reason != 0) {
            return reason;
        }
        extents[count++] = {*l, static_cast<long>(first), static_cast<long>(last)};
    }
    overlapping = false;
    for (int i = 0; i < count; ++i) {
        for (int j = 0; j < count; ++j) {
            overlapping = overlapping || (i != j && extents[j].first >= extents[i].first &&
                                          extents[j].first <= extents[i].last);
        }
    }
    std::string result;
    const std::string format(f);
    for (long i = 0; i < static_cast<long>(format.size());) {
        int at = -1;
        for (int k = 0; k < count; ++k) {
            at = extents[k].first == i ? k : at;
        }
        if (at < 0) {
            result += format[static_cast<std::size_t>(i++)];
        } else {
            result += static_cast<const char*>(texts[at]);
            i = extents[at].last + 1;
        }
    }
    out = result.c_str();
    return 0;
}

template <class T> void compare(const T& value, const String& f, const char* letters, const Values& v) {
    String expected;
    bool overlapping = false;
    const long expectedReason = reference(f, letters, v, expected, overlapping);
    try {
        const String got = value.format(f);
        check(expectedReason == 0);
        check(overlapping || got == expected);
    } catch (const DateTimeException& e) {
        check(e.reason() == expectedReason);
    }
}

std::uint32_t take(const std::uint8_t*& data, std::size_t& size, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes && size > 0; ++i, --size) {
        v = v << 8 | *data++;
    }
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Values v{};
    const std::uint32_t y = take(data, size, 1);
    v.year = y == 0 ? 0 : 1790 + static_cast<long>(y % 248);
    v.month = static_cast<long>(take(data, size, 1) % 13);
    const long day = static_cast<long>(take(data, size, 1) % 32);
    v.hour = static_cast<long>(take(data, size, 1) % 24);
    v.minute = static_cast<long>(take(data, size, 1) % 60);
    const std::uint32_t secondBits = take(data, size, 4);
    v.second = (secondBits % 60000000u) / 1e6 + (take(data, size, 3) % 1000) / 1e9;
    if (!(v.second < 60.0)) {
        v.second = 0.0;
    }

    // Set the day under January, then change the month: impossible dates such as 31 February are kept.
    Date date;
    if (v.year != 0) {
        date.year(v.year);
    }
    v.day = 0;
    if (v.year != 0 && day != 0) {
        date.month(1);
        date.day(day);
        v.day = day;
    }
    if (v.month != 0) {
        date.month(v.month);
    } else if (v.day != 0) {
        v.month = 1;
    }
    const Time time(v.hour, v.minute, v.second);
    const Timestamp both(date, time);

    const std::string format(reinterpret_cast<const char*>(data), size);
    const String f(format.c_str());
    compare(date, f, "YMDW", v);
    compare(time, f, std::strchr(format.c_str(), 'H') != nullptr ? "HNSP" : "hNSP", v);
    compare(both, f, "YMDHNS", v);
    return 0;
}
