// The default formats are read by a shortcut for plain digits; every value must come out as the same
// format text with other separators, read the long way, gives it: the same numbers or the same reason.

#include "kel_test.h"

#include <kel/datetime.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace Kel;

namespace {

// The outcome of a reading: the numbers written out, or the reason of the failure.
template <typename Read> std::string outcome(Read read) {
    try {
        return read();
    } catch (const DateTimeException& e) {
        return "reason " + std::to_string(e.reason());
    }
}

// value with the characters at the given positions exchanged between a and b.
std::string swapAt(std::string value, std::initializer_list<std::size_t> positions, char a, char b) {
    for (std::size_t at : positions) {
        if (at < value.size() && (value[at] == a || value[at] == b)) {
            value[at] = value[at] == a ? b : a;
        }
    }
    return value;
}

// The base value, and the base with each place replaced in turn by characters that test the reading.
std::vector<std::string> variantsOf(const std::string& base) {
    std::vector<std::string> values{base, base.substr(1), base + "0"};
    for (std::size_t at = 0; at < base.size(); ++at) {
        for (char c : std::string("0369 +-/.:x\t")) {
            std::string v = base;
            v[at] = c;
            values.push_back(v);
        }
    }
    return values;
}

const char* const timestampValues[] = {
    "2024-12-25 08:00:30", "2024-02-29 23:59:59", "2023-02-29 00:00:00", "0099-01-01 00:00:00",
    "0040-06-30 12:30:45", "1789-12-31 23:59:59", "1790-01-01 00:00:00", "9999-12-31 23:59:59",
    "2024-00-10 10:10:10", "2024-04-31 10:10:10", "2024-12-25 24:00:00", "2024-12-25 23:60:00",
    "2024-12-25 23:59:60", " 024-12-25 08:00:30", "2024-12-25  8:00:30", "2024-12-25 08:00: 3",
};

} // namespace

TEST(DefaultFormats, ShortcutReadsAsTheLongWay) {
    for (const char* base : timestampValues) {
        for (const std::string& value : variantsOf(base)) {
            const std::string other = swapAt(value, {4, 7}, '-', '/');
            EXPECT_EQ(outcome([&] {
                          return std::string(Timestamp(String(value.c_str()), "YYYY-MM-DD HH:NN:SS")
                                                 .format("YYYY-MM-DD HH:NN:SS"));
                      }),
                      outcome([&] {
                          return std::string(Timestamp(String(other.c_str()), "YYYY/MM/DD HH:NN:SS")
                                                 .format("YYYY-MM-DD HH:NN:SS"));
                      }))
                << value;

            const std::string date = value.substr(0, 10);
            const std::string otherDate = other.substr(0, 10);
            EXPECT_EQ(outcome([&] {
                          return std::string(Date(String(date.c_str()), "YYYY-MM-DD").format("YYYY-MM-DD"));
                      }),
                      outcome([&] {
                          return std::string(
                              Date(String(otherDate.c_str()), "YYYY/MM/DD").format("YYYY-MM-DD"));
                      }))
                << date;

            const std::string time = value.size() > 11 ? value.substr(11) : value;
            const std::string otherTime = swapAt(time, {2, 5}, ':', '.');
            EXPECT_EQ(outcome([&] {
                          return std::string(Time(String(time.c_str()), "HH:NN:SS").format("HH:NN:SS"));
                      }),
                      outcome([&] {
                          return std::string(Time(String(otherTime.c_str()), "HH.NN.SS").format("HH:NN:SS"));
                      }))
                << time;
        }
    }
}

TEST(DefaultFormats, AssignmentReadsTheStoredFormats) {
    Timestamp t;
    t = String("2024-02-29 23:59:59");
    EXPECT_EQ(t.format("YYYY-MM-DD HH:NN:SS"), "2024-02-29 23:59:59");
    EXPECT_THROW_REASON(t = String("2023-02-29 23:59:59"), DateTimeException, 1);
    EXPECT_THROW_REASON(t = String("2024/02/28 23:59:59"), DateTimeException, 4);
    EXPECT_EQ(t.day(), 29);
}

TEST(DefaultFormats, DigitsWrittenOverTheFormatAsPrintfWritesThem) {
    const long years[] = {1790, 1999, 2000, 2024, 9999};
    const double seconds[] = {0.0, 9.5, 59.999};
    char expected[64];
    for (long year : years) {
        for (long month = 1; month <= 12; month += 11) {
            for (long hour = 0; hour < 24; hour += 7) {
                for (double second : seconds) {
                    const Timestamp t(year, month, 9, hour, 5, second);
                    std::snprintf(expected, sizeof expected, "%04ld-%02ld-09 %02ld:05:%02d", year, month,
                                  hour, static_cast<int>(second));
                    EXPECT_EQ(std::string(t.format("YYYY-MM-DD HH:NN:SS")), expected);
                    std::snprintf(expected, sizeof expected, "%02ld/%02ld|%02ld", year % 100, month, hour);
                    EXPECT_EQ(std::string(t.format("YY/MM|HH")), expected);
                    std::snprintf(expected, sizeof expected, "%02ld.%02d", hour % 12,
                                  static_cast<int>(second));
                    EXPECT_EQ(std::string(Time(t).format("hh.SS")), expected);
                }
            }
        }
    }
    // The empty timestamp, and fields that are not plain digits, take the general writer.
    EXPECT_EQ(std::string(Timestamp().format("YYYY-MM-DD HH:NN:SS")), "0000-00-00 00:00:00");
    EXPECT_EQ(std::string(Timestamp(2024, 3, 9, 7, 5, 9.25).format("YYYY-MM-D H:N:SSSSS")),
              "2024-03-9 7:5:09.25");
    EXPECT_THROW_REASON(Timestamp(2024, 3, 9, 7, 5, 9L).format("YYY-MM-DD"), DateTimeException, 5);
}
