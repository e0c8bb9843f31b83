// Arbitrary text through the entity coding: decoding gives a result or an XMLException, and decoding what
// encoding made gives the text back.

#include <kel/xml.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace Kel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const String input(text.c_str());
    try {
        (void)XMLUtil::XMLDecode(input);
    } catch (const XMLException&) {
    }
    const String encoded = XMLUtil::XMLEncode(input);
    const String decoded = XMLUtil::XMLDecode(encoded);
    if (std::strcmp(decoded, input) != 0) {
        std::abort();
    }
    return 0;
}
