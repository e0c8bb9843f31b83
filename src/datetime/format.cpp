// Writing dates and times in the format language.

#include "datetime/calendar.h"
#include "datetime/fields.h"

#include <kel/foundation.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace Kel {
namespace datetime {

namespace {

// The text of one present field and the extent it replaces. The longest text is a month name.
struct Piece {
    long first;
    long last;
    char text[16];
    unsigned length;
};

// v in decimal, at least width characters, zero-padded after the sign, as printf's "%0<width>i" writes it.
unsigned putNumber(char* out, long v, int width) {
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

[[noreturn]] void badWidth() {
    throw DateTimeException(5);
}

// The month name of month 1 to 12; DateTimeException(1) for any other month.
const char* monthName(long month, bool longName) {
    if (month < 1 || month > 12) {
        throw DateTimeException(1);
    }
    return longName ? calendar::longMonthNames[month - 1] : calendar::shortMonthNames[month - 1];
}

// Builds the text of field l of width w into p.
void buildPiece(Letter l, long w, const Fields& v, Piece& p) {
    char* out = p.text;
    switch (l) {
    case letterY:
        if (w == 2) {
            p.length = putNumber(out, v.year % 100, 2);
        } else if (w == 4) {
            p.length = putNumber(out, v.year, 4);
        } else {
            badWidth();
        }
        break;
    case letterM:
        if (w > 4) {
            badWidth();
        }
        p.length =
            w <= 2 ? putNumber(out, v.month, static_cast<int>(w)) : putText(out, monthName(v.month, w == 4));
        break;
    case letterD:
        if (w > 3) {
            badWidth();
        }
        p.length = w == 3 ? putNumber(out, calendar::dayOfYear(v.year, v.month, v.day), 3)
                          : putNumber(out, v.day, static_cast<int>(w));
        break;
    case letterW: {
        if (w > 2) {
            badWidth();
        }
        if (v.year == 0) {
            throw DateTimeException(1);
        }
        const int wd = calendar::weekday(v.year, v.month, v.day);
        p.length = putText(out, w == 1 ? calendar::shortDayNames[wd] : calendar::longDayNames[wd]);
        break;
    }
    case letterH:
    case letterh:
        if (w > 2) {
            badWidth();
        }
        p.length = putNumber(out, l == letterH ? v.hour : v.hour % 12, static_cast<int>(w));
        break;
    case letterN:
        if (w > 2) {
            badWidth();
        }
        p.length = putNumber(out, v.minute, static_cast<int>(w));
        break;
    case letterS:
        if (w <= 2) {
            p.length = putNumber(out, static_cast<long>(v.second), static_cast<int>(w));
        } else if (w >= 4 && w <= 8) {
            p.length = putSeconds(out, v.second, static_cast<int>(w), static_cast<int>(w - 3));
        } else {
            badWidth();
        }
        break;
    case letterP: {
        if (w > 2) {
            badWidth();
        }
        const char* marker = v.hour / 12 == 0 ? "AM" : "PM";
        if (w == 1) {
            out[0] = marker[0];
            p.length = 1;
        } else {
            p.length = putText(out, marker);
        }
        break;
    }
    case letterCount:
        break;
    }
}

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

} // namespace

String formatFields(const Fields& fields, const String& fmt, FieldSet set) {
    const char* f = fmt;
    if (f == nullptr) {
        return String();
    }
    const std::size_t n = fmt.length();

    Extents ext;
    for (std::size_t i = 0; i < n; ++i) {
        const Letter l = letterOf(f[i]);
        if (l != letterCount) {
            ext.note(l, static_cast<long>(i));
        }
    }

    // The fields of the set in the order their texts are built; the first failure wins.
    Letter order[6];
    int count = 0;
    switch (set) {
    case FieldSet::date:
        order[count++] = letterY;
        order[count++] = letterM;
        order[count++] = letterD;
        order[count++] = letterW;
        break;
    case FieldSet::time:
        order[count++] = ext.present(letterH) ? letterH : letterh;
        order[count++] = letterN;
        order[count++] = letterS;
        order[count++] = letterP;
        break;
    case FieldSet::timestamp:
        order[count++] = letterY;
        order[count++] = letterM;
        order[count++] = letterD;
        order[count++] = letterH;
        order[count++] = letterN;
        order[count++] = letterS;
        break;
    }

    Piece pieces[6];
    int used = 0;
    std::size_t textLength = 0;
    for (int i = 0; i < count; ++i) {
        const Letter l = order[i];
        if (!ext.present(l)) {
            continue;
        }
        Piece& p = pieces[used];
        buildPiece(l, ext.width(l), fields, p);
        p.first = ext.first[l];
        p.last = ext.last[l];
        textLength += p.length;
        // Keep the pieces ordered by position.
        for (int j = used; j > 0 && pieces[j - 1].first > pieces[j].first; --j) {
            const Piece t = pieces[j];
            pieces[j] = pieces[j - 1];
            pieces[j - 1] = t;
        }
        ++used;
    }

    OutputBuffer buffer(n + textLength + 1);
    char* out = buffer.text();
    std::size_t length = 0;
    std::size_t position = 0;
    for (int i = 0; i < used; ++i) {
        const Piece& p = pieces[i];
        const std::size_t first = static_cast<std::size_t>(p.first);
        if (first < position) {
            continue; // begins inside an earlier field's extent
        }
        std::memcpy(out + length, f + position, first - position);
        length += first - position;
        std::memcpy(out + length, p.text, p.length);
        length += p.length;
        position = static_cast<std::size_t>(p.last) + 1;
    }
    std::memcpy(out + length, f + position, n - position);
    length += n - position;
    out[length] = '\0';
    return String(out);
}

} // namespace datetime
} // namespace Kel
