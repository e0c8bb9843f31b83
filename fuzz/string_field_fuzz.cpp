// field() with any separator, quote and index, and the three trims, on any text.

#include <kel/string.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    const char sep = static_cast<char>(data[0]);
    const char quote = static_cast<char>(data[1]);
    const unsigned long n = data[2] % 16;
    const std::string input(reinterpret_cast<const char*>(data + 3), size - 3);
    const Kel::String s(input.c_str());
    const std::size_t length = s.length();

    const Kel::String f = s.field(sep, n, quote);
    if (f.length() > length || (!f.isNull() && f.length() == 0)) {
        std::abort();
    }
    if (quote != '\0' && f.find(quote) != nullptr && quote != sep) {
        std::abort();
    }

    const Kel::String left = s.trimLeft();
    const Kel::String right = s.trimRight();
    const Kel::String both = s.trim();
    if (left.isNull() || right.isNull() || both.isNull()) {
        std::abort();
    }
    if (left.length() > 0 && isBlank(left.at(0))) {
        std::abort();
    }
    if (right.length() > 1 && isBlank(right.at(right.length() - 1))) {
        std::abort();
    }
    if (both.length() > 0 && (isBlank(both.at(0)) || isBlank(both.at(both.length() - 1)))) {
        std::abort();
    }
    if (std::strstr(s, both) == nullptr) {
        std::abort();
    }
    return 0;
}
