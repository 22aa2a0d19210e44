#include "codec/reed_solomon_codec.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <random>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "codec_test_support.h"

namespace rs {
namespace {

using testing::CodeCase;
using testing::CodeName;
using testing::EncodeToVector;
using testing::RandomInfo;
using testing::ToVector;

std::vector<Symbol> Iota(int count, Symbol first) {
    std::vector<Symbol> v(static_cast<std::size_t>(count));
    for (Symbol& s : v) {
        s = first++;
    }
    return v;
}

// --- Known codes ---------------------------------------------------------------------------------

struct KnownCode {
    int m;
    int t;
    int n;
    int k;
    double rate;
    std::vector<Symbol> generatorHead;  // the first coefficients, from x^0 up
    std::vector<Symbol> generatorTail;  // the last coefficients, ending with x^2t
    std::vector<Symbol> info;           // empty: no encoder example
    std::vector<Symbol> codeword;
};

void PrintTo(const KnownCode& c, std::ostream* os) {
    *os << "(m = " << c.m << ", t = " << c.t << ")";
}

class KnownCodes : public ::testing::TestWithParam<KnownCode> {};

TEST_P(KnownCodes, GeneratorLengthsRateAndExampleCodeword) {
    const KnownCode& c = GetParam();
    ReedSolomonCodec codec;
    codec.Configure(c.m, c.t);
    ASSERT_TRUE(codec.IsReady());
    EXPECT_EQ(codec.GetN(), c.n);
    EXPECT_EQ(codec.GetK(), c.k);
    EXPECT_EQ(codec.GetT(), c.t);
    EXPECT_NEAR(codec.GetRate(), c.rate, 1e-6);

    const std::vector<Symbol> generator = ToVector(codec.Generator());
    ASSERT_EQ(generator.size(), static_cast<std::size_t>(2 * c.t + 1));
    ASSERT_LE(c.generatorHead.size(), generator.size());
    ASSERT_LE(c.generatorTail.size(), generator.size());
    EXPECT_EQ(std::vector<Symbol>(
                  generator.begin(),
                  generator.begin() + static_cast<std::ptrdiff_t>(c.generatorHead.size())),
              c.generatorHead);
    EXPECT_EQ(
        std::vector<Symbol>(generator.end() - static_cast<std::ptrdiff_t>(c.generatorTail.size()),
                            generator.end()),
        c.generatorTail);

    if (!c.info.empty()) {
        EXPECT_EQ(EncodeToVector(codec, c.info), c.codeword);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Examples, KnownCodes,
    ::testing::Values(
        // GF(8) from x^3 + x + 1: g(x) = x^2 + 6x + 3.
        KnownCode{3, 1, 7, 5, 5.0 / 7.0, {3, 6, 1}, {}, {1, 2, 3, 4, 5}, {6, 4, 1, 2, 3, 4, 5}},
        // GF(16) from x^4 + x + 1.
        KnownCode{4,
                  2,
                  15,
                  11,
                  11.0 / 15.0,
                  {7, 8, 12, 13, 1},
                  {},
                  Iota(11, 1),
                  {8, 4, 6, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        // The CCSDS-sized code over GF(256) from x^8 + x^4 + x^3 + x^2 + 1.
        KnownCode{8, 16, 255, 223, 223.0 / 255.0, {45, 216, 239, 24}, {29, 232, 1}, {}, {}},
        // The smallest code with t >= 1: a repetition code, g(x) = x^2 + x + 1.
        KnownCode{2, 1, 3, 1, 1.0 / 3.0, {1, 1, 1}, {}, {2}, {2, 2, 2}},
        // k = 1.
        KnownCode{3, 3, 7, 1, 1.0 / 7.0, {}, {1}, {}, {}},
        // Uncoded: g(x) = 1, the codeword is the information itself.
        KnownCode{4, 0, 15, 15, 1.0, {1}, {1}, Iota(15, 1), Iota(15, 1)}),
    [](const ::testing::TestParamInfo<KnownCode>& info) {
        return std::string("m")
            .append(std::to_string(info.param.m))
            .append("t")
            .append(std::to_string(info.param.t));
    });

TEST(ReedSolomonEncoder, RepetitionCodeRepeatsEverySymbol) {
    ReedSolomonCodec codec;
    codec.Configure(2, 1);
    ASSERT_TRUE(codec.IsReady());
    for (Symbol s = 0; s <= 3; ++s) {
        EXPECT_EQ(EncodeToVector(codec, {s}), (std::vector<Symbol>{s, s, s}));
    }
}

TEST(ReedSolomonEncoder, UncodedCopiesRandomInformation) {
    std::mt19937 rng(31);
    ReedSolomonCodec codec;
    codec.Configure(5, 0);
    ASSERT_TRUE(codec.IsReady());
    ASSERT_EQ(codec.GetK(), 31);
    for (int word = 0; word < 10; ++word) {
        const std::vector<Symbol> info = RandomInfo(rng, codec);
        EXPECT_EQ(EncodeToVector(codec, info), info);
    }
}

// --- Properties over many codes ------------------------------------------------------------------

class EveryCode : public ::testing::TestWithParam<CodeCase> {};

// g(x) is monic of degree 2t and vanishes at alpha^1..alpha^2t; with 2t distinct roots that
// pins it down as (x + alpha^1)...(x + alpha^2t).
TEST_P(EveryCode, GeneratorHasRootsAlphaOneToTwoT) {
    const CodeCase& c = GetParam();
    ReedSolomonCodec codec;
    codec.Configure(c.m, c.t);
    ASSERT_TRUE(codec.IsReady());
    const GaloisField& field = codec.Field();
    const std::vector<Symbol> generator = ToVector(codec.Generator());
    ASSERT_EQ(generator.size(), static_cast<std::size_t>(2 * c.t + 1));
    EXPECT_EQ(generator.back(), 1);
    EXPECT_EQ(codec.GetN(), (1 << c.m) - 1);
    EXPECT_EQ(codec.GetK(), codec.GetN() - 2 * c.t);
    for (int i = 1; i <= 2 * c.t; ++i) {
        EXPECT_EQ(field.PolyEvaluate(generator.data(), field.Power(i), 2 * c.t), 0) << "i = " << i;
    }
}

// A multiple of g(x) with the information on top is the one systematic codeword there is: two
// such words differ by a multiple of g(x) of degree below 2t, which is zero.
TEST_P(EveryCode, CodewordsAreSystematicMultiplesOfTheGenerator) {
    const CodeCase& c = GetParam();
    std::mt19937 rng(static_cast<std::mt19937::result_type>(1000 * c.m + c.t));
    ReedSolomonCodec codec;
    codec.Configure(c.m, c.t);
    ASSERT_TRUE(codec.IsReady());
    const GaloisField& field = codec.Field();
    const int n = codec.GetN();
    const int k = codec.GetK();
    for (int word = 0; word < c.words; ++word) {
        const std::vector<Symbol> info = RandomInfo(rng, codec);
        const std::vector<Symbol> codeword = EncodeToVector(codec, info);
        EXPECT_EQ(std::vector<Symbol>(codeword.begin() + (n - k), codeword.end()), info);
        for (int p = 0; p < n - k; ++p) {
            EXPECT_GE(codeword[static_cast<std::size_t>(p)], 0);
            EXPECT_LE(codeword[static_cast<std::size_t>(p)], n);
        }
        for (int i = 1; i <= 2 * c.t; ++i) {
            ASSERT_EQ(field.PolyEvaluate(codeword.data(), field.Power(i), n - 1), 0)
                << "word " << word << ", root alpha^" << i;
        }
    }
}

TEST_P(EveryCode, AllZeroInformationGivesAllZeroCodeword) {
    const CodeCase& c = GetParam();
    ReedSolomonCodec codec;
    codec.Configure(c.m, c.t);
    ASSERT_TRUE(codec.IsReady());
    const std::vector<Symbol> zeros(static_cast<std::size_t>(codec.GetK()), 0);
    EXPECT_EQ(EncodeToVector(codec, zeros), std::vector<Symbol>(codec.GetN(), 0));
}

INSTANTIATE_TEST_SUITE_P(Codes, EveryCode,
                         ::testing::Values(CodeCase{2, 1, 20}, CodeCase{3, 1, 50},
                                           CodeCase{3, 2, 50}, CodeCase{3, 3, 20},
                                           CodeCase{4, 2, 50}, CodeCase{4, 7, 20},
                                           CodeCase{5, 3, 50}, CodeCase{8, 1, 20},
                                           CodeCase{8, 16, 20}, CodeCase{8, 50, 10},
                                           CodeCase{10, 30, 5}, CodeCase{12, 5, 3}),
                         CodeName);

// --- Configuration -------------------------------------------------------------------------------

TEST(ReedSolomonConfigure, RefusesCodesThatDoNotExist) {
    struct Case {
        int m;
        int t;
        const char* why;
    };
    const Case cases[] = {
        {3, 4, "2t = 8 > n = 7"},
        {2, 2, "2t = 4 > n = 3"},
        {8, 128, "2t = 256 > n = 255"},
        {1, 1, "2t = 2 > n = 1"},
        {0, 1, "no field, n = 0"},
        {0, 0, "no field"},
        {32, 1, "elements no longer fit a symbol"},
        {32, 0, "elements no longer fit a symbol"},
        {-1, 1, "negative degree"},
        {-1, 0, "negative degree"},
        {4, -1, "negative t"},
        {4, INT_MIN, "negative t"},
        {4, INT_MAX, "2t overflows 32 bits"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "(" << c.m << ", " << c.t << "): " << c.why);
        ReedSolomonCodec codec;
        codec.Configure(c.m, c.t);
        EXPECT_FALSE(codec.IsReady());
        // A refused first configuration leaves nothing built.
        EXPECT_TRUE(codec.Generator().empty());
        EXPECT_TRUE(codec.Corrected().empty());
        EXPECT_TRUE(codec.Field().PowerTable().empty());
    }
}

// Compares everything observable of two codecs, the encoder on seeded random words included.
void ExpectSameCode(ReedSolomonCodec& actual, ReedSolomonCodec& expected, unsigned seed) {
    ASSERT_TRUE(actual.IsReady());
    ASSERT_TRUE(expected.IsReady());
    EXPECT_EQ(actual.GetN(), expected.GetN());
    EXPECT_EQ(actual.GetK(), expected.GetK());
    EXPECT_EQ(actual.GetT(), expected.GetT());
    EXPECT_EQ(actual.GetRate(), expected.GetRate());
    EXPECT_EQ(ToVector(actual.Generator()), ToVector(expected.Generator()));
    EXPECT_EQ(ToVector(actual.Field().PowerTable()), ToVector(expected.Field().PowerTable()));
    ASSERT_EQ(actual.GetK(), expected.GetK());
    std::mt19937 rng(seed);
    for (int word = 0; word < 10; ++word) {
        const std::vector<Symbol> info = RandomInfo(rng, expected);
        EXPECT_EQ(EncodeToVector(actual, info), EncodeToVector(expected, info));
    }
}

TEST(ReedSolomonConfigure, ReconfiguringEqualsAFreshCodec) {
    struct Case {
        int firstM;
        int firstT;
        int m;
        int t;
    };
    const Case cases[] = {
        {3, 1, 4, 2},   // larger field and more parity
        {8, 16, 4, 2},  // every buffer shrinks
        {4, 2, 8, 16},  // every buffer grows
        {4, 2, 4, 2},   // same parameters again
        {4, 2, 4, 0},   // to the uncoded case
        {4, 0, 4, 7},   // and from it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "(" << c.firstM << ", " << c.firstT << ") then ("
                                          << c.m << ", " << c.t << ")");
        ReedSolomonCodec reconfigured;
        reconfigured.Configure(c.firstM, c.firstT);
        ASSERT_TRUE(reconfigured.IsReady());
        reconfigured.Configure(c.m, c.t);
        ReedSolomonCodec fresh;
        fresh.Configure(c.m, c.t);
        ExpectSameCode(reconfigured, fresh, 5);
    }
}

// A refusal in between does not spoil the next successful configuration.
TEST(ReedSolomonConfigure, RecoversAfterARefusal) {
    for (const int badT : {4, -1}) {
        ReedSolomonCodec codec;
        codec.Configure(4, 2);
        ASSERT_TRUE(codec.IsReady());
        codec.Configure(3, badT);
        EXPECT_FALSE(codec.IsReady());
        codec.Configure(32, 1);
        EXPECT_FALSE(codec.IsReady());
        codec.Configure(4, 2);
        ReedSolomonCodec fresh;
        fresh.Configure(4, 2);
        ExpectSameCode(codec, fresh, 6);
    }
}

TEST(ReedSolomonConfigure, UnconfiguredCodecIsDestroyedCleanly) {
    // Through the virtual destructor, as the driver deletes it.
    std::unique_ptr<ReedSolomonCodec> codec = std::make_unique<ReedSolomonCodec>();
    EXPECT_FALSE(codec->IsReady());
    EXPECT_TRUE(codec->Generator().empty());
    EXPECT_TRUE(codec->Corrected().empty());
    EXPECT_FALSE(codec->Field().IsReady());
    codec.reset();
}

// The standard shortened codes, RS(204,188) over GF(256) and RS(544,514) over GF(2^10), as the
// engines run them: the full code's encoder with the unsent information symbols zero. Checked
// against an encoding written here from the definition, the remainder of x^2t m(x) by
// g(x) = (x + alpha)(x + alpha^2)...(x + alpha^2t), by long division.
TEST(ReedSolomonEncoder, ShortenedCodesAreTheDivisionsRemainderAndTheInformation) {
    for (const auto& [m, t, length] : {std::tuple{8, 8, 204}, {10, 15, 544}}) {
        ReedSolomonCodec codec;
        codec.Configure(m, t);
        ASSERT_TRUE(codec.IsReady());
        const GaloisField& field = codec.Field();
        const int twoT = 2 * t;
        std::vector<Symbol> g = {1};
        for (int i = 1; i <= twoT; ++i) {
            std::vector<Symbol> next(g.size() + 1, 0);
            for (std::size_t d = 0; d < g.size(); ++d) {
                next[d + 1] ^= g[d];
                next[d] ^= field.Multiply(g[d], field.Power(i));
            }
            g = next;
        }
        std::mt19937 rng(static_cast<std::mt19937::result_type>(length));
        const int sentInfo = length - twoT;
        std::vector<Symbol> info(static_cast<std::size_t>(codec.GetK()), 0);
        for (int j = 0; j < sentInfo; ++j) {
            info[static_cast<std::size_t>(j)] =
                static_cast<Symbol>(rng() % static_cast<unsigned>(field.GetOrder() + 1));
        }
        // x^2t m(x), then its remainder by the monic g(x), highest degree first.
        std::vector<Symbol> remainder(static_cast<std::size_t>(twoT + sentInfo), 0);
        for (int j = 0; j < sentInfo; ++j) {
            remainder[static_cast<std::size_t>(twoT + j)] = info[static_cast<std::size_t>(j)];
        }
        for (int d = twoT + sentInfo - 1; d >= twoT; --d) {
            const Symbol lead = remainder[static_cast<std::size_t>(d)];
            for (int i = 0; i <= twoT; ++i) {
                remainder[static_cast<std::size_t>(d - twoT + i)] ^=
                    field.Multiply(lead, g[static_cast<std::size_t>(i)]);
            }
        }
        std::vector<Symbol> codeword(static_cast<std::size_t>(codec.GetN()));
        codec.Encode(info.data(), codeword.data());
        for (int p = 0; p < codec.GetN(); ++p) {
            const Symbol expected = p < twoT     ? remainder[static_cast<std::size_t>(p)]
                                    : p < length ? info[static_cast<std::size_t>(p - twoT)]
                                                 : 0;
            ASSERT_EQ(codeword[static_cast<std::size_t>(p)], expected)
                << "RS(" << length << "," << sentInfo << ") position " << p;
        }
    }
}

}  // namespace
}  // namespace rs
