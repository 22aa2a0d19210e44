#include "codec/reed_solomon_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <functional>
#include <numeric>
#include <ostream>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "codec/algebraic_decoder.h"
#include "codec_test_support.h"
#include "engine/block_counter.h"
#include "engine/engine_plan.h"
#include "engine/kernel/draw_kernels.h"
#include "field/large_field.h"
#include "literal_decoder.h"

namespace rs {
namespace {

using testing::CodeCase;
using testing::CodeName;
using testing::EncodeToVector;
using testing::RandomInfo;
using testing::ReferenceDecode;
using testing::ReferenceOutcome;
using testing::ToVector;
using testing::Word;

// XORs a random nonzero value into each of the given positions.
void AddErrors(std::mt19937& rng, const ReedSolomonCodec& codec, const std::vector<int>& positions,
               Word& word) {
    std::uniform_int_distribution<Symbol> nonzero(1, codec.Field().GetOrder());
    for (const int p : positions) {
        word[static_cast<std::size_t>(p)] ^= nonzero(rng);
    }
}

// `count` distinct positions out of first..first+range-1.
std::vector<int> RandomPositions(std::mt19937& rng, int first, int range, int count) {
    std::vector<int> all(static_cast<std::size_t>(range));
    std::iota(all.begin(), all.end(), first);
    std::shuffle(all.begin(), all.end(), rng);
    all.resize(static_cast<std::size_t>(count));
    return all;
}

struct Decoded {
    bool result = false;
    Word info;
    Word corrected;
};

// Decodes with the output pre-filled by a value no symbol can take, so that every entry not
// written shows.
Decoded RunDecode(ReedSolomonCodec& codec, const Word& received) {
    Decoded out;
    out.info.assign(static_cast<std::size_t>(codec.GetK()), -1);
    out.result = codec.Decode(received.data(), out.info.data());
    out.corrected = ToVector(codec.Corrected());
    return out;
}

// R(alpha^i) for i = 1..2t, evaluated here by Horner's rule.
Word Syndromes(const ReedSolomonCodec& codec, const Word& received) {
    const GaloisField& field = codec.Field();
    Word syndromes;
    for (int i = 1; i <= 2 * codec.GetT(); ++i) {
        const Symbol x = field.Power(i);
        Symbol value = 0;
        for (auto it = received.rbegin(); it != received.rend(); ++it) {
            value = field.Multiply(value, x) ^ *it;
        }
        syndromes.push_back(value);
    }
    return syndromes;
}

// --- Up to t errors ------------------------------------------------------------------------------

class WithinCapacity : public ::testing::TestWithParam<CodeCase> {
  protected:
    void SetUp() override {
        codec.Configure(GetParam().m, GetParam().t);
        ASSERT_TRUE(codec.IsReady());
        n = codec.GetN();
        k = codec.GetK();
        t = codec.GetT();
        rng.seed(static_cast<std::mt19937::result_type>(100 * GetParam().m + GetParam().t));
    }

    // Sends one random codeword with errors at `positions` and expects it back.
    void ExpectCorrected(const std::vector<int>& positions) {
        const Word info = RandomInfo(rng, codec);
        const Word codeword = EncodeToVector(codec, info);
        Word received = codeword;
        AddErrors(rng, codec, positions, received);
        const Decoded out = RunDecode(codec, received);
        ::testing::Message where;
        where << "errors at";
        for (const int p : positions) {
            where << " " << p;
        }
        ASSERT_EQ(out.info, info) << where;
        ASSERT_EQ(out.corrected, codeword) << where;
        ASSERT_FALSE(out.result) << where;
        ASSERT_FALSE(codec.LastDecodeFailureDetected()) << where;
    }

