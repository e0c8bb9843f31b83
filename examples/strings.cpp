// What String does to text: searching, fields, escapes, URI and SQL forms, formatting, masks and
// "$(name)" substitution.

#include <kel/kel.h>

#include <iostream>

using Kel::String;

int main() {
    // Searching: indices count from 0; npos says "not found".
    const String path("/usr/local/share/kel/kel.conf");
    std::cout << "path                 " << path << "\n"
              << "first '/'            " << path.findIndex('/') << "\n"
              << "last '/'             " << path.findIndex('/', true) << "\n"
              << "\"share\" at           " << path.findIndex("share") << "\n"
              << "file name            " << path.mid(path.findIndex('/', true) + 1) << "\n"
              << "\"etc\" found          " << (path.findIndex("etc") == String::npos ? "no" : "yes") << "\n";

    // Fields: quoted stretches keep their separators; empty fields are null.
    const String record("42,\"Smith, Anna\",,Oslo");
    std::cout << "\nrecord               " << record << "\n";
    for (unsigned long i = 0; i < 5; ++i) {
        const String f = record.field(',', i, '"');
        std::cout << "  field " << i << "            "
                  << (f.isNull() ? "(null)" : static_cast<const char*>(f)) << "\n";
    }
    std::cout << "trimmed              [" << String("\t  padded text  ").trim() << "]\n";

    // Escapes and the URI form: each has its way back.
    String text("Tab\there, \"quoted\"\nnext line");
    text.escape();
    std::cout << "\nescaped              " << text << "\n";
    text.unescape();
    String uri("name=Anna Smith&city=Zürich");
    uri.toURI();
    std::cout << "URI form             " << uri << "\n";
    uri.fromURI();
    std::cout << "decoded              " << uri << "\n";
    try {
        String broken("ends with a backslash\\");
        broken.unescape();
    } catch (const Kel::StringException& e) {
        std::cout << "bad escape           " << e.name() << " reason " << e.reason() << "\n";
    }

    // SQL literals: text is quoted, numbers are not, null is NULL.
    String name("O'Brien");
    String count;
    count = 42L;
    std::cout << "\nSQL text             " << name.sql() << "\n"
              << "SQL number           " << count.sql() << "\n"
              << "SQL null             " << String().sql() << "\n";

    // Formatting into the String's own storage.
    String line;
    line.format("%s=%li (%0.2f)", "temperature", 21L, 21.375);
    std::cout << "\nformatted            " << line << "\n";

    // Masks pick out and replace the characters under a pattern.
    const String pattern("YYYY-MM-DD");
    const String months = pattern.createMask("M");
    std::cout << "\nmask of M            [" << months << "]\n"
              << "month of 2024-12-31  [" << String("2024-12-31").mask(months) << "]\n"
              << "pattern with month   " << pattern.replaceMask(months, "07") << "\n";

    // Variables: inserted values are expanded in turn; a self-reference is refused.
    Kel::VariableList vars;
    vars.add(Kel::Variable("home", "/home/anna"));
    vars.add(Kel::Variable("conf", "$(home)/.config"));
    vars.add(Kel::Variable("loop", "again $(loop)"));
    String setting("settings in $(conf)/kel");
    setting.translateVars(vars);
    std::cout << "\nsubstituted          " << setting << "\n";
    for (const char* bad : {"$(missing)", "$(loop)"}) {
        String s(bad);
        try {
            s.translateVars(vars);
        } catch (const Kel::StringException& e) {
            std::cout << "refused              " << bad << ": reason " << e.reason()
                      << (e.reason() == 17 ? " (unknown name)" : " (self-reference)") << "\n";
        }
    }
    return 0;
}
