#include "kel_test.h"

#include <kel/datetime.h>

#include <clocale>
#include <string>

using namespace Kel;

namespace {

struct Case {
    const char* format;
    const char* expected;
};

} // namespace

TEST(DateFormat, WritesEveryFieldWidthInPlace) {
    const Date d(2024, 3, 5);
    const Case cases[] = {
        {"YYYY-MM-DD", "2024-03-05"},
        {"DD/MM/YY", "05/03/24"},
        {"D.M.YYYY", "5.3.2024"},
        {"YYYY-DDD", "2024-065"},
        {"WW, DD MMMM YYYY", "Tuesday, 05 March 2024"},
        {"W MMM D", "Tue Mar 5"},
        {"MMMM DD, YYYY", "March 05, 2024"},
        {"yyyy", "yyyy"},
        {"HH:NN:SS PP", "HH:NN:SS PP"},
        {"no fields here", "no fields here"},
        {"", ""},
        // A letter anywhere in a field's extent belongs to the field.
        {"Y--Y", "2024"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(d.format(c.format), c.expected) << c.format;
    }
    EXPECT_EQ(Date(2024, 12, 25).format("M/D/YYYY"), "12/25/2024");
    EXPECT_EQ(Date(2000, 1, 1).format("YY"), "00");
    EXPECT_EQ(Date().format(GetFCCString(0)), "0000-00-00");
    EXPECT_TRUE(d.format(String()).isNull());
}

TEST(DateFormat, RejectsUnacceptedWidthsAndNamesOfUnsetFields) {
    const Date d(2024, 3, 5);
    for (const char* f : {"YYY", "Y", "YYYYY", "Day DD", "MMMMM", "DDDD", "WWW"}) {
        EXPECT_THROW_REASON(d.format(f), DateTimeException, 5);
    }
    EXPECT_THROW_REASON(Date().format("MMM"), DateTimeException, 1);
    EXPECT_THROW_REASON(Date().format("W"), DateTimeException, 1);
    // Texts are built year first: a bad year width wins over a bad month name wherever they stand.
    EXPECT_THROW_REASON(Date().format("MMM YYY"), DateTimeException, 5);
}

TEST(TimeFormat, WritesHoursMinutesSecondsAndMarkers) {
    const Time t(14, 5, 7.25);
    const Case cases[] = {
        {"HH:NN:SS", "14:05:07"}, {"HH:NN:SS.SS", "14:05:07.25"},
        {"H:N:S", "14:5:7"},      {"SS.S", "07.2"},
        {"SSSSSSSS", "07.25000"}, {"hh PP", "02 PM"},
        {"HH hh", "14 hh"},       {"YYYY", "YYYY"},
        {"hh.NN", "02.05"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(t.format(c.format), c.expected) << c.format;
    }
    EXPECT_EQ(Time(0, 30, 0L).format("hh:NN PP"), "00:30 AM");
    EXPECT_EQ(Time(12, 30, 0L).format("hh:NN P"), "00:30 P");
    EXPECT_EQ(Time(23, 0, 0L).format("h PP"), "11 PM");
    // Rounded as printf rounds, so whole seconds and decimals may disagree.
    EXPECT_EQ(Time(9, 0, 59.996).format("HH:NN:SS.SS"), "09:00:60.00");
    EXPECT_EQ(Time(9, 0, 59.996).format("HH:NN:SS"), "09:00:59");
    // Exact binary halves round to even on every platform.
    EXPECT_EQ(Time(0, 0, 7.125).format("SS.SS"), "07.12");
    EXPECT_EQ(Time(0, 0, 7.375).format("SS.SS"), "07.38");
    EXPECT_EQ(Time(0, 0, 0.25).format("SSSS"), "00.2");

    for (const char* f : {"HH:NN:SSS", "SSSSSSSSS", "HHH", "hhh", "NNN", "PPP"}) {
        EXPECT_THROW_REASON(t.format(f), DateTimeException, 5);
    }
}

TEST(TimeFormat, UsesAFullStopWhateverTheLocale) {
    const char* names[] = {"de_DE.UTF-8", "de_DE", "fr_FR.UTF-8", "German_Germany.1252", "German"};
    std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    const char* chosen = nullptr;
    for (const char* name : names) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            chosen = name;
            break;
        }
    }
    if (chosen == nullptr) {
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    const Time t(14, 5, 7.25);
    const std::string written(t.format("HH:NN:SS.SS"));
    const Time parsed(String("14:05:07.25"), "HH:NN:SS.SS");
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(written, "14:05:07.25") << chosen;
    EXPECT_DOUBLE_EQ(parsed.second(), 7.25) << chosen;
}

TEST(TimestampFormat, ReadsOnlyDateAndTimeLetters) {
    const Timestamp ts(2024, 12, 25, 8, 0, 30L);
    const Case cases[] = {
        {"YYYY-MM-DD HH:NN:SS", "2024-12-25 08:00:30"},
        {"DD.MM.YYYY HH:NN:SS", "25.12.2024 08:00:30"},
        {"YYYYMMDDHHNNSS", "20241225080030"},
        {"DD MMM YYYY, HH:NN", "25 Dec 2024, 08:00"},
        {"W hh PP", "W hh PP"},
        {"DDD SS.SSS", "360 30.000"},
        {"YY/MM/DD HH", "24/12/25 08"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ts.format(c.format), c.expected) << c.format;
    }
    EXPECT_EQ(Timestamp().format("YYYY-MM-DD"), "0000-00-00");
    EXPECT_THROW_REASON(Timestamp().format("MMM"), DateTimeException, 1);
    EXPECT_THROW_REASON(ts.format("YYYY SSS"), DateTimeException, 5);
}

TEST(FormatOverlap, TheFieldThatStartsFirstIsWritten) {
    // Left to the library: no crash, and every character stays accounted for.
    EXPECT_EQ(Date(2024, 3, 5).format("MDM"), "Mar");
    EXPECT_EQ(Date(2024, 3, 5).format("DMDM"), "065M");
}

TEST(Defaults, FormatsAndNumbersByIndex) {
    EXPECT_EQ(GetFCCString(0), "YYYY-MM-DD");
    EXPECT_EQ(GetFCCString(1), "HH:NN:SS");
    EXPECT_EQ(GetFCCString(2), "YYYY-MM-DD HH:NN:SS");
    EXPECT_EQ(GetFCCLong(0), 0);
    EXPECT_EQ(GetFCCLong(1), 1);
    EXPECT_EQ(GetFCCLong(2), 1940);
    for (long bad : {3L, -1L, 100L}) {
        try {
            GetFCCLong(bad);
            ADD_FAILURE() << "GetFCCLong(" << bad << ") did not throw";
        } catch (const DateTimeException&) {
            ADD_FAILURE() << "a DateTimeException instead of a plain Exception";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.name(), "Index out of range");
            EXPECT_EQ(e.reason(), 0);
        }
        EXPECT_THROW_REASON(GetFCCString(bad), Exception, 0);
    }
    // A copy: changing it leaves the default alone.
    String copy = GetFCCString(0);
    copy += "x";
    EXPECT_EQ(GetFCCString(0), "YYYY-MM-DD");
}