    ReedSolomonCodec codec;
    int n = 0;
    int k = 0;
    int t = 0;
    std::mt19937 rng;
};

TEST_P(WithinCapacity, CodewordDecodesToItsInformation) {
    for (int word = 0; word < 5; ++word) {
        const Word info = RandomInfo(rng, codec);
        const Word codeword = EncodeToVector(codec, info);
        const Decoded out = RunDecode(codec, codeword);
        EXPECT_TRUE(out.result);
        EXPECT_EQ(out.info, info);
        EXPECT_EQ(out.corrected, codeword);
    }
}

// Weights cycle through 1..t so that every weight is tried about equally often.
TEST_P(WithinCapacity, CorrectsRandomErrorsAtRandomPositions) {
    for (int word = 0; word < GetParam().words; ++word) {
        ASSERT_NO_FATAL_FAILURE(ExpectCorrected(RandomPositions(rng, 0, n, 1 + word % t)));
    }
}

// Position n-1 is the first one the search tries and position 0 (x = 1) the last.
TEST_P(WithinCapacity, CorrectsErrorsAtTheEnds) {
    for (int word = 0; word < 4; ++word) {
        ASSERT_NO_FATAL_FAILURE(ExpectCorrected({0}));
        ASSERT_NO_FATAL_FAILURE(ExpectCorrected({n - 1}));
        if (t >= 2) {
            ASSERT_NO_FATAL_FAILURE(ExpectCorrected({0, n - 1}));
            // Both ends plus random others, up to t in all.
            std::vector<int> positions = RandomPositions(rng, 1, n - 2, t - 2);
            positions.push_back(0);
            positions.push_back(n - 1);
            ASSERT_NO_FATAL_FAILURE(ExpectCorrected(positions));
        }
    }
}

TEST_P(WithinCapacity, CorrectsErrorsOnlyInParity) {
    for (int word = 0; word < 10; ++word) {
        ASSERT_NO_FATAL_FAILURE(ExpectCorrected(RandomPositions(rng, 0, n - k, 1 + word % t)));
    }
}

// The reference agrees with the decoder here too, before it is trusted beyond capacity.
TEST_P(WithinCapacity, ReferenceAgreesAndFindsOneLocatorRootPerError) {
    for (int word = 0; word < 5; ++word) {
        const Word info = RandomInfo(rng, codec);
        Word received = EncodeToVector(codec, info);
        const int weight = 1 + word % t;
        AddErrors(rng, codec, RandomPositions(rng, 0, n, weight), received);
        const ReferenceOutcome expected = ReferenceDecode(codec, received);
        EXPECT_TRUE(expected.invariantsHeld);
        EXPECT_EQ(expected.locatorLength, weight);
        EXPECT_EQ(expected.decoded, info);
        EXPECT_EQ(RunDecode(codec, received).info, info);
    }
}

// A few hundred words for the short codes, fewer as n grows; the sanitizers multiply the cost.
INSTANTIATE_TEST_SUITE_P(Codes, WithinCapacity,
                         ::testing::Values(CodeCase{2, 1, 50}, CodeCase{3, 1, 200},
                                           CodeCase{3, 3, 300}, CodeCase{4, 2, 300},
                                           CodeCase{5, 3, 300}, CodeCase{8, 1, 300},
                                           CodeCase{8, 16, 300}, CodeCase{8, 50, 100},
                                           CodeCase{10, 30, 40}, CodeCase{12, 5, 30}),
                         CodeName);

TEST(Decoder, UncodedReturnsTheReceivedWord) {
    std::mt19937 rng(8);
    ReedSolomonCodec codec;
    codec.Configure(4, 0);
    ASSERT_TRUE(codec.IsReady());
    for (int word = 0; word < 10; ++word) {
        const Word received = RandomInfo(rng, codec);  // k = n
        const Decoded out = RunDecode(codec, received);
        EXPECT_TRUE(out.result);
        EXPECT_EQ(out.info, received);
        EXPECT_EQ(out.corrected, received);
    }
}

// --- Exhaustive over the length-7 codes ----------------------------------------------------------

// Calls visit once for every word of weight 0..maxWeight over n positions and q symbols.
int ForEachErrorPattern(int n, int q, int maxWeight,
                        const std::function<void(const Word&)>& visit) {
    Word e(static_cast<std::size_t>(n), 0);
    int count = 0;
    std::function<void(int, int)> extend = [&](int start, int weight) {
        visit(e);
        ++count;
        if (weight == maxWeight) {
            return;
        }
        for (int p = start; p < n; ++p) {
            for (Symbol v = 1; v < q; ++v) {
                e[static_cast<std::size_t>(p)] = v;
                extend(p + 1, weight + 1);
            }
            e[static_cast<std::size_t>(p)] = 0;
        }
    };
    extend(0, 0);
    return count;
}

int Distance(const Word& a, const Word& b) {
    int d = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        d += a[i] != b[i] ? 1 : 0;
    }
    return d;
}

class ExhaustiveLengthSeven : public ::testing::TestWithParam<int> {};

// Every error pattern of weight up to t, on the zero codeword and on a random one, against
// nearest-codeword search over the whole code.
TEST_P(ExhaustiveLengthSeven, MatchesNearestCodewordForEveryCorrectablePattern) {
    const int t = GetParam();
    ReedSolomonCodec codec;
    codec.Configure(3, t);
    ASSERT_TRUE(codec.IsReady());
    const int n = 7;
    const int q = 8;
    const int k = codec.GetK();
    ASSERT_EQ(k, n - 2 * t);

    // The whole code: all 8^k codewords, indexed by their information read as base-8 digits.
    std::vector<Word> code;
    int codeSize = 1;
    for (int i = 0; i < k; ++i) {
        codeSize *= q;
    }
    for (int index = 0; index < codeSize; ++index) {
        Word info(static_cast<std::size_t>(k));
        int rest = index;
        for (Symbol& s : info) {
            s = rest % q;
            rest /= q;
        }
        code.push_back(EncodeToVector(codec, info));
    }
    // Maximum distance separable: the lightest nonzero codeword has weight n - k + 1 = 2t + 1.
    int minimumWeight = n;
    for (std::size_t i = 1; i < code.size(); ++i) {
        minimumWeight = std::min(minimumWeight, Distance(code[i], code[0]));
    }
    EXPECT_EQ(minimumWeight, 2 * t + 1);

    std::mt19937 rng(static_cast<std::mt19937::result_type>(700 + t));
    std::uniform_int_distribution<int> pick(0, codeSize - 1);
    int failures = 0;
    const int visited = ForEachErrorPattern(n, q, t, [&](const Word& e) {
        if (failures >= 5) {
            return;
        }
        for (const int sent : {0, pick(rng)}) {
            Word received = code[static_cast<std::size_t>(sent)];
            for (int p = 0; p < n; ++p) {
                received[static_cast<std::size_t>(p)] ^= e[static_cast<std::size_t>(p)];
            }
            int nearest = -1;
            int nearestDistance = n + 1;
            int ties = 0;
            for (int c = 0; c < codeSize; ++c) {
                const int d = Distance(received, code[static_cast<std::size_t>(c)]);
                if (d < nearestDistance) {
                    nearest = c;
                    nearestDistance = d;
                    ties = 0;
                } else if (d == nearestDistance) {
                    ++ties;
                }
            }
            const Decoded out = RunDecode(codec, received);
            const Word& expected = code[static_cast<std::size_t>(nearest)];
            const bool errorFree = std::all_of(e.begin(), e.end(), [](Symbol s) { return s == 0; });
            if (nearest != sent || ties != 0 || out.corrected != expected ||
                out.info != Word(expected.begin() + (n - k), expected.end()) ||
                out.result != errorFree) {
                ::testing::Message pattern;
                for (const Symbol s : e) {
                    pattern << s << " ";
                }
                ADD_FAILURE() << "error pattern " << pattern << "on codeword " << sent;
                ++failures;
            }
        }
    });
    // 1 + 7*7 + 21*49 + 35*343 patterns of weight 0, 1, 2, 3.
    const int expectedPatterns[] = {1, 50, 1079, 13084};
    EXPECT_EQ(visited, expectedPatterns[t]);
}

INSTANTIATE_TEST_SUITE_P(T, ExhaustiveLengthSeven, ::testing::Values(1, 2, 3),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string("t").append(std::to_string(info.param));
                         });

