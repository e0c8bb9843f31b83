// Writing dates and times in the format language.

#include "datetime/calendar.h"
#include "datetime/fail.h"
#include "datetime/fields.h"

#include <kel/foundation.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace Kel {
namespace datetime {

namespace {

const char digitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                          "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                          "8081828384858687888990919293949596979899";

// The two digits of v, 0 to 99, at out.
void putPair(char* out, unsigned v) {
    out[0] = digitPairs[2 * v];
    out[1] = digitPairs[2 * v + 1];
}

// v in decimal, at least width characters, zero-padded after the sign, as printf's "%0<width>i" writes it.
unsigned putNumber(char* out, long v, int width) {
    if (v >= 0 && v < 100 && width <= 2) {
        // Nearly every field: one or two digits.
        if (v >= 10 || width == 2) {
            out[0] = digitPairs[2 * v];
            out[1] = digitPairs[2 * v + 1];
            return 2;
        }
        out[0] = static_cast<char>('0' + v);
        return 1;
    }
    if (v >= 1000 && v < 10000 && width <= 4) {
        // A four-digit year.
        const long high = v / 100;
        const long low = v % 100;
        out[0] = digitPairs[2 * high];
        out[1] = digitPairs[2 * high + 1];
        out[2] = digitPairs[2 * low];
        out[3] = digitPairs[2 * low + 1];
        return 4;
    }
    char digits[24];
    int n = 0;
    unsigned long magnitude = v < 0 ? 0ul - static_cast<unsigned long>(v) : static_cast<unsigned long>(v);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    unsigned length = 0;
    if (v < 0) {
        out[length++] = '-';
    }
    for (int pad = width - n - (v < 0 ? 1 : 0); pad > 0; --pad) {
        out[length++] = '0';
    }
    while (n > 0) {
        out[length++] = digits[--n];
    }
    return length;
}

unsigned putText(char* out, const char* text) {
    const unsigned length = static_cast<unsigned>(std::strlen(text));
    std::memcpy(out, text, length);
    return length;
}

// s with decimals digits after a full stop, zero-padded to width, rounded as printf rounds. printf writes
// the C locale's decimal point, which is put back to a full stop here.
unsigned putSeconds(char* out, double s, int width, int decimals) {
    char raw[64];
    int n = std::snprintf(raw, sizeof raw, "%.*f", decimals, s);
    if (n < 0 || n >= static_cast<int>(sizeof raw)) {
        n = 0;
    }
    char text[64];
    int length = 0;
    for (int i = 0; i < n;) {
        const char c = raw[i];
        if ((c >= '0' && c <= '9') || c == '-') {
            text[length++] = c;
            ++i;
        } else {
            text[length++] = '.';
            while (i < n && !(raw[i] >= '0' && raw[i] <= '9')) {
                ++i;
            }
        }
    }
    unsigned written = 0;
    int start = 0;
    if (length > 0 && text[0] == '-') {
        out[written++] = '-';
        start = 1;
    }
    for (int pad = width - length; pad > 0; --pad) {
        out[written++] = '0';
    }
    std::memcpy(out + written, text + start, static_cast<std::size_t>(length - start));
    return written + static_cast<unsigned>(length - start);
}

[[noreturn]] void badWidth(char letter, long width) {
    fail(5, "field %c of width %ld", letter, width);
}

// The month name of month 1 to 12; DateTimeException(1) for any other month.
const char* monthName(long month, bool longName) {
    if (month < 1 || month > 12) {
        fail(1, "month name of month %ld", month);
    }
    return longName ? calendar::longMonthNames[month - 1] : calendar::shortMonthNames[month - 1];
}

// Throws what writing field l of width w would throw: DateTimeException(5) for a width the letter does not
// accept, (1) for a name of an unset month or a weekday of an unset year.
void checkField(Letter l, long w, const Fields& v) {
    switch (l) {
    case letterY:
        if (w != 2 && w != 4) {
            badWidth("YMDWHhNSP"[l], w);
        }
        break;
    case letterM:
        if (w > 4) {
            badWidth("YMDWHhNSP"[l], w);
        }
        if (w >= 3) {
            monthName(v.month, w == 4);
        }
        break;
    case letterD:
        if (w > 3) {
            badWidth("YMDWHhNSP"[l], w);
        }
        break;
    case letterW:
        if (w > 2) {
            badWidth("YMDWHhNSP"[l], w);
        }
        if (v.year == 0) {
            fail(1, "day name while the year is unset");
        }
        break;
    case letterS:
        if (w == 3 || w > 8) {
            badWidth("YMDWHhNSP"[l], w);
        }
        break;
    default: // H, h, N, P
        if (w > 2) {
            badWidth("YMDWHhNSP"[l], w);
        }
        break;
    }
}

// Writes the text of field l of width w, already checked, at out; returns its length.
unsigned writeField(Letter l, long w, const Fields& v, char* out) {
    const int width = static_cast<int>(w);
    switch (l) {
    case letterY:
        return putNumber(out, w == 2 ? v.year % 100 : v.year, width);
    case letterM:
        return w <= 2 ? putNumber(out, v.month, width) : putText(out, monthName(v.month, w == 4));
    case letterD:
        return w == 3 ? putNumber(out, calendar::dayOfYear(v.year, v.month, v.day), 3)
                      : putNumber(out, v.day, width);
    case letterW: {
        const int wd = calendar::weekday(v.year, v.month, v.day);
        return putText(out, w == 1 ? calendar::shortDayNames[wd] : calendar::longDayNames[wd]);
    }
    case letterH:
        return putNumber(out, v.hour, width);
    case letterh:
        return putNumber(out, v.hour % 12, width);
    case letterN:
        return putNumber(out, v.minute, width);
    case letterS:
        // Whole seconds are cut, not rounded.
        return w <= 2 ? putNumber(out, static_cast<long>(v.second), width)
                      : putSeconds(out, v.second, width, width - 3);
    case letterP: {
        const char* marker = v.hour / 12 == 0 ? "AM" : "PM";
        if (w == 1) {
            out[0] = marker[0];
            return 1;
        }
        return putText(out, marker);
    }
    case letterCount:
        break;
    }
    return 0;
}

// Copies plain text of the format; most stretches are a separator or two.
char* copyText(char* out, const char* from, std::size_t n) {
    if (n > 16) {
        std::memcpy(out, from, n);
        return out + n;
    }
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = from[i];
    }
    return out + n;
}

// Room for the text of any field: the longest is a long month or day name.
constexpr std::size_t longestField = 16;

// Output space that lives on the stack for ordinary formats and on the heap for long ones.
class OutputBuffer {
public:
    explicit OutputBuffer(std::size_t size)
        : _pHeap(size > sizeof _szStack ? new char[size] : nullptr),
          _pText(_pHeap ? _pHeap.get() : _szStack) {}
    char* text() { return _pText; }

private:
    char _szStack[256];
    std::unique_ptr<char[]> _pHeap;
    char* _pText;
};

// A format read once: the fields to check, in the order their texts are built, and the fields to
// write, in the order of their positions, leaving out those that begin inside an earlier one.
struct FormatPlan {
    struct Field {
        Letter letter;
        long first;
        long last;
    };
    struct Check {
        Letter letter;
        long width;
    };
    Check checks[6];
    int checkCount = 0;
    Field fields[6];
    int fieldCount = 0;
    // Every field is written as digits exactly as wide as its extent (see fixedWidth), so the text is the
    // format itself with the digits put over the letters, and no field can fail.
    bool fixed = false;
    // For a fixed plan, the fields as the writer takes them: where the digits go, which number they show
    // (a Shown) and whether there are four of them.
    struct Digits {
        long position;
        int shown;
        bool four;
    };
    Digits digits[6];
};

// The numbers a fixed-width field may show, as indices into the array writeFixed fills.
enum Shown { shownYear, shownYear2, shownMonth, shownDay, shownHour, shownHour12, shownMinute, shownSecond };

// Whether a field is a number of as many digits as its extent: a year of two or four, the others of two.
bool fixedWidth(const FormatPlan::Field& field) {
    const long width = field.last - field.first + 1;
    switch (field.letter) {
    case letterY:
        return width == 2 || width == 4;
    case letterM:
    case letterD:
    case letterH:
    case letterh:
    case letterN:
    case letterS:
        return width == 2;
    default:
        return false;
    }
}

FormatPlan planFormat(const char* f, long n, FieldSet set) {
    // Runs of one letter are noted at once: most fields are a single run.
    Extents ext;
    for (long i = 0; i < n;) {
        const Letter l = letterOf(f[i]);
        long end = i + 1;
        if (l != letterCount) {
            while (end < n && f[end] == f[i]) {
                ++end;
            }
            if (ext.first[l] < 0) {
                ext.first[l] = i;
            }
            ext.last[l] = end - 1;
        }
        i = end;
    }

    // The fields of the set in the order their texts are built; the first failure is the one reported.
    static const Letter dateOrder[] = {letterY, letterM, letterD, letterW};
    static const Letter timeOrder[] = {letterH, letterN, letterS, letterP};
    static const Letter timestampOrder[] = {letterY, letterM, letterD, letterH, letterN, letterS};
    const Letter* source = set == FieldSet::date   ? dateOrder
                           : set == FieldSet::time ? timeOrder
                                                   : timestampOrder;
    const int sourceCount = set == FieldSet::timestamp ? 6 : 4;
    FormatPlan plan;
    for (int i = 0; i < sourceCount; ++i) {
        Letter l = source[i];
        if (l == letterH && set == FieldSet::time && !ext.present(letterH)) {
            l = letterh;
        }
        if (ext.present(l)) {
            plan.checks[plan.checkCount++] = {l, ext.width(l)};
        }
    }

    // Then the texts go in by position.
    Letter order[6];
    for (int i = 0; i < plan.checkCount; ++i) {
        order[i] = plan.checks[i].letter;
        for (int j = i; j > 0 && ext.first[order[j - 1]] > ext.first[order[j]]; --j) {
            const Letter t = order[j];
            order[j] = order[j - 1];
            order[j - 1] = t;
        }
    }
    long position = 0;
    for (int i = 0; i < plan.checkCount; ++i) {
        const Letter l = order[i];
        if (ext.first[l] < position) {
            continue; // begins inside an earlier field's extent
        }
        plan.fields[plan.fieldCount++] = {l, ext.first[l], ext.last[l]};
        position = ext.last[l] + 1;
    }
    plan.fixed = plan.fieldCount == plan.checkCount;
    for (int i = 0; i < plan.fieldCount; ++i) {
        const FormatPlan::Field& field = plan.fields[i];
        plan.fixed = plan.fixed && fixedWidth(field);
        // By Letter; W and P are never fixed-width.
        static const int shownOf[letterCount] = {shownYear,   shownMonth,  shownDay,    0, shownHour,
                                                 shownHour12, shownMinute, shownSecond, 0};
        const bool four = field.last - field.first == 3;
        const int shown = field.letter == letterY && !four ? shownYear2 : shownOf[field.letter];
        plan.digits[i] = {field.first, shown, four};
    }
    return plan;
}

// Writes the text of a fixed-width plan at out (n + 1 characters): the format with each field's digits
// over its letters. False, with nothing promised about out, when a number does not fit its width (a
// negative one, say), which the general writer then handles.
bool writeFixed(const FormatPlan& plan, const Fields& v, const char* f, long n, char* out) {
    // By Shown. Whole seconds are cut, not rounded.
    const long shown[] = {v.year, v.year % 100, v.month,  v.day,
                          v.hour, v.hour % 12,  v.minute, static_cast<long>(v.second)};
    std::memcpy(out, f, static_cast<std::size_t>(n) + 1);
    for (int i = 0; i < plan.fieldCount; ++i) {
        const FormatPlan::Digits& d = plan.digits[i];
        const unsigned long value = static_cast<unsigned long>(shown[d.shown]);
        char* at = out + d.position;
        if (d.four) {
            if (value >= 10000) {
                return false;
            }
            putPair(at, static_cast<unsigned>(value) / 100);
            putPair(at + 2, static_cast<unsigned>(value) % 100);
        } else {
            if (value >= 100) {
                return false;
            }
            putPair(at, static_cast<unsigned>(value));
        }
    }
    return true;
}

// The plans of the default formats, made while the library loads and shared, read-only, by every
// thread: the formats written most are not read again on each call.
class DefaultPlans {
public:
    DefaultPlans() {
        static const char* const texts[3] = {"YYYY-MM-DD", "HH:NN:SS", "YYYY-MM-DD HH:NN:SS"};
        static const FieldSet sets[3] = {FieldSet::date, FieldSet::time, FieldSet::timestamp};
        for (int i = 0; i < 3; ++i) {
            _formats[i].text = texts[i];
            _formats[i].length = static_cast<long>(std::strlen(texts[i]));
            for (int j = 0; j < 3; ++j) {
                _formats[i].plans[j] = planFormat(texts[i], _formats[i].length, sets[j]);
            }
        }
    }

