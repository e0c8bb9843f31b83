#include <kel/string.h>

namespace Kel {

String String::createMask(const String& chars) const {
    String result(*this);
    // The copy's own length: text written through buffer() past the capacity is not in it.
    const unsigned long length = result.length();
    if (length == 0) {
        return result;
    }
    bool marked[256] = {};
    const char* set = chars._bNull ? nullptr : chars._pBuffer;
    for (const char* p = set; p && *p; ++p) {
        marked[static_cast<unsigned char>(*p)] = true;
    }
    for (unsigned long i = 0; i < length; ++i) {
        result._pBuffer[i] = marked[static_cast<unsigned char>(result._pBuffer[i])] ? '#' : ' ';
    }
    return result;
}

String String::mask(const String& m) const {
    const unsigned long length = this->length();
    if (length != m.length()) {
        throw StringException(4);
    }
    String result(*this);
    const unsigned long copied = result.length();
    for (unsigned long i = 0; i < copied; ++i) {
        if (m._pBuffer[i] == ' ') {
            result._pBuffer[i] = ' ';
        }
    }
    return result;
}

String String::replaceMask(const String& m, const String& repl) const {
    const unsigned long first = m.findIndex('#');
    if (first == npos) {
        return String(static_cast<const char*>(*this), 0);
    }
    const unsigned long marked = m.trim().length();
    String result = mid(0, first);
    result += repl;
    result += mid(first + marked, npos);
    return result;
}

} // namespace Kel