// --- Beyond t errors -----------------------------------------------------------------------------

class BeyondCapacity : public ::testing::TestWithParam<CodeCase> {
  protected:
    void SetUp() override {
        codec.Configure(GetParam().m, GetParam().t);
        ASSERT_TRUE(codec.IsReady());
        rng.seed(static_cast<std::mt19937::result_type>(300 * GetParam().m + GetParam().t));
    }

    // Decodes and checks the outcome against the reference and against the syndromes taken
    // here: k symbols in range, the result true only when every syndrome is zero.
    void ExpectSameAsReference(const Word& received) {
        const Decoded out = RunDecode(codec, received);
        const ReferenceOutcome expected = ReferenceDecode(codec, received);
        const Word syndromes = Syndromes(codec, received);
        const bool allZero =
            std::all_of(syndromes.begin(), syndromes.end(), [](Symbol s) { return s == 0; });
        ASSERT_EQ(out.result, allZero);
        ASSERT_EQ(expected.allZero, allZero);
        ASSERT_TRUE(expected.invariantsHeld);
        ASSERT_LE(expected.locatorLength, 2 * codec.GetT());
        for (const Symbol s : out.info) {
            ASSERT_GE(s, 0);
            ASSERT_LE(s, codec.Field().GetOrder());
        }
        ASSERT_EQ(out.info, expected.decoded);
        ASSERT_EQ(out.corrected, expected.corrected);
        ASSERT_EQ(codec.LastDecodeFailureDetected(), expected.Flagged(codec.GetT()));
        ++detected[codec.LastDecodeFailureDetected() ? 1 : 0];
    }

