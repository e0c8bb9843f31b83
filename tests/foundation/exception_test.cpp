#include "kel_test.h"

#include <kel/foundation.h>
#include <kel/string.h>

#include <string>

using namespace Kel;

namespace {
// Exception's constructor is protected; a subclass with a caller-chosen name reaches it.
struct NamedException : Exception {
    NamedException(const char* name, long reason) : Exception(name, reason) {}
};
} // namespace

TEST(Exception, NameOfSixtyThreeCharactersIsKeptWhole) {
    const std::string name(63, 'n');
    NamedException e(name.c_str(), 7);
    EXPECT_EQ(std::string(e.name()), name);
    EXPECT_EQ(e.reason(), 7);
}

TEST(Exception, NameOfSixtyFourCharactersThrowsPlainException) {
    const std::string name(64, 'n');
    try {
        NamedException e(name.c_str(), 7);
        FAIL() << "no exception";
    } catch (const NamedException&) {
        FAIL() << "the over-long exception itself was built";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.name(), "Exception Name Length Exceeded");
        EXPECT_EQ(e.reason(), 0);
    }
}

TEST(Exception, SubclassesCarryTheirOwnNameAndAreCaughtAsException) {
    const struct {
        Exception thrown;
        const char* name;
    } table[] = {
        {CollectionException(1), "CollectionException"}, {DateTimeException(2), "DateTimeException"},
        {DBPoolException(1), "DBPoolException"},         {SocketException(10061), "SocketException"},
        {StringException(17), "StringException"},        {XMLException(203), "XMLException"},
        {DatabaseException("x"), "DatabaseException"},
    };
    for (const auto& row : table)
        EXPECT_STREQ(row.thrown.name(), row.name);

    try {
        throw StringException(17);
    } catch (const Exception& e) {
        EXPECT_STREQ(e.name(), "StringException");
        EXPECT_EQ(e.reason(), 17);
    }
}

TEST(Exception, AssignmentCopiesNameAndReasonAndLeavesSourceAlone) {
    StringException source(3);
    Exception target = CollectionException(1);
    target = source;
    EXPECT_STREQ(target.name(), "StringException");
    EXPECT_EQ(target.reason(), 3);
    EXPECT_STREQ(source.name(), "StringException");
}

TEST(DatabaseException, ReasonIsMinusOneAndMessageTravelsWithCopies) {
    DatabaseException e("[driver] table missing");
    EXPECT_EQ(e.reason(), -1);
    DatabaseException copy(e);
    EXPECT_STREQ(copy.message(), "[driver] table missing");
    DatabaseException assigned(nullptr);
    EXPECT_TRUE(assigned.message().isNull());
    assigned = e;
    EXPECT_STREQ(assigned.message(), "[driver] table missing");
    EXPECT_STREQ(assigned.name(), "DatabaseException");
}
