// Prints the library's identity and uses a String across the library boundary, including a dump to a
// standard stream and exceptions thrown inside the library, caught as themselves and as std::exception.

#include <kel/kel.h>

#include <cstring>
#include <exception>
#include <iostream>

int main() {
    Kel::String text("consumer");
    text += " ok";
    Kel::KELDump(&text).dump(std::cout);
    try {
        text.at(100);
        return 1;
    } catch (const Kel::StringException& e) {
        std::cout << Kel::product() << " " << Kel::version() << ": " << e.name() << " " << e.reason() << "\n";
    }
    try {
        text.at(100);
        return 1;
    } catch (const std::exception& e) {
        std::cout << e.what() << "\n";
        return std::strcmp(e.what(), "StringException 3: index out of range") == 0 ? 0 : 1;
    }
}