    int detected[2] = {0, 0};  // words decoded without and with a detected failure

    ReedSolomonCodec codec;
    std::mt19937 rng;
};

TEST_P(BeyondCapacity, RandomErrorsOfEveryWeightAboveT) {
    const int n = codec.GetN();
    const int t = codec.GetT();
    const Word generator = ToVector(codec.Generator());
    std::uniform_int_distribution<int> weight(t + 1, n);
    for (int word = 0; word < GetParam().words; ++word) {
        Word received = EncodeToVector(codec, RandomInfo(rng, codec));
        // Each weight from t+1 to n in turn while they last, then random weights.
        const int errors = word < n - t ? t + 1 + word : weight(rng);
        AddErrors(rng, codec, RandomPositions(rng, 0, n, errors), received);
        ASSERT_NO_FATAL_FAILURE(ExpectSameAsReference(received));
    }
    // Decoding leaves the code itself alone.
    EXPECT_EQ(ToVector(codec.Generator()), generator);
}

TEST_P(BeyondCapacity, UniformlyRandomWords) {
    std::uniform_int_distribution<Symbol> symbol(0, codec.Field().GetOrder());
    for (int word = 0; word < GetParam().words; ++word) {
        Word received(static_cast<std::size_t>(codec.GetN()));
        for (Symbol& s : received) {
            s = symbol(rng);
        }
        ASSERT_NO_FATAL_FAILURE(ExpectSameAsReference(received));
    }
    // Most random words lie beyond every decoding sphere, and from t = 2 on the locator then
    // often lacks roots. (For t = 1 a locator of degree 1 always has its root.)
    if (codec.GetT() >= 2) {
        EXPECT_GT(detected[1], 0);
    }
}

