// Parses fuzzed values with fuzzed formats as Date, Time and Timestamp, and checks every outcome against a
// slow reference that follows the parse rules literally with String's masks, trimming and conversions.
// Input: value, a NUL byte, format.

#include <kel/datetime.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

using namespace Kel;

namespace {

struct Outcome {
    long reason = 0; // 0 for success
    long year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double second = 0.0;
};

bool gregorianLeap(long y) {
    return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
}

// The text under the letter c: mask the value with the format's mask for c, then trim. With points, a
// full stop of the format between the first and last c belongs to the mask.
String fieldText(const String& v, const String& f, char c, bool points) {
    const char letter[2] = {c, '\0'};
    String m = f.createMask(letter);
    if (points) {
        const unsigned long first = f.findIndex(c), last = f.findIndex(c, true);
        if (first != String::npos) {
            char* p = m.buffer();
            for (unsigned long i = first; i <= last; ++i) {
                if (f.at(i) == '.') {
                    p[i] = '#';
                }
            }
        }
    }
    return v.mask(m).trim();
}

bool separatorsMatch(const String& v, const String& f, const char* separators) {
    for (unsigned long i = 0; i < f.length(); ++i) {
        if (std::strchr(separators, f.at(i)) != nullptr && v.at(i) != f.at(i)) {
            return false;
        }
    }
    return true;
}

long referenceDate(const String& v, const String& f, Outcome& o) {
    if (v.isNull() || v.length() != f.length()) {
        return 4;
    }
    if (!separatorsMatch(v, f, " -/\\.")) {
        return 4;
    }
    long y = static_cast<long>(fieldText(v, f, 'Y', false));
    if (y < 100) {
        y += (y < 40 ? 100 : 0) + 1900;
    }
    if (y < 1790 || y > 9999) {
        return 1;
    }
    const String monthText = fieldText(v, f, 'M', false);
    long m = 0;
    if (monthText.length() < 3) {
        m = static_cast<long>(monthText);
    } else {
        static const char* const names[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        for (int i = 0; i < 12 && m == 0; ++i) {
            if (monthText.compareFor(names[i], 3, true) == 0) {
                m = i + 1;
            }
        }
    }
    const String dayText = fieldText(v, f, 'D', false);
    long d = static_cast<long>(dayText);
    if (dayText.length() == 3) {
        static const long lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        if (d < 1 || d > (gregorianLeap(y) ? 366 : 365)) {
            return 1;
        }
        for (m = 1; d > lengths[m - 1] + (m == 2 && gregorianLeap(y) ? 1 : 0); ++m) {
            d -= lengths[m - 1] + (m == 2 && gregorianLeap(y) ? 1 : 0);
        }
    } else {
        if (m < 1 || m > 12) {
            return 1;
        }
        static const long lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        if (d < 1 || d > lengths[m - 1] + (m == 2 && y % 4 == 0 ? 1 : 0)) {
            return 1;
        }
    }
    o.year = y;
    o.month = m;
    o.day = d;
    return 0;
}

long referenceTime(const String& v, const String& f, Outcome& o) {
    if (v.isNull() || v.length() != f.length()) {
        return 4;
    }
    if (!separatorsMatch(v, f, " -/\\.:")) {
        return 4;
    }
    const long h = static_cast<long>(fieldText(v, f, 'H', false));
    if (h < 0 || h > 23) {
        return 1;
    }
    const long n = static_cast<long>(fieldText(v, f, 'N', false));
    if (n < 0 || n > 59) {
        return 1;
    }
    const double s = static_cast<double>(fieldText(v, f, 'S', true));
    if (!(s >= 0.0 && s < 60.0)) {
        return 1;
    }
    o.hour = h;
    o.minute = n;
    o.second = s + 0.0;
    return 0;
}

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void sameOutcome(const Outcome& got, const Outcome& expected) {
    check(got.reason == expected.reason);
    if (got.reason == 0) {
        check(got.year == expected.year && got.month == expected.month && got.day == expected.day);
        check(got.hour == expected.hour && got.minute == expected.minute);
        check(std::memcmp(&got.second, &expected.second, sizeof(double)) == 0);
    }
}

template <class T> Outcome parsed(const String& v, const String& f) {
    Outcome o;
    try {
        const T t(v, f);
        if constexpr (!std::is_same_v<T, Time>) {
            o.year = t.year();
            o.month = t.month();
            o.day = t.day();
        }
        if constexpr (!std::is_same_v<T, Date>) {
            o.hour = t.hour();
            o.minute = t.minute();
            o.second = t.second();
        }
    } catch (const DateTimeException& e) {
        o.reason = e.reason();
        check(o.reason == 1 || o.reason == 4);
    }
    return o;
}

// A failed assignment leaves the target as it was; a successful one gives what the constructor gives.
void assignment(const String& v, const String& f, const String& other) {
    try {
        Date d(v, f);
        const long y = d.year(), m = d.month(), day = d.day();
        try {
            d = other;
            const Date direct(other, f);
            check(d.year() == direct.year() && d.month() == direct.month() && d.day() == direct.day());
        } catch (const DateTimeException&) {
            check(d.year() == y && d.month() == m && d.day() == day);
        }
    } catch (const DateTimeException&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string value = input.substr(0, split);
    const std::string format = split == std::string::npos ? value : input.substr(split + 1);
    const String v(value.c_str());
    const String f(format.c_str());

    Outcome date;
    date.reason = referenceDate(v, f, date);
    sameOutcome(parsed<Date>(v, f), date);

    Outcome time;
    time.reason = referenceTime(v, f, time);
    sameOutcome(parsed<Time>(v, f), time);

    Outcome both = date;
    if (both.reason == 0) {
        both.reason = referenceTime(v, f, both);
    }
    sameOutcome(parsed<Timestamp>(v, f), both);

    // A neighbour of the value: one character changed.
    std::string changed = value;
    if (!changed.empty()) {
        changed[changed.size() / 2] = static_cast<char>(changed[changed.size() / 2] ^ 1);
        if (changed[changed.size() / 2] == '\0') {
            changed[changed.size() / 2] = '1';
        }
    }
    assignment(v, f, String(changed.c_str()));
    return 0;
}
