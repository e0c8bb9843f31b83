// fromURI() on any text, and toURI() followed by fromURI() giving the text back.

#include <kel/string.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const char* text = input.c_str();

    Kel::String decoded(text);
    decoded.fromURI();
    if (decoded.isNull() || decoded.length() > std::strlen(text) ||
        decoded.length() != std::strlen(static_cast<const char*>(decoded))) {
        std::abort();
    }

    Kel::String round(text);
    round.toURI();
    round.fromURI();
    if (round != text) {
        std::abort();
    }
    return 0;
}
