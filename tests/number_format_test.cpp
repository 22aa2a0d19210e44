#include "report/text/number_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace rs {
namespace {

struct FormatCase {
    double value;
    const char* scientific;
};

TEST(FormatScientific2, WritesThreeExponentDigits) {
    const FormatCase cases[] = {
        {0.1, "1.00e-001"},
        {0.02, "2.00e-002"},
        {1.0, "1.00e+000"},
        {0.0, "0.00e+000"},
        {3.0 / 223000.0, "1.35e-005"},
        {1.35e-5, "1.35e-005"},
        {123456.0, "1.23e+005"},
        {9.995e-3, "1.00e-002"},  // rounds up into the next decade
        {9.9996e2, "1.00e+003"},
        {0.0099949, "9.99e-003"},
        {-0.5, "-5.00e-001"},
        {-2.5e-12, "-2.50e-012"},
        {1e100, "1.00e+100"},
        {1e-300, "1.00e-300"},
        {std::numeric_limits<double>::infinity(), "inf"},
    };
    for (const FormatCase& c : cases) {
        EXPECT_EQ(FormatScientific2(c.value), c.scientific) << c.value;
    }
}

TEST(FormatScientific2, WritesEveryNaNAsPlainNan) {
    const double quiet = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(FormatScientific2(quiet), "nan");
    EXPECT_EQ(FormatScientific2(-quiet), "nan");
    volatile double zero = 0.0;
    EXPECT_EQ(FormatScientific2(zero / zero), "nan");
}

TEST(FormatFixed2, RoundsToTwoDecimalsAndWritesNaNPlainly) {
    EXPECT_EQ(FormatFixed2(0.87443946188340804), "0.87");
    EXPECT_EQ(FormatFixed2(111.5), "111.50");
    EXPECT_EQ(FormatFixed2(0.0), "0.00");
    EXPECT_EQ(FormatFixed2(1.0), "1.00");
    EXPECT_EQ(FormatFixed2(-std::numeric_limits<double>::quiet_NaN()), "nan");
}

// A value in a message reads back as the value the program holds.
TEST(FormatFloat, GivesEnoughDigitsToReadBackTheSameFloat) {
    for (const float value : {0.07F, 1.2F, 1.0000001F, 1e-40F, 0.0F, -0.3F, 3.4e38F}) {
        EXPECT_EQ(std::strtof(FormatFloat(value).c_str(), nullptr), value) << FormatFloat(value);
    }
    EXPECT_EQ(FormatFloat(0.07F), "0.07");
}

}  // namespace
}  // namespace rs
