#include "kel_test.h"

#include <kel/foundation.h>
#include <kel/kel.h>
#include <kel/string.h>

#include <algorithm>
#include <exception>
#include <sstream>
#include <string>

using namespace Kel;

static_assert(KEL_VERSION_NUMBER == KEL_VERSION_MAJOR * 10000 + KEL_VERSION_MINOR * 100 + KEL_VERSION_PATCH,
              "the combined number");

namespace {
// Exception's constructor is protected; a subclass with a caller-chosen name reaches it.
struct NamedException : Exception {
    NamedException(const char* name, long reason) : Exception(name, reason) {}
};
} // namespace

TEST(Identity, FunctionsAnswerWithStablePointersAndTheHeaderMatches) {
    EXPECT_STREQ(product(), "Corvane Foundation Classes");
    EXPECT_STREQ(version(), "3, 0, 0, 0");
    EXPECT_TRUE(product() == product() && version() == version());
    EXPECT_EQ(std::to_string(KEL_VERSION_MAJOR) + ", " + std::to_string(KEL_VERSION_MINOR) + ", " +
                  std::to_string(KEL_VERSION_PATCH) + ", 0",
              version());
    EXPECT_STREQ(KEL_VERSION_STRING, "3.0.0");
    EXPECT_EQ(KEL_VERSION_NUMBER, 30000);
    // Two lines, each ended by a newline.
    const std::string notice = copyright();
    EXPECT_EQ(std::count(notice.begin(), notice.end(), '\n'), 2);
    EXPECT_EQ(notice.back(), '\n');
}

TEST(Dump, DumpAllWritesOnlyTheNoticeAndKELDumpTheObjectItPointsTo) {
    String text("abc");
    std::ostringstream os;
    KELBase::initialize();
    KELBase::initialize();
    KELBase::dumpAll(os);
    EXPECT_EQ(os.str(), "Leak tracking disabled. Try Adding -DTRACK_LEAKS to the compiler command line\n");

    std::ostringstream dumped;
    KELDump entry(&text);
    KELDump copy;
    copy = entry;
    copy.dump(dumped);
    KELDump().dump(dumped);
    EXPECT_EQ(dumped.str(), "@ class Kel::String\nabc\n");
}

TEST(Exception, NameOfSixtyFourCharactersThrowsPlainExceptionAndSixtyThreeAreKept) {
    const std::string name(63, 'n');
    NamedException kept(name.c_str(), 7);
    EXPECT_EQ(std::string(kept.name()), name);
    EXPECT_EQ(kept.reason(), 7);
    try {
        NamedException e((name + "n").c_str(), 7);
        FAIL() << "no exception";
    } catch (const NamedException&) {
        FAIL() << "the over-long exception itself was built";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.name(), "Exception Name Length Exceeded");
        EXPECT_EQ(e.reason(), 0);
    }
}

TEST(Exception, CopiesTakeNameReasonAndMessage) {
    StringException source(3);
    Exception target = CollectionException(1);
    target = source;
    EXPECT_STREQ(target.name(), "StringException");
    EXPECT_EQ(target.reason(), 3);

    DatabaseException e("[driver] table missing");
    DatabaseException copy(e);
    EXPECT_STREQ(copy.message(), "[driver] table missing");
    DatabaseException assigned(nullptr);
    EXPECT_TRUE(assigned.message().isNull());
    assigned = e;
    EXPECT_STREQ(assigned.message(), "[driver] table missing");
}

// Each subclass writes its own name first; a long detail is cut, its message kept whole.
TEST(ExceptionWhat, NameReasonMeaningAndDetailInOneLineCutWhenLongAndKeptByCopies) {
    const std::pair<Exception, const char*> table[] = {
        {StringException(3), "StringException 3: index out of range"},
        {CollectionException(1, "job"), "CollectionException 1: element already held by a collection: job"},
        {XMLException(203, "line 2"), "XMLException 203: text does not begin a node: line 2"},
        {XMLException(105, 3, 7, 41),
         "XMLException 105: entity expansion past its limits: line 3, column 7, offset 41"},
        {SocketException(10061), "SocketException 10061: ECONNREFUSED"},
        {SocketException(-1), "SocketException -1"},
        {DateTimeException(77), "DateTimeException 77"},
        {DatabaseException("[driver] no table"),
         "DatabaseException -1: database operation failed: [driver] no table"},
        {DatabaseException(nullptr), "DatabaseException -1: database operation failed"},
        {DBPoolException(1), "DBPoolException 1: no connection to lend"},
    };
    for (const auto& [thrown, what] : table) {
        EXPECT_STREQ(thrown.what(), what);
    }
    EXPECT_STREQ(StringException(1).detail(), "");

    try {
        throw XMLException(403, "/etc/missing.xml: No such file or directory");
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(),
                     "XMLException 403: file cannot be read: /etc/missing.xml: No such file or directory");
        const auto* kel = dynamic_cast<const Exception*>(&e);
        ASSERT_NE(kel, nullptr);
        Exception copy = *kel;
        EXPECT_STREQ(copy.detail(), "/etc/missing.xml: No such file or directory");
        EXPECT_STREQ(copy.what(), e.what());
    }

    const std::string detail(1000, 'd');
    DatabaseException e(detail.c_str());
    const std::string what = e.what();
    EXPECT_LT(what.size(), 320u);
    EXPECT_EQ(what.substr(what.size() - 4), "d...");
    EXPECT_EQ(std::string(e.detail()), what.substr(what.find(": dd") + 2));
    EXPECT_EQ(e.message().length(), 1000ul); // the message itself stays whole
}
