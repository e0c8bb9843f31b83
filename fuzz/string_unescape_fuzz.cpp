// unescape() on any text, and escape() followed by unescape() giving the text back.

#include <kel/string.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const char* text = input.c_str(); // up to the first NUL, as every String text

    Kel::String s(text);
    try {
        s.unescape();
        if (s.length() > std::string(text).size()) {
            std::abort();
        }
    } catch (const Kel::StringException& e) {
        if (e.reason() != 5) {
            std::abort();
        }
    }

    Kel::String round(text);
    round.escape();
    round.unescape();
    if (round != text) {
        std::abort();
    }
    return 0;
}