// Errors e(x) = a x^s (x + alpha^1)...(x + alpha^(2t-1)) vanish at alpha^1..alpha^(2t-1) but not
// at alpha^2t, so only the last syndrome is nonzero: the locator's length jumps to 2t in the
// very last step, which fills the correction and candidate polynomials to their last entry.
TEST_P(BeyondCapacity, OnlyTheLastSyndromeNonzero) {
    const GaloisField& field = codec.Field();
    const int n = codec.GetN();
    const int twoT = 2 * codec.GetT();
    Word factor = {1};  // (x + alpha^1)...(x + alpha^(2t-1))
    for (int i = 1; i <= twoT - 1; ++i) {
        Word next(factor.size() + 1, 0);
        for (std::size_t j = 0; j < factor.size(); ++j) {
            next[j + 1] ^= factor[j];
            next[j] ^= field.Multiply(factor[j], field.Power(i));
        }
        factor = next;
    }
    std::uniform_int_distribution<Symbol> nonzero(1, field.GetOrder());
    std::uniform_int_distribution<int> shift(0, n - twoT);
    for (int word = 0; word < GetParam().words; ++word) {
        const Symbol scale = nonzero(rng);
        const int s = word == 0 ? 0 : shift(rng);
        Word received = EncodeToVector(codec, RandomInfo(rng, codec));
        for (std::size_t j = 0; j < factor.size(); ++j) {
            received[j + static_cast<std::size_t>(s)] ^= field.Multiply(scale, factor[j]);
        }
        const Word syndromes = Syndromes(codec, received);
        for (int i = 0; i < twoT - 1; ++i) {
            ASSERT_EQ(syndromes[static_cast<std::size_t>(i)], 0);
        }
        ASSERT_NE(syndromes.back(), 0);
        EXPECT_EQ(ReferenceDecode(codec, received).locatorLength, twoT);
        ASSERT_NO_FATAL_FAILURE(ExpectSameAsReference(received));
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, BeyondCapacity,
                         ::testing::Values(CodeCase{2, 1, 30}, CodeCase{3, 1, 100},
                                           CodeCase{3, 3, 100}, CodeCase{4, 2, 300},
                                           CodeCase{5, 3, 100}, CodeCase{8, 1, 40},
                                           CodeCase{8, 16, 100}, CodeCase{8, 50, 30},
                                           CodeCase{10, 30, 10}),
                         CodeName);

// The codeword of information 1..11 in the (15, 11) code, 8 4 6 9 1 2 ... 11, with three errors
// (at positions 1, 11 and 12). Berlekamp-Massey ends with a locator of length 3 > t whose three
// roots send Forney's values to positions 3, 8 and 13, none of them in error: the result is
// another codeword, as far from the received word as the one sent. Decoded once by the
// reference above and pinned, so that any change in what the decoder does beyond capacity
// shows here.
TEST(Decoder, PinnedWordBeyondCapacity) {
    ReedSolomonCodec codec;
    codec.Configure(4, 2);
    ASSERT_TRUE(codec.IsReady());
    const Word received = {8, 9, 6, 9, 1, 2, 3, 4, 5, 6, 7, 4, 6, 10, 11};
    const Word expectedCorrected = {8, 9, 6, 2, 1, 2, 3, 4, 1, 6, 7, 4, 6, 5, 11};
    const Word expectedInfo = {1, 2, 3, 4, 1, 6, 7, 4, 6, 5, 11};
    const Decoded out = RunDecode(codec, received);
    EXPECT_FALSE(out.result);
    EXPECT_EQ(out.info, expectedInfo);
    EXPECT_EQ(out.corrected, expectedCorrected);

    const ReferenceOutcome reference = ReferenceDecode(codec, received);
    EXPECT_EQ(reference.locatorLength, 3);
    EXPECT_EQ(reference.decoded, expectedInfo);
    EXPECT_EQ(reference.corrected, expectedCorrected);
    EXPECT_EQ(Syndromes(codec, expectedCorrected), Word(4, 0));
    Word sent = {8, 4, 6, 9};
    for (Symbol s = 1; s <= 11; ++s) {
        sent.push_back(s);
    }
    EXPECT_EQ(Distance(received, sent), 3);
    EXPECT_EQ(Distance(received, expectedCorrected), 3);
}

// On codes small enough to list every codeword, a word is left unflagged exactly when a
// codeword lies within t of it, and is then corrected to that codeword: the flag is a bounded
// distance decoder's. Words are uniform, or a codeword with t + 1 .. n errors.
TEST(Decoder, UnflaggedExactlyWhenACodewordIsWithinT) {
    for (const auto& [m, t] : {std::pair{2, 1}, {3, 1}, {3, 2}, {3, 3}}) {
        ReedSolomonCodec codec;
        codec.Configure(m, t);
        ASSERT_TRUE(codec.IsReady());
        const int n = codec.GetN();
        const int q = n + 1;
        std::vector<Word> codewords;
        Word info(static_cast<std::size_t>(codec.GetK()), 0);
        for (;;) {
            codewords.push_back(EncodeToVector(codec, info));
            std::size_t i = 0;
            while (i < info.size() && ++info[i] == q) {
                info[i++] = 0;
            }
            if (i == info.size()) {
                break;
            }
        }
        std::mt19937 rng(static_cast<std::mt19937::result_type>(10 * m + t));
        int unflagged = 0;
        for (int word = 0; word < 400; ++word) {
            Word received = codewords[rng() % codewords.size()];
            if (word % 2 == 0) {
                for (Symbol& s : received) {
                    s = static_cast<Symbol>(rng() % static_cast<unsigned>(q));
                }
            } else {
                const int errors = t + 1 + static_cast<int>(rng() % static_cast<unsigned>(n - t));
                AddErrors(rng, codec, RandomPositions(rng, 0, n, errors), received);
            }
            const Word* near = nullptr;
            for (const Word& c : codewords) {
                int distance = 0;
                for (int i = 0; i < n; ++i) {
                    distance +=
                        c[static_cast<std::size_t>(i)] != received[static_cast<std::size_t>(i)];
                }
                near = distance <= t ? &c : near;
            }
            const Decoded out = RunDecode(codec, received);
            ASSERT_EQ(codec.LastDecodeFailureDetected(), near == nullptr)
                << "M=" << m << " t=" << t << " word " << word;
            if (near != nullptr) {
                EXPECT_EQ(out.corrected, *near);
                ++unflagged;
            }
        }
        EXPECT_GT(unflagged, 0) << "M=" << m << " t=" << t;
    }
}

// --- Shortened codes -----------------------------------------------------------------------------

// A shortened code sends positions 0..length-1. Information value v at position `root` alone
// encodes to a full-length codeword; with v taken off again, the word is zero from `root` up,
// and the decoder finds the one error v at `root`, plus `extra` errors at sent positions. A root
// at the first unsent position (root = length) is no correction a practical decoder could
// make: the word is flagged. One position lower it is sent, and corrected unflagged. Both
// decoders state the rule; each is held to it.
TEST(Decoder, FlagsALocatorRootAtTheFirstUnsentPosition) {
    struct Case {
        int m;
        int t;
        int length;
        int root;
        int extra;
        bool flagged;
    };
    for (const Case& c :
         {Case{4, 2, 10, 10, 0, true}, Case{4, 2, 11, 10, 0, false}, Case{4, 2, 10, 10, 1, true},
          Case{8, 8, 204, 204, 7, true}, Case{8, 8, 205, 204, 7, false}}) {
        ReedSolomonCodec codec;
        codec.Configure(c.m, c.t);
        ASSERT_TRUE(codec.IsReady());
        codec.SetSentLength(c.length);
        const int n = codec.GetN();
        const int parity = n - codec.GetK();
        const Symbol v = 3;
        Word info(static_cast<std::size_t>(codec.GetK()), 0);
        info[static_cast<std::size_t>(c.root - parity)] = v;
        const Word codeword = EncodeToVector(codec, info);
        Word received = codeword;
        received[static_cast<std::size_t>(c.root)] ^= v;
        std::mt19937 rng(static_cast<std::mt19937::result_type>(c.length));
        AddErrors(rng, codec, RandomPositions(rng, 0, c.root, c.extra), received);
        ASSERT_TRUE(std::all_of(received.begin() + c.length, received.end(),
                                [](Symbol s) { return s == 0; }));

        const std::string where = "M=" + std::to_string(c.m) + " t=" + std::to_string(c.t) +
                                  " length " + std::to_string(c.length) + " root " +
                                  std::to_string(c.root);
        const Decoded out = RunDecode(codec, received);
        EXPECT_EQ(out.corrected, codeword) << where;
        EXPECT_EQ(codec.LastDecodeFailureDetected(), c.flagged) << where;

        AlgebraicDecoder<LargeField> algebraic(LargeField(c.m), c.t);
        algebraic.SetSentLength(c.length);
        std::vector<std::int32_t> positions;
        Word values;
        for (int p = 0; p < c.length; ++p) {
            if (received[static_cast<std::size_t>(p)] != 0) {
                positions.push_back(p);
                values.push_back(received[static_cast<std::size_t>(p)]);
            }
        }
        ASSERT_FALSE(algebraic.SetSparseSyndromes(positions.data(), values.data(),
                                                  static_cast<std::int32_t>(positions.size())));
        int corrections = 0;
        algebraic.FindErrors([&](std::int32_t p, Symbol value) {
            corrections += 1;
            EXPECT_EQ(value,
                      codeword[static_cast<std::size_t>(p)] ^ received[static_cast<std::size_t>(p)])
                << where << " position " << p;
        });
        EXPECT_EQ(corrections, 1 + c.extra) << where;
        EXPECT_EQ(algebraic.LastDecodeFailureDetected(), c.flagged) << where;
    }
}

// --- Errors and erasures
// --------------------------------------------------------------------------

// A code, shortened to length (0: sent whole), and how many words to try on it.
struct ErasureCase {
    int m;
    int t;
    int length;
    int words;
};

void PrintTo(const ErasureCase& c, std::ostream* os) {
    *os << "(m = " << c.m << ", t = " << c.t << ", length " << c.length << ")";
}

// e errors and s erasures; the word is within reach when 2e + s <= 2t.
struct Split {
    int errors;
    int erasures;
};

// Every decoder against the literal one, word by word: the codec's Decode, its sparse stages
// with the incremental Chien search, the block counter through the codec's tables (with the
// machine's kernels, or algebra on the tables for the larger fields) and the table-free block
// counter. Splits cycle through every one within reach, and every third word is beyond it.
class ErrorsAndErasures : public ::testing::TestWithParam<ErasureCase> {
  protected:
    void SetUp() override {
        const ErasureCase& c = GetParam();
        codec.Configure(c.m, c.t);
        counterCodec.Configure(c.m, c.t);
        ASSERT_TRUE(codec.IsReady() && counterCodec.IsReady());
        n = codec.GetN();
        length = c.length > 0 ? c.length : n;
        codec.SetSentLength(length);
        tabled = std::make_unique<BlockCounter>(counterCodec, c.m, BestKernel(), c.length);
        tableFree = std::make_unique<BlockCounter>(c.m, c.t, c.length);
        rng.seed(static_cast<std::mt19937::result_type>(1000 * c.m + c.t + c.length));
        const int twoT = 2 * c.t;
        for (int erasures = 0; erasures <= twoT; ++erasures) {
            for (int errors = 0; 2 * errors + erasures <= twoT; ++errors) {
                within.push_back({errors, erasures});
            }
            // One to three errors too many, where there are positions for them.
            for (int errors = (twoT - erasures) / 2 + 1;
                 errors <= (twoT - erasures) / 2 + 3 && errors + erasures <= length; ++errors) {
                beyond.push_back({errors, erasures});
            }
        }
    }

    // Sends a random codeword with the split's errors and erasures (erased symbols received as
    // 0, as sent, or wrong) and checks every decoder against the literal one.
    void Check(const Split& split) {
        const int t = codec.GetT();
        const int parity = n - codec.GetK();
        Word info = RandomInfo(rng, codec);
        std::fill(info.begin() + (length - parity), info.end(), Symbol{0});  // not sent
        const Word codeword = EncodeToVector(codec, info);
        const std::vector<int> chosen =
            RandomPositions(rng, 0, length, split.errors + split.erasures);
        std::vector<int> erased(chosen.begin(), chosen.begin() + split.erasures);
        std::sort(erased.begin(), erased.end());
        Word received = codeword;
        AddErrors(rng, codec, {chosen.begin() + split.erasures, chosen.end()}, received);
        std::uniform_int_distribution<Symbol> nonzero(1, codec.Field().GetOrder());
        for (const int p : erased) {
            Symbol& r = received[static_cast<std::size_t>(p)];
            const auto mode = rng() % 3;
            r = mode == 0 ? 0 : mode == 1 ? r : r ^ nonzero(rng);
        }
        const std::vector<std::int32_t> erasures(erased.begin(), erased.end());
        ::testing::Message where;
        where << split.errors << " errors, erasures at";
        for (const int p : erased) {
            where << " " << p;
        }

        Decoded out;
        out.info.assign(static_cast<std::size_t>(codec.GetK()), -1);
        out.result = codec.Decode(received.data(), out.info.data(), erasures);
        out.corrected = ToVector(codec.Corrected());
        const bool flagged = codec.LastDecodeFailureDetected();
        const ReferenceOutcome expected = ReferenceDecode(codec, received, erased, length);
        ASSERT_TRUE(expected.invariantsHeld) << where;
        ASSERT_EQ(out.result, expected.allZero) << where;
        ASSERT_EQ(out.corrected, expected.corrected) << where;
        ASSERT_EQ(out.info, expected.decoded) << where;
        ASSERT_EQ(flagged, !expected.allZero && expected.Flagged(t)) << where;
        if (2 * split.errors + split.erasures <= 2 * t) {
            ASSERT_EQ(out.corrected, codeword) << where;
            ASSERT_FALSE(flagged) << where;
        }

        // The error pattern, received minus sent, for the sparse decoders.
        std::vector<std::int32_t> positions;
        Word values;
        for (int p = 0; p < length; ++p) {
            const Symbol e =
                received[static_cast<std::size_t>(p)] ^ codeword[static_cast<std::size_t>(p)];
            if (e != 0) {
                positions.push_back(p);
                values.push_back(e);
            }
        }
        const auto count = static_cast<std::int32_t>(positions.size());
        if (!codec.SetSparseSyndromes(positions.data(), values.data(), count)) {
            Word corrected = received;
            codec.FindErrors<true>(
                [&](std::int32_t p, Symbol v) { corrected[static_cast<std::size_t>(p)] ^= v; },
                erasures);
            ASSERT_EQ(corrected, expected.corrected) << where;
            ASSERT_EQ(codec.LastDecodeFailureDetected(), flagged) << where;
        }

        // The block's counts from the codec's output: wrong information symbols among those sent.
        BlockOutcome counted{count, 0, 0, flagged};
        for (int p = parity; p < length; ++p) {
            const Symbol d =
                out.corrected[static_cast<std::size_t>(p)] ^ codeword[static_cast<std::size_t>(p)];
            counted.errorSymbols += d != 0 ? 1 : 0;
            counted.bitErrors += std::popcount(static_cast<std::uint32_t>(d));
        }
        ASSERT_EQ(tabled->DecodePattern(positions.data(), values.data(), count, erasures), counted)
            << where;
        ASSERT_EQ(tableFree->DecodePattern(positions.data(), values.data(), count, erasures),
                  counted)
            << where;
        ++seen[flagged ? 1 : 0];
    }

    ReedSolomonCodec codec;
    ReedSolomonCodec counterCodec;
    std::unique_ptr<BlockCounter> tabled;
    std::unique_ptr<BlockCounter> tableFree;
    int n = 0;
    int length = 0;
    std::vector<Split> within;
    std::vector<Split> beyond;
    std::mt19937 rng;
    int seen[2] = {0, 0};  // words unflagged and flagged
};

TEST_P(ErrorsAndErasures, EveryDecoderAgreesWithTheLiteralOne) {
    for (int word = 0; word < GetParam().words; ++word) {
        const Split split = word % 3 == 2
                                ? beyond[static_cast<std::size_t>(word / 3) % beyond.size()]
                                : within[static_cast<std::size_t>(word - word / 3) % within.size()];
        ASSERT_NO_FATAL_FAILURE(Check(split));
    }
    // Beyond reach some words are flagged, and within it none.
    EXPECT_GT(seen[0], 0);
    if (GetParam().words >= 24) {
        EXPECT_GT(seen[1], 0);
    }
}

// M = 4 and 8 search with byte vectors, 9 at t = 30 with the word kernel, 13 and 20 (the
// largest tabled field) by algebra on the tables; the table-free counter runs on each.
INSTANTIATE_TEST_SUITE_P(Codes, ErrorsAndErasures,
                         ::testing::Values(ErasureCase{4, 3, 0, 300}, ErasureCase{4, 2, 11, 150},
                                           ErasureCase{8, 16, 0, 150}, ErasureCase{8, 8, 200, 90},
                                           ErasureCase{9, 30, 0, 30}, ErasureCase{13, 6, 0, 24},
                                           ErasureCase{13, 4, 5000, 24}, ErasureCase{20, 2, 0, 3}),
                         [](const ::testing::TestParamInfo<ErasureCase>& info) {
                             return std::string("m")
                                 .append(std::to_string(info.param.m))
                                 .append("t")
                                 .append(std::to_string(info.param.t))
                                 .append("length")
                                 .append(std::to_string(info.param.length));
                         });

// Above the tabled fields only the table-free counter runs, without a literal decoder to follow:
// every split within reach comes out right and unflagged, and some words beyond are flagged.
TEST(ErrorsAndErasures, TableFreeAboveTheTabledFields) {
    for (const int m : {kLargestTabledField + 1, 24}) {
        const int t = 4;
        BlockCounter counter(m, t);
        std::mt19937 rng(static_cast<std::mt19937::result_type>(m));
        const auto n = static_cast<std::uint32_t>(counter.N());
        int flagged = 0;
        for (int word = 0; word < 60; ++word) {
            const int s = word % (2 * t + 1);
            const int e = (2 * t - s) / 2 + (word % 3 == 2 ? 1 : 0);
            std::vector<std::int32_t> chosen;
            while (chosen.size() < static_cast<std::size_t>(s + e)) {
                const auto p = static_cast<std::int32_t>(rng() % n);
                if (std::find(chosen.begin(), chosen.end(), p) == chosen.end()) {
                    chosen.push_back(p);
                }
            }
            std::vector<std::int32_t> erasures(chosen.begin(), chosen.begin() + s);
            std::sort(erasures.begin(), erasures.end());
            // Errors everywhere chosen but at the erasures received right.
            std::vector<std::int32_t> positions;
            for (int i = 0; i < s + e; ++i) {
                if (i >= s || rng() % 2 == 0) {
                    positions.push_back(chosen[static_cast<std::size_t>(i)]);
                }
            }
            std::sort(positions.begin(), positions.end());
            Word values;
            for (std::size_t i = 0; i < positions.size(); ++i) {
                values.push_back(static_cast<Symbol>(1 + rng() % n));
            }
            const auto count = static_cast<std::int32_t>(positions.size());
            const BlockOutcome out =
                counter.DecodePattern(positions.data(), values.data(), count, erasures);
            if (2 * e + s <= 2 * t) {
                ASSERT_EQ(out, (BlockOutcome{count, 0, 0, false})) << "M=" << m << " word " << word;
            } else {
                flagged += out.failure ? 1 : 0;
            }
        }
        // Not all: with few syndromes left beside the erasures, a locator of degree 1 always
        // has its root, and the word is miscorrected unflagged as in any code with t = 1.
        EXPECT_GT(flagged, 0) << "M=" << m;
    }
}

}  // namespace
}  // namespace rs
