#include "kel_test.h"

#include <kel/foundation.h>
#include <kel/string.h>

#include <cstring>
#include <sstream>

using namespace Kel;

TEST(Identity, FunctionsAnswerWithStablePointers) {
    EXPECT_STREQ(product(), "Corvane Foundation Classes");
    EXPECT_STREQ(version(), "3, 0, 0, 0");
    EXPECT_EQ(product(), product());
    EXPECT_EQ(version(), version());

    // Two lines, each ended by a newline.
    const char* notice = copyright();
    const char* firstEnd = std::strchr(notice, '\n');
    ASSERT_NE(firstEnd, nullptr);
    const char* secondEnd = std::strchr(firstEnd + 1, '\n');
    ASSERT_NE(secondEnd, nullptr);
    EXPECT_EQ(secondEnd[1], '\0');
}

TEST(DumpAll, WritesOnlyTheNotice) {
    String someObject("exists");
    std::ostringstream os;
    KELBase::initialize();
    KELBase::initialize();
    KELBase::dumpAll(os);
    EXPECT_EQ(os.str(), "Leak tracking disabled. Try Adding -DTRACK_LEAKS to the compiler command line\n");
    EXPECT_EQ(os.str().size(), 78u);
}

TEST(KELDump, DumpsTheObjectItPointsToAndNothingWithoutOne) {
    String text("abc");
    std::ostringstream os;
    KELDump entry(&text);
    KELDump copy;
    copy = entry;
    copy.dump(os);
    EXPECT_EQ(os.str(), "@ class Kel::String\nabc\n");

    std::ostringstream empty;
    KELDump().dump(empty);
    EXPECT_EQ(empty.str(), "");
}
