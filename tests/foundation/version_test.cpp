#include "kel_test.h"

#include <kel/kel.h>

#include <string>

static_assert(KEL_VERSION_NUMBER == KEL_VERSION_MAJOR * 10000 + KEL_VERSION_MINOR * 100 + KEL_VERSION_PATCH,
              "the combined number");

TEST(Version, HeaderMatchesTheLibrary) {
    const std::string expected = std::to_string(KEL_VERSION_MAJOR) + ", " +
                                 std::to_string(KEL_VERSION_MINOR) + ", " +
                                 std::to_string(KEL_VERSION_PATCH) + ", 0";
    EXPECT_EQ(expected, Kel::version());
    EXPECT_EQ(std::string(KEL_VERSION_STRING), "3.0.0");
    EXPECT_EQ(KEL_VERSION_NUMBER, 30000);
}
