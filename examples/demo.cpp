// A first look at Kel: who it is, and what a String does with its null state, fixed length and dump.

#include <kel/kel.h>

#include <iostream>

using namespace Kel;

int main() {
    std::cout << product() << " " << version() << "\n" << copyright() << "\n";

    String name;
    std::cout << "a default String is null: " << std::boolalpha << name.isNull() << "\n";
    name = "Kel";
    name += " library";
    std::cout << "after assignment and append: \"" << name << "\", length " << name.length() << "\n";

    String code(5ul);
    code += "AB";
    try {
        code += "CDEF";
    } catch (const StringException& e) {
        std::cout << "appending past a fixed length of 5 throws " << e.name() << " reason " << e.reason()
                  << "; the text stays \"" << code << "\"\n";
    }

    String number;
    number = 2.5;
    std::cout << "2.5 as text: " << number << ", back as a number: " << static_cast<double>(number) << "\n";

    std::cout << "its dump:\n";
    KELDump(&name).dump(std::cout);
    String nothing;
    KELDump(&nothing).dump(std::cout);
    KELBase::dumpAll(std::cout);
    return 0;
}
