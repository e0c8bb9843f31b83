// translateVars() with a small list of variables from the input. The input is lines: the first is the
// text to translate, each further line "name=value" adds a variable (at most four, values at most 8
// characters, so that the expansion of a list without self-references stays small). A result, or an
// unknown name, must match the plain rewriting: replace the first "$(" reference of the whole text, again
// and again, until none is left.

#include <kel/string.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// Gives up (unknown outcome) after a bounded amount of work.
enum class Outcome { done, unknown, gaveUp };

// The plain rewriting; `passed` tells whether the text was once equal to `seen` before a substitution.
Outcome rewrite(std::string& text, const Kel::VariableList& vars, const std::string& seen, bool& passed) {
    passed = false;
    for (int pass = 0; pass < 500 && text.size() <= 4096; ++pass) {
        passed = passed || text == seen;
        const std::size_t p = text.find("$(");
        if (p == std::string::npos) {
            return Outcome::done;
        }
        const std::size_t close = text.find(')', p + 2);
        const std::string name =
            text.substr(p + 2, close == std::string::npos ? std::string::npos : close - p - 2);
        const Kel::Variable* v = vars.find(name.c_str());
        if (!v) {
            return Outcome::unknown;
        }
        const char* value = v->value();
        text = text.substr(0, p) + (value ? value : "") +
               (close == std::string::npos ? std::string() : text.substr(close + 1));
    }
    return Outcome::gaveUp;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 320) {
        return 0;
    }
    std::string input(reinterpret_cast<const char*>(data), size);
    for (char& c : input) {
        if (c == '\0') {
            c = ' ';
        }
    }

    Kel::VariableList vars;
    std::string text;
    std::size_t start = 0;
    for (int line = 0; line < 5 && start <= input.size(); ++line) {
        std::size_t end = input.find('\n', start);
        if (end == std::string::npos) {
            end = input.size();
        }
        const std::string current = input.substr(start, end - start);
        start = end + 1;
        if (line == 0) {
            text = current;
            continue;
        }
        const std::size_t equals = current.find('=');
        const std::string name = current.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : current.substr(equals + 1, 8);
        vars.add(Kel::Variable(name.c_str(), equals == std::string::npos ? nullptr : value.c_str()));
    }

    // A self-reference (18) stops the translation at a text that the plain rewriting passes through.
    Kel::String s(text.c_str());
    long reason = 0;
    try {
        s.translateVars(vars);
    } catch (const Kel::StringException& e) {
        reason = e.reason();
    }
    std::string expected = text;
    bool passed = false;
    const Outcome outcome = rewrite(expected, vars, static_cast<const char*>(s), passed);
    if (outcome == Outcome::gaveUp) {
        return 0;
    }
    const bool agrees = reason == 0 ? outcome == Outcome::done && expected == static_cast<const char*>(s)
                        : reason == 17
                            ? outcome == Outcome::unknown && expected == static_cast<const char*>(s)
                        : reason == 18 ? passed
                                       : false;
    if (!agrees) {
        std::abort();
    }
    return 0;
}