    // The plan of f for the set when f is one of the default formats; null otherwise.
    const FormatPlan* find(const char* f, long n, FieldSet set) const {
        for (const Format& format : _formats) {
            if (format.length == n && sameText(format.text, f, static_cast<unsigned long>(n))) {
                return &format.plans[static_cast<int>(set)];
            }
        }
        return nullptr;
    }

private:
    struct Format {
        const char* text;
        long length;
        FormatPlan plans[3]; // by FieldSet
    };
    Format _formats[3];
};

const DefaultPlans defaultPlans;

} // namespace

String formatFields(const Fields& fields, const String& fmt, FieldSet set) {
    const char* f = fmt;
    if (!f) {
        return String();
    }
    const long n = static_cast<long>(fmt.length());
    FormatPlan ownPlan;
    const FormatPlan* plan = defaultPlans.find(f, n, set);
    if (!plan) {
        ownPlan = planFormat(f, n, set);
        plan = &ownPlan;
    }
    if (plan->fixed) {
        // The text is exactly as long as the format: built on the stack and copied once.
        OutputBuffer buffer(static_cast<std::size_t>(n) + 1);
        if (writeFixed(*plan, fields, f, n, buffer.text())) {
            return String(buffer.text());
        }
    }
    for (int i = 0; i < plan->checkCount; ++i) {
        checkField(plan->checks[i].letter, plan->checks[i].width, fields);
    }

    OutputBuffer buffer(static_cast<std::size_t>(n) +
                        static_cast<std::size_t>(plan->fieldCount) * longestField + 1);
    char* out = buffer.text();
    long position = 0;
    for (int i = 0; i < plan->fieldCount; ++i) {
        const FormatPlan::Field& field = plan->fields[i];
        out = copyText(out, f + position, static_cast<std::size_t>(field.first - position));
        out += writeField(field.letter, field.last - field.first + 1, fields, out);
        position = field.last + 1;
    }
    out = copyText(out, f + position, static_cast<std::size_t>(n - position));
    *out = '\0';
    return String(buffer.text());
}

} // namespace datetime
} // namespace Kel
