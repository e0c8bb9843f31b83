// Dates, times and timestamps: today in a few formats, reading text back, and what a bad value does.

#include <kel/kel.h>

#include <chrono>
#include <iostream>

using namespace Kel;

int main() {
    const Timestamp now = Timestamp::now(Time::Local);
    std::cout << "now, default format:   " << now.format(GetFCCString(2)) << "\n";
    std::cout << "now, day-month-year:   " << now.format("DD.MM.YYYY HH:NN") << "\n";
    std::cout << "now, in words:         " << Date::now().format("WW, DD MMMM YYYY") << "\n";
    // The 12-hour field counts 0 to 11: noon and midnight are both 00.
    std::cout << "now, 12-hour clock:    " << Time::now(Time::Local).format("hh:NN PP") << "\n";
    std::cout << "now, universal time:   " << Timestamp::now(Time::UTC).format("YYYY-MM-DD HH:NN:SS")
              << " UTC\n";
    std::cout << "day of the year:       " << now.format("YYYY-DDD") << "\n";
    std::cout << "a log line's time:     "
              << Timestamp::nowWithMilliseconds(Time::Local).format("YYYY-MM-DD HH:NN:SS.SSS") << "\n";

    // To and from std::chrono: a timestamp read on local time converts back on local time.
    const auto inAWeek = now.toTimePoint() + std::chrono::hours(24 * 7);
    std::cout << "in a week:             " << Date(inAWeek).format("WW, DD.MM.YYYY") << "\n";
    std::cout << "end of the calendar:   " << Timestamp(9999, 12, 31, 23, 59, 59L).format(GetFCCString(2))
              << "\n";

    // A round trip: write with one format, read it back with the same format.
    Timestamp christmas(2024, 12, 25, 8, 0, 30.25);
    const String written = christmas.format("DD MMM YYYY, HH:NN:SS.SS");
    const Timestamp read(written, "DD MMM YYYY, HH:NN:SS.SS");
    std::cout << "written: " << written << " -> read back: " << read.format("YYYY-MM-DD HH:NN:SS.SS") << "\n";

    // Two-digit years pivot at 1940; a date keeps the format it was built with for text assignment.
    Date d(String("05/03/24"), "DD/MM/YY");
    std::cout << "05/03/24 is " << d.format("YYYY-MM-DD") << "; ";
    d = String("07/08/45");
    std::cout << "07/08/45 is " << d.format("YYYY-MM-DD") << "\n";

    // A bad value throws and leaves the date as it was.
    try {
        d = String("31/02/25");
    } catch (const DateTimeException& e) {
        std::cout << "31/02/25 throws " << e.name() << " reason " << e.reason() << "; the date stays "
                  << d.format("YYYY-MM-DD") << "\n";
    }

    std::cout << "its dump:\n";
    KELDump(static_cast<Date*>(&christmas)).dump(std::cout);
    return 0;
}
