// createMask(), mask() and replaceMask() with texts, sets, masks and replacements from the input.
// The input is split at its first three NUL bytes: text, character set, mask, replacement.

#include <kel/string.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string parts[4];
    std::size_t start = 0;
    for (int i = 0; i < 4 && start <= input.size(); ++i) {
        const std::size_t end = i < 3 ? input.find('\0', start) : std::string::npos;
        parts[i] = input.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    const Kel::String text(parts[0].c_str());
    const Kel::String chars(parts[1].c_str());
    const Kel::String freeMask(parts[2].c_str());
    const Kel::String repl(parts[3].c_str());

    const Kel::String made = text.createMask(chars);
    if (made.length() != text.length()) {
        std::abort();
    }
    const Kel::String masked = text.mask(made);
    if (masked.length() != text.length()) {
        std::abort();
    }
    try {
        text.mask(freeMask);
    } catch (const Kel::StringException& e) {
        if (e.reason() != 4 || freeMask.length() == text.length()) {
            std::abort();
        }
    }
    const Kel::String replaced = text.replaceMask(made, repl);
    if (replaced.length() > text.length() + repl.length()) {
        std::abort();
    }
    text.replaceMask(freeMask, repl);
    return 0;
}
