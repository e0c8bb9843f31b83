// Prints the library's identity and uses a String across the library boundary, including a dump to a
// standard stream and an exception thrown inside the library.

#include <kel/kel.h>

#include <iostream>

int main() {
    Kel::String text("consumer");
    text += " ok";
    Kel::KELDump(&text).dump(std::cout);
    try {
        text.at(100);
    } catch (const Kel::StringException& e) {
        std::cout << Kel::product() << " " << Kel::version() << ": " << e.name() << " " << e.reason() << "\n";
        return 0;
    }
    return 1;
}
