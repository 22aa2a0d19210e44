#include "cli/experiment_file/parameter_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include "test_support.h"

namespace rs {
namespace {

const SimulationParameters kCanonical{0.1F, 0.01F, 0.01F, 1000, 100, 8, 16};
const char* const kCanonicalText =
    "Pmax=0.1\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=8\nT=16\n";

struct AcceptedCase {
    const char* name;
    const char* text;
    SimulationParameters expected;
};

TEST(ParseParameters, AcceptsEveryVariationOfTheFormat) {
    const AcceptedCase cases[] = {
        {"canonical", kCanonicalText, kCanonical},
        {"blanks and tabs after the equals sign",
         "Pmax= 0.1\nPmin=\t0.01\nPstep=  \t 0.01\nmaxBlocks= 1000\nmaxErrorBlocks=\t100\nM= 8\n"
         "T= 16\n",
         kCanonical},
        {"remarks after the numbers",
         "Pmax=0.1 first point\nPmin=0.01 last\nPstep=0.01;step\nmaxBlocks=1000 blocks\n"
         "maxErrorBlocks=100 wrong blocks\nM=8 GF(256)\nT=16\n",
         kCanonical},
        {"byte-order mark before the first key, with CR-LF line ends",
         "\xEF\xBB\xBF"
         "Pmax=0.1\r\nPmin=0.01\r\nPstep=0.01\r\nmaxBlocks=1000\r\nmaxErrorBlocks=100\r\nM=8\r\n"
         "T=16\r\n",
         kCanonical},
        {"remarks after a blank, even with a multiplier letter or a sign",
         "Pmax=0.1 # top\nPmin=0.01\tk\nPstep=0.01 -1\nmaxBlocks=1000 blocks\n"
         "maxErrorBlocks=100 M\nM=8\nT=16 bits\n",
         kCanonical},
        {"zeros however written and the smallest single-precision number",
         "Pmax=0.0e-99\nPmin=-.000E7\nPstep=1e-45\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=8\nT=16\n",
         {0.0F, 0.0F, std::numeric_limits<float>::denorm_min(), 1000, 100, 8, 16}},
        {"CR-LF line ends",
         "Pmax=0.1\r\nPmin=0.01\r\nPstep=0.01\r\nmaxBlocks=1000\r\nmaxErrorBlocks=100\r\nM=8\r\n"
         "T=16\r\n",
         kCanonical},
        {"last line without newline",
         "Pmax=0.1\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=8\nT=16",
         kCanonical},
        {"nothing after the last number is read but the character that ends it",
         "Pmax=0.1\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=8\n"
         "T=16garbage\nmore lines\n\x01\x02",
         kCanonical},
        {"exponents and signs",
         "Pmax=1e-1\nPmin=1.0E-2\nPstep=+10e-3\nmaxBlocks=+1000\nmaxErrorBlocks=100\nM=8\nT=16\n",
         kCanonical},
        {"numbers without leading or trailing digits",
         "Pmax=.5\nPmin=5.\nPstep=-.25\nmaxBlocks=-5\nmaxErrorBlocks=0\nM=-1\nT=-2\n",
         {0.5F, 5.0F, -0.25F, -5, 0, -1, -2}},
        {"text glued to a number that cannot continue it",
         "Pmax=0.1abc\nPmin=0.01%\nPstep=0.01/2\nmaxBlocks=1000blocks\nmaxErrorBlocks=100-\n"
         "M=8+\nT=16)\n",
         kCanonical},
        {"32-bit integer limits",
         "Pmax=0\nPmin=0\nPstep=0\nmaxBlocks=2147483647\nmaxErrorBlocks=-2147483648\nM=0\nT=0\n",
         {0.0F, 0.0F, 0.0F, 2147483647, -2147483647 - 1, 0, 0}},
        {"single-precision rounding of the floats",
         "Pmax=0.03\nPmin=0.02\nPstep=0.005\nmaxBlocks=1\nmaxErrorBlocks=1\nM=4\nT=2\n",
         {0.03F, 0.02F, 0.005F, 1, 1, 4, 2}},
    };
    for (const AcceptedCase& c : cases) {
        const ParameterResult result = ParseParameters(c.text);
        ASSERT_TRUE(result.parameters.has_value()) << c.name << ": " << result.error;
        EXPECT_EQ(*result.parameters, c.expected) << c.name;
        EXPECT_TRUE(result.error.empty()) << c.name;
    }
}

struct RejectedCase {
    const char* name;
    const char* text;
    const char* error;
};

TEST(ParseParameters, RejectsFilesTheRunCannotTrust) {
    const RejectedCase cases[] = {
        {"empty file", "", "line 1: expected \"Pmax=\" and a number, but the file ends"},
        {"misspelled key",
         "Pmax=0.1\nPmin=0.01\nPStep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=8\nT=16\n",
         "line 3: expected \"Pstep=\" at the start of the line"},
        {"blank before a key",
         "Pmax=0.1\n Pmin=0.01\nPstep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=8\nT=16\n",
         "line 2: expected \"Pmin=\" at the start of the line"},
        {"blank between key and equals sign",
         "Pmax =0.1\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=8\nT=16\n",
         "line 1: expected \"Pmax=\" at the start of the line"},
        {"lines out of order",
         "Pmin=0.01\nPmax=0.1\nPstep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=8\nT=16\n",
         "line 1: expected \"Pmax=\" at the start of the line"},
        {"comment line before the keys",
         "# experiment\nPmax=0.1\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=100\n"
         "M=8\nT=16\n",
         "line 1: expected \"Pmax=\" at the start of the line"},
        {"key without a number",
         "Pmax=0.1\nPmin=0.01\nPstep=0.01\nmaxBlocks=many\nmaxErrorBlocks=100\nM=8\nT=16\n",
         "line 4: expected a number after \"maxBlocks=\""},
        {"empty value",
         "Pmax=0.1\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=\nT=16\n",
         "line 6: expected a number after \"M=\""},
        {"float spelled as a word",
         "Pmax=inf\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=8\nT=16\n",
         "line 1: expected a number after \"Pmax=\""},
        {"not a number",
         "Pmax=0.1\nPmin=nan\nPstep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=8\nT=16\n",
         "line 2: expected a number after \"Pmin=\""},
        {"float beyond single precision",
         "Pmax=1e39\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=8\nT=16\n",
         "line 1: Pmax=1e39 is beyond the range of a single-precision number"},
        {"float that single precision would hold as 0",
         "Pmax=0.1\nPmin=0.01\nPstep=1e-46\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=8\nT=16\n",
         "line 3: Pstep=1e-46 is too close to 0 for a single-precision number, which would hold 0"},
        {"integer above 32 bits",
         "Pmax=0.1\nPmin=0.01\nPstep=0.01\nmaxBlocks=2147483648\nmaxErrorBlocks=100\nM=8\n"
         "T=16\n",
         "line 4: maxBlocks=2147483648 does not fit a 32-bit integer"},
        {"integer below 32 bits",
         "Pmax=0.1\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=-2147483649\nM=8\n"
         "T=16\n",
         "line 5: maxErrorBlocks=-2147483649 does not fit a 32-bit integer"},
        {"line 6 without its newline",
         "Pmax=0.1\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=8",
         "line 6: the file ends before the newline that ends this line"},
        {"remark on line 6 without newline",
         "Pmax=0.1\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=8 bits",
         "line 6: the file ends before the newline that ends this line"},
        {"fewer than six lines", "Pmax=0.1\nPmin=0.01\nPstep=0.01\n",
         "line 4: expected \"maxBlocks=\" and a number, but the file ends"},
        {"missing line 7",
         "Pmax=0.1\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=8\n",
         "line 7: expected \"T=\" and a number, but the file ends"},
        {"line 7 without a number",
         "Pmax=0.1\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=8\nT=",
         "line 7: expected a number after \"T=\""},
        {"wrong key on line 7",
         "Pmax=0.1\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=8\nt=16\n",
         "line 7: expected \"T=\" at the start of the line"},
        {"blank line between keys",
         "Pmax=0.1\n\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\nmaxErrorBlocks=100\nM=8\nT=16\n",
         "line 2: expected \"Pmin=\" at the start of the line"},
    };
    for (const RejectedCase& c : cases) {
        const ParameterResult result = ParseParameters(c.text);
        EXPECT_FALSE(result.parameters.has_value()) << c.name;
        EXPECT_EQ(result.error, c.error) << c.name;
    }
}

// A number followed by what would continue it in another notation, directly or after a blank
// for digits, is refused rather than cut short.
TEST(ParseParameters, RefusesNumbersGluedToTheirContinuation) {
    const std::string head = "Pmax=0.1\nPmin=0.01\nPstep=0.01\n";
    const std::string tail = "maxErrorBlocks=100\nM=8\nT=16\n";
    const char* const integer = ": an integer is written in plain decimal digits";
    const char* const real =
        ": a number is written with a decimal point and, if any, an exponent with digits";
    struct Case {
        std::string text;
        std::string error;
    };
    const Case cases[] = {
        {head + "maxBlocks=1e5\n" + tail,
         "line 4: maxBlocks=1 runs on into \"e\"" + std::string(integer)},
        {head + "maxBlocks=1000\nmaxErrorBlocks=0x10\nM=8\nT=16\n",
         "line 5: maxErrorBlocks=0 runs on into \"x\"" + std::string(integer)},
        {head + "maxBlocks=1000\n" + "maxErrorBlocks=100\nM=8.5\nT=16\n",
         "line 6: M=8 runs on into \".\"" + std::string(integer)},
        {head + "maxBlocks=1000\n" + "maxErrorBlocks=100\nM=8\nT=16.0",
         "line 7: T=16 runs on into \".\"" + std::string(integer)},
        {"Pmax=0,07\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\n" + tail,
         "line 1: Pmax=0 runs on into \",\"" + std::string(real)},
        {"Pmax=1.5.3\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\n" + tail,
         "line 1: Pmax=1.5 runs on into \".\"" + std::string(real)},
        {"Pmax=2e\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\n" + tail,
         "line 1: Pmax=2 runs on into \"e\"" + std::string(real)},
        {"Pmax=0.1\nPmin=3E+\nPstep=0.01\nmaxBlocks=1000\n" + tail,
         "line 2: Pmin=3 runs on into \"E\"" + std::string(real)},
        {"Pmax=0.1\nPmin=0.01\nPstep=1e-3x\nmaxBlocks=1000\n" + tail,
         "line 3: Pstep=1e-3 runs on into \"x\"" + std::string(real)},
        {head + "maxBlocks=10_000\n" + tail,
         "line 4: maxBlocks=10 runs on into \"_\"" + std::string(integer)},
        {head + "maxBlocks=1M\n" + tail,
         "line 4: maxBlocks=1 runs on into \"M\"" + std::string(integer)},
        {head + "maxBlocks=1000k blocks\n" + tail,
         "line 4: maxBlocks=1000 runs on into \"k\"" + std::string(integer)},
        {head + "maxBlocks=1000\nmaxErrorBlocks=100\nM=8\nT=1K",
         "line 7: T=1 runs on into \"K\"" + std::string(integer)},
        {"Pmax=0.1\nPmin=3µ\nPstep=5m\nmaxBlocks=1000\n" + tail,
         "line 2: Pmin=3 runs on into \"µ\"" + std::string(real)},
        {"Pmax=0.1\nPmin=0.01\nPstep=5m\nmaxBlocks=1000\n" + tail,
         "line 3: Pstep=5 runs on into \"m\"" + std::string(real)},
        {head + "maxBlocks=10 000 000\n" + tail,
         "line 4: maxBlocks=10 runs on into a blank and \"000\"" + std::string(integer)},
        {"Pmax=0.07 \t5\nPmin=0.01\nPstep=0.01\nmaxBlocks=1000\n" + tail,
         "line 1: Pmax=0.07 runs on into a blank and \"5\"" + std::string(real)},
        {head + "maxBlocks=1000\nmaxErrorBlocks=100\nM=8\nT=16 0",
         "line 7: T=16 runs on into a blank and \"0\"" + std::string(integer)},
    };
    for (const Case& c : cases) {
        const ParameterResult result = ParseParameters(c.text);
        EXPECT_FALSE(result.parameters.has_value()) << c.text;
        EXPECT_EQ(result.error, c.error);
    }
}

// The file's lines given as options follow the file's rules for their numbers, with nothing
// after them; counts take 64 bits where the file takes 32.
TEST(ParseOptions, ReadValuesByTheFilesRules) {
    const char* const integer = ": an integer is written in plain decimal digits";
    const char* const real =
        ": a number is written with a decimal point and, if any, an exponent with digits";
    struct Case {
        const char* text;
        bool wide;  // a count, else M or T
        std::int64_t value;
        std::string error;
    };
    const Case cases[] = {
        {"5000000000", true, 5000000000, ""},
        {"9223372036854775807", true, std::numeric_limits<std::int64_t>::max(), ""},
        {"-3", true, -3, ""},
        {"+16", false, 16, ""},
        {"9223372036854775808", true, 0, "N=9223372036854775808 does not fit a 64-bit integer"},
        {"2147483648", false, 0, "N=2147483648 does not fit a 32-bit integer"},
        {"5e9", true, 0, "N=5 runs on into \"e\"" + std::string(integer)},
        {"10 000", true, 0, "N=10 runs on into a blank and \"000\"" + std::string(integer)},
        {"100blocks", true, 0, "N=100blocks is not a number alone"},
        {"", true, 0, "expected a number after \"N=\""},
    };
    for (const Case& c : cases) {
        std::int64_t wide = 0;
        std::int32_t narrow = 0;
        const std::string error = c.wide ? ParseIntegerOption(c.text, "N", wide)
                                         : ParseIntegerOption(c.text, "N", narrow);
        EXPECT_EQ(error, c.error) << c.text;
        EXPECT_EQ(c.wide ? wide : narrow, c.value) << c.text;
    }
    struct SweepCase {
        const char* text;
        std::string error;
    };
    const SweepCase sweeps[] = {
        {"0.1:0.01:0.01", ""},
        {"-1e-3:2:0.5", ""},
        {"0.1:0.01", "\"0.1:0.01\" is not PMAX:PMIN:PSTEP, three numbers"},
        {"0.1:0.01:0.01:1", "\"0.1:0.01:0.01:1\" is not PMAX:PMIN:PSTEP, three numbers"},
        {"0.1:1e99:0.01", "Pmin=1e99 is beyond the range of a single-precision number"},
        {"0.1:0.01:1e-50",
         "Pstep=1e-50 is too close to 0 for a single-precision number, which would hold 0"},
        {"0.1#:0.01:0.01", "Pmax=0.1# is not a number alone"},
        {"0.1:0.01x:0.01", "Pmin=0.01 runs on into \"x\"" + std::string(real)},
    };
    for (const SweepCase& c : sweeps) {
        SimulationParameters lines;
        EXPECT_EQ(ParseSweepOption(c.text, lines), c.error) << c.text;
    }
    SimulationParameters lines;
    ASSERT_EQ(ParseSweepOption("0.3:0.05:0.05", lines), "");
    EXPECT_EQ(lines.Pmax, 0.3F);
    EXPECT_EQ(lines.Pmin, 0.05F);
    EXPECT_EQ(lines.Pstep, 0.05F);
}

class ReadParametersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory = testing::FreshTempFolder(
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    std::filesystem::path directory;
};

TEST_F(ReadParametersTest, ReadsTheFileAndNamesItInErrors) {
    const auto path = directory / "param.dat";
    std::ofstream(path, std::ios::binary) << kCanonicalText;
    const ParameterResult good = ReadParameters(path, "param.dat");
    ASSERT_TRUE(good.parameters.has_value()) << good.error;
    EXPECT_EQ(*good.parameters, kCanonical);

    std::ofstream(path, std::ios::binary) << "Pmax=0.1\nPmin=0.01\n";
    EXPECT_EQ(ReadParameters(path, "param.dat").error,
              "param.dat: line 3: expected \"Pstep=\" and a number, but the file ends");
}

TEST_F(ReadParametersTest, ReportsAMissingOrUnreadableFile) {
    EXPECT_EQ(ReadParameters(directory / "param.dat", "param.dat").error,
              "param.dat: cannot open: No such file or directory");
    std::filesystem::create_directory(directory / "param.dat");
    EXPECT_EQ(ReadParameters(directory / "param.dat", "param.dat").error,
              "param.dat: is not a regular file or a pipe");
    // A device would never end.
    EXPECT_EQ(ReadParameters("/dev/zero", "/dev/zero").error,
              "/dev/zero: is not a regular file or a pipe");
}

TEST_F(ReadParametersTest, ReadsNoMoreThanTheCap) {
    // A valid file whose first remark brings it just to the cap, or one byte past it.
    const auto path = directory / "large.dat";
    const std::string canonical = kCanonicalText;
    for (const std::size_t size : {kMaxParameterFileBytes, kMaxParameterFileBytes + 1}) {
        std::string text = canonical;
        text.insert(text.find('\n'), size - canonical.size(), ' ');
        std::ofstream(path, std::ios::binary) << text;
        const ParameterResult result = ReadParameters(path, "large.dat");
        if (size == kMaxParameterFileBytes) {
            EXPECT_TRUE(result.parameters.has_value()) << result.error;
        } else {
            EXPECT_EQ(result.error,
                      "large.dat: is larger than 1 MiB, far more than an "
                      "experiment file's seven lines");
        }
    }
}

}  // namespace
}  // namespace rs
