// The process-wide date and time defaults: three formats and three numbers, fixed for the life of the
// process.

// throw.h comes first: it gives throwException its [[noreturn]] before foundation.h befriends it.
#include "foundation/throw.h"

#include "datetime/defaults.h"

#include <kel/datetime.h>

#include <cstring>

namespace Kel {

namespace {

// Holds the default formats. Its one instance is built while the library loads, before any caller can
// run, and is read-only afterwards, so any thread may read it.
class FCConfig {
public:
    FCConfig() : _sDate("YYYY-MM-DD"), _sTime("HH:NN:SS"), _sTimestamp("YYYY-MM-DD HH:NN:SS") {}
    FCConfig(const FCConfig&) = delete;
    FCConfig& operator=(const FCConfig&) = delete;
    virtual ~FCConfig() = default;

    const String& format(unsigned long index) const {
        return index == 0 ? _sDate : index == 1 ? _sTime : _sTimestamp;
    }

private:
    String _sDate;
    String _sTime;
    String _sTimestamp;
};

const FCConfig config;

void checkIndex(long index) {
    if (static_cast<unsigned long>(index) > 2) {
        throwException("Index out of range", 0);
    }
}

} // namespace

long GetFCCLong(long index) {
    checkIndex(index);
    return datetime::defaultNumbers[index];
}

String GetFCCString(long index) {
    checkIndex(index);
    return config.format(static_cast<unsigned long>(index));
}

namespace datetime {

const String& defaultFormat(DefaultFormat which) {
    return config.format(static_cast<unsigned long>(which));
}

String* ownFormat(const String& fmt, DefaultFormat which) {
    const String& shared = defaultFormat(which);
    const char* text = fmt;
    if (text && fmt.length() == shared.length() && std::strcmp(text, shared) == 0) {
        return nullptr;
    }
    return new String(fmt);
}

} // namespace datetime
} // namespace Kel
