// Weight-stratified estimation: its random numbers, its patterns, its independence of the
// threads, and its estimates against the exact engine, the theory and repeated runs.
#include <gtest/gtest.h>

#include <Random123/philox.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/engine_plan.h"
#include "engine/stratified/pattern_sampler.h"
#include "engine/stratified/stratified_study.h"
#include "random/philox_stream.h"
#include "rs_sim/simulator.h"
#include "stats/binomial_weights.h"

namespace rs {
namespace {

double Value(const LogEstimate& e) {
    return std::exp(e.value);
}
double Low(const LogEstimate& e) {
    return std::exp(e.low);
}
double High(const LogEstimate& e) {
    return std::exp(e.high);
}
const LogEstimate& Of(const StratifiedPoint& point, Rate rate) {
    return point.rates[static_cast<std::size_t>(rate)];
}

TEST(PhiloxStream, MatchesTheLibrarysKnownAnswers) {
    // Random123's own known-answer vectors for Philox4x32-10.
    struct Vector {
        r123::Philox4x32::ctr_type counter;
        r123::Philox4x32::key_type key;
        std::array<std::uint32_t, 4> expected;
    };
    const Vector vectors[] = {
        {{{0, 0, 0, 0}}, {{0, 0}}, {0x6627e8d5, 0xe169c58d, 0xbc57ac4c, 0x9b00dbd8}},
        {{{0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff}},
         {{0xffffffff, 0xffffffff}},
         {0x408f276d, 0x41c83b0e, 0xa20bc7c6, 0x6d5451fd}},
        {{{0x243f6a88, 0x85a308d3, 0x13198a2e, 0x03707344}},
         {{0xa4093822, 0x299f31d0}},
         {0xd16cfe09, 0x94fdcceb, 0x5001e420, 0x24126ea1}},
    };
    for (const Vector& v : vectors) {
        const auto got = r123::Philox4x32()(v.counter, v.key);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(got.v[i], v.expected[static_cast<std::size_t>(i)]);
        }
    }
    // The stream of (seed, weight, sample) is the generator at counter (sample, block number)
    // and key (seed, weight), block after block.
    PhiloxStream zero(0, 0, 0);
    for (const std::uint32_t expected : vectors[0].expected) {
        EXPECT_EQ(zero.Next(), expected);
    }
    PhiloxStream keyed(0xa4093822, 0x299f31d0, 0x85a308d3'243f6a88);
    const auto second =
        r123::Philox4x32()({{0x243f6a88, 0x85a308d3, 1, 0}}, {{0xa4093822, 0x299f31d0}});
    for (int i = 0; i < 4; ++i) {
        keyed.Next();
    }
    EXPECT_EQ(keyed.Next(), second.v[0]);
    // A number below a bound is the high half of the word times the bound: 0x6627e8d5 x 10
    // is 3.99 x 2^32 (the word's remainder by 10 would be 1).
    EXPECT_EQ(PhiloxStream(0, 0, 0).Below(10), 3U);
}

TEST(PatternSampler, DrawsUniformSubsetsOfNonzeroValues) {
    // Each position of a uniform w-subset is taken w/n of the time. Each nonzero value v is
    // 1/(q-1) of the values, or with bit flips of probability p, p^|v| (1-p)^(m-|v|) over
    // 1 - (1-p)^m, |v| its bits set.
    struct Case {
        std::int32_t m, t, length, weight;
        double bitError;
    };
    for (const Case c : {Case{4, 2, 0, 3, 0.0}, Case{4, 2, 0, 15, 0.0}, Case{8, 8, 204, 9, 0.0},
                         Case{3, 1, 0, 6, 0.0}, Case{4, 2, 0, 5, 0.05}, Case{8, 8, 204, 9, 0.3},
                         Case{5, 2, 0, 4, 1e-9}, Case{3, 1, 0, 2, 1.0}}) {
        PatternSampler sampler({c.m, c.t, c.length, true, c.bitError}, BestKernel());
        const std::int32_t n = sampler.N();
        const std::int32_t q = 1 << c.m;
        constexpr std::uint64_t kSamples = 20000;
        std::vector<double> taken(static_cast<std::size_t>(n));
        std::vector<double> valued(static_cast<std::size_t>(q));
        for (std::uint64_t s = 0; s < kSamples; ++s) {
            const auto pattern = sampler.Draw(7, c.weight, s);
            ASSERT_EQ(pattern.positions.size(), static_cast<std::size_t>(c.weight));
            for (std::size_t i = 0; i < pattern.positions.size(); ++i) {
                ASSERT_TRUE(i == 0 || pattern.positions[i - 1] < pattern.positions[i]);
                ASSERT_GE(pattern.positions[i], 0);
                ASSERT_LT(pattern.positions[i], n);
                ASSERT_NE(pattern.values[i], 0U);
                ASSERT_LT(pattern.values[i], static_cast<Symbol>(q));
                ++taken[static_cast<std::size_t>(pattern.positions[i])];
                ++valued[pattern.values[i]];
            }
        }
        // Within 5 standard errors of the binomial counts.
        const double p = static_cast<double>(c.weight) / n;
        for (const double count : taken) {
            EXPECT_NEAR(count / kSamples, p, 5.0 * std::sqrt(p * (1 - p) / kSamples) + 1e-12);
        }
        const double draws = static_cast<double>(kSamples) * c.weight;
        const double wrong = -std::expm1(c.m * std::log1p(-c.bitError));
        for (std::int32_t v = 1; v < q; ++v) {
            const int bits = std::popcount(static_cast<std::uint32_t>(v));
            const double share =
                c.bitError == 0.0
                    ? 1.0 / (q - 1)
                    : std::pow(c.bitError, bits) * std::pow(1.0 - c.bitError, c.m - bits) / wrong;
            EXPECT_NEAR(valued[static_cast<std::size_t>(v)] / draws, share,
                        5.0 * std::sqrt(share * (1 - share) / draws));
        }
    }
}

TEST(StratifiedStudy, SameTalliesForAnyNumberOfThreads) {
    // Adaptive sampling included: the rounds depend on the tallies alone.
    struct Case {
        StratifiedCode code;
        std::vector<double> points;
    };
    const Case cases[] = {{{6, 3, 0, true}, {0.1, 0.01, 1e-5}},
                          {{8, 8, 204, true}, {0.05, 1e-5}},
                          {{10, 4, 0, false}, {0.003, 1e-5}}};
    for (const auto& [code, points] : cases) {
        StudyRequest request{.code = code, .points = points, .seed = 99};
        request.precision = 0.03;
        const StudyResult one = RunStudy(request);
        // The pool's pieces add up to the patterns one sampler decodes in a row.
        PatternSampler sampler(code, BestKernel());
        WeightTally direct;
        sampler.Sample(99, code.t + 1, 0, static_cast<std::uint64_t>(one.tallies[0].patterns),
                       direct);
        EXPECT_EQ(one.tallies[0], direct);
        for (const int threads : {2, 3, 8}) {
            request.threads = threads;
            const StudyResult many = RunStudy(request);
            EXPECT_EQ(many.lastWeight, one.lastWeight);
            EXPECT_EQ(many.tallies, one.tallies) << "M=" << code.m << " -j " << threads;
        }
    }
}

TEST(StratifiedStudy, ReachesThePrecisionAskedAtEveryPoint) {
    for (const double precision : {0.05, 0.005}) {
        StudyRequest request{.code = {8, 8, 204, true}, .points = {0.5, 0.05, 0.01, 1e-4, 1e-9}};
        request.precision = precision;
        const StudyResult study = RunStudy(request);
        EXPECT_TRUE(study.precise);
        // P0 = 0.5 makes about 102 errors: weights far below them are left out, yet P0 = 0.05
        // needs those from 9 up.
        EXPECT_EQ(study.firstWeight, 9);
        request.points = {0.5};
        const StudyResult dense = RunStudy(request);
        EXPECT_GT(dense.firstWeight, 40);
        // The weights left out below hold at most half the millionth, the rest going above.
        double head = -INFINITY;
        for (int w = 9; w < dense.firstWeight; ++w) {
            head = LogAdd(head, LogBinomialWeight(204, w, 0.5));
        }
        for (const Rate rate : {Rate::kFER, Rate::kSER, Rate::kBER}) {
            EXPECT_LE(head - Of(dense.points[0], rate).value, std::log(0.5e-6));
        }
        // Where the weights fall off slowly (n = 1023), many small ones must add up.
        StudyRequest wide{.code = {10, 4, 0, true}, .points = {0.5}};
        wide.samples = 16;
        const StudyResult slow = RunStudy(wide);
        double wideHead = -INFINITY;
        for (int w = 5; w < slow.firstWeight; ++w) {
            wideHead = LogAdd(wideHead, LogBinomialWeight(1023, w, 0.5));
        }
        EXPECT_GT(slow.firstWeight, 300);
        for (const Rate rate : {Rate::kFER, Rate::kSER, Rate::kBER}) {
            EXPECT_LE(wideHead - Of(slow.points[0], rate).value, std::log(0.5e-6));
        }
        for (const StratifiedPoint& point : study.points) {
            // The weights left out hold at most a millionth of every rate.
            EXPECT_NEAR(point.tail, LogBinomialTail(204, study.lastWeight + 1, point.P0), 1e-9);
            for (const Rate rate : {Rate::kFER, Rate::kSER, Rate::kBER}) {
                const LogEstimate& e = Of(point, rate);
                EXPECT_LE(point.tail - e.value, std::log(1e-6)) << point.P0;
                EXPECT_LE(High(e) / Value(e) - 1.0, precision) << point.P0;
                EXPECT_LE(1.0 - Low(e) / Value(e), precision) << point.P0;
            }
        }
        // No weight takes more patterns than a round's growth past what the precision needs.
        EXPECT_LT(study.tallies.front().patterns, precision > 0.01 ? 1024 : 65536);
    }
}

// Runs the exact engine at P0 in batches from seeds of their own; the rates' standard errors
// come from the spread of the batch means.
struct MonteCarlo {
    std::array<double, 3> rates{};   // FER, SER, BER
    std::array<double, 3> errors{};  // their standard errors
};

MonteCarlo RunMonteCarlo(std::int32_t m, std::int32_t t, std::int32_t length, float P0,
                         std::int32_t blocksPerBatch) {
    constexpr int kBatches = 40;
    MadeEngine made =
        PlanEngine({.m = m, .t = t, .length = length, .largestP0 = P0, .threads = 2}).Make();
    const std::int32_t n = length > 0 ? length : (1 << m) - 1;
    const double k = n - 2 * t;
    std::array<double, 3> sum{};
    std::array<double, 3> squares{};
    for (int b = 0; b < kBatches; ++b) {
        PointStatistics statistics;
        made.engine->StartPoint(P0, 1000 + b);
        while (statistics.blocks < blocksPerBatch) {
            made.engine->RunBlocks(statistics, blocksPerBatch);  // returns after each wrong block
        }
        const double blocks = statistics.blocks;
        const std::array<double, 3> rates = {
            statistics.errorBlocks / blocks,
            static_cast<double>(statistics.errorSymbols) / blocks / k,
            static_cast<double>(statistics.bitErrors) / blocks / (k * m)};
        for (std::size_t r = 0; r < 3; ++r) {
            sum[r] += rates[r];
            squares[r] += rates[r] * rates[r];
        }
    }
    MonteCarlo result;
    for (std::size_t r = 0; r < 3; ++r) {
        result.rates[r] = sum[r] / kBatches;
        const double variance =
            (squares[r] - sum[r] * sum[r] / kBatches) / (kBatches - 1) / kBatches;
        result.errors[r] = std::sqrt(std::max(variance, 0.0));
    }
    return result;
}

TEST(StratifiedStudy, AgreesWithTheExactEngine) {
    // Each estimate and the exact engine's lie within each other's 95 % intervals: their
    // difference is at most the sum of the two half-widths.
    struct Case {
        std::int32_t m, t, length;
        std::vector<float> points;
        std::int32_t blocksPerBatch;
    };
    const Case cases[] = {
        {4, 2, 0, {0.3F, 0.2F, 0.1F, 0.05F}, 5000},
        {6, 3, 0, {0.1F, 0.5F}, 5000},
        {8, 16, 0, {0.05F, 0.04F, 0.03F, 0.025F}, 25000},
        {8, 8, 204, {0.03F}, 20000},
    };
    const double z = NormalQuantile(kConfidence);
    for (const Case& c : cases) {
        StudyRequest request{.code = {c.m, c.t, c.length, true}, .seed = 5, .threads = 2};
        for (const float P0 : c.points) {
            request.points.push_back(P0);
        }
        request.precision = 0.02;
        const StudyResult study = RunStudy(request);
        for (std::size_t p = 0; p < c.points.size(); ++p) {
            const MonteCarlo mc = RunMonteCarlo(c.m, c.t, c.length, c.points[p], c.blocksPerBatch);
            for (const Rate rate : {Rate::kFER, Rate::kSER, Rate::kBER}) {
                const auto r = static_cast<std::size_t>(rate);
                const LogEstimate& e = Of(study.points[p], rate);
                const double gap = Value(e) - mc.rates[r];
                const double half = gap > 0 ? Value(e) - Low(e) : High(e) - Value(e);
                // (Up to rounding where every block errs: the high end is then 1 - P(w <= t).)
                EXPECT_LE(std::abs(gap), half + z * mc.errors[r] + 1e-12)
                    << "M=" << c.m << " T=" << c.t << " P0=" << c.points[p] << " rate " << r
                    << ": stratified " << Value(e) << ", exact engine " << mc.rates[r];
            }
        }
    }
}

TEST(StratifiedStudy, AgreesWithMonteCarloOnChannelsThatFlipBits) {
    // Each point samples values by its own bit error probability: mostly single bits, so that
    // a wrong symbol costs fewer bits than a uniform value would. Monte-Carlo runs the channel's
    // frames in batches from seeds of their own, and the two agree within the stratified
    // interval and four of Monte-Carlo's standard errors, so that a dozen comparisons hold
    // together.
    struct Case {
        std::int32_t m, t;
        rs_sim::Channel channel;
        rs_sim::Points points;
        std::int32_t blocksPerBatch;
    };
    const Case cases[] = {
        {4, 2, rs_sim::BinarySymmetricChannel{}, rs_sim::Points::Values({0.05F, 0.02F}), 4000},
        {8, 16, rs_sim::BpskAwgnChannel{}, *rs_sim::Points::EbN0List("5,5.75").value, 6000},
    };
    constexpr int kBatches = 30;
    for (const Case& c : cases) {
        rs_sim::Experiment experiment{.code = {c.m, c.t, std::nullopt},
                                      .channel = c.channel,
                                      .points = c.points,
                                      .stop = {c.blocksPerBatch, c.blocksPerBatch},
                                      .threads = 2};
        // FER, SER, BER, and the channel's SER and BER.
        std::vector<std::array<double, 5>> sum(c.points.values.size());
        std::vector<std::array<double, 5>> squares(c.points.values.size());
        for (int b = 0; b < kBatches; ++b) {
            experiment.seed = 100 + b;
            const auto run = rs_sim::Simulate(experiment);
            ASSERT_TRUE(run) << run.error;
            for (std::size_t p = 0; p < sum.size(); ++p) {
                const rs_sim::PointResult& point = run.value->points[p];
                const std::array<double, 5> rates = {point.FER, point.SER, point.BER,
                                                     point.channelSER, point.channelBER};
                for (std::size_t r = 0; r < rates.size(); ++r) {
                    sum[p][r] += rates[r];
                    squares[p][r] += rates[r] * rates[r];
                }
            }
        }
        experiment.method = rs_sim::Stratified{.samples = std::nullopt, .precision = 0.02};
        const auto study = rs_sim::Simulate(experiment);
        ASSERT_TRUE(study) << study.error;
        ASSERT_EQ(study.value->stratified->pointWeights.size(), sum.size());
        for (std::size_t p = 0; p < sum.size(); ++p) {
            const StratifiedPoint& point = study.value->stratified->points[p];
            // The channel's probabilities, against its measured rates (millions of symbols).
            EXPECT_NEAR(point.channelSER, sum[p][3] / kBatches, 0.01 * point.channelSER);
            EXPECT_NEAR(point.channelBER, sum[p][4] / kBatches, 0.01 * point.channelBER);
            for (const Rate rate : {Rate::kFER, Rate::kSER, Rate::kBER}) {
                const auto r = static_cast<std::size_t>(rate);
                const double mean = sum[p][r] / kBatches;
                const double error = std::sqrt(
                    std::max((squares[p][r] - sum[p][r] * mean) / (kBatches - 1) / kBatches, 0.0));
                const LogEstimate& e = Of(point, rate);
                const double gap = Value(e) - mean;
                const double half = gap > 0 ? Value(e) - Low(e) : High(e) - Value(e);
                EXPECT_LE(std::abs(gap), half + 4.0 * error + 1e-12)
                    << rs_sim::ChannelName(c.channel) << " P0=" << point.P0 << " rate " << r
                    << ": stratified " << Value(e) << ", Monte-Carlo " << mean;
            }
        }
    }
}

TEST(StratifiedStudy, FerIsTheBoundedDistanceTheoryWhereNoBlockIsFlaggedButRight) {
    // With many more information symbols than parity, a block of more than t errors nearly
    // always has one in its information: the FER is the chance of more than t hits, within its
    // interval, at any depth.
    for (const StratifiedCode code :
         {StratifiedCode{8, 16, 0, true}, StratifiedCode{6, 3, 0, true}}) {
        StudyRequest request{.code = code, .points = {0.1, 0.05, 1e-3, 1e-12}, .seed = 3};
        const StudyResult study = RunStudy(request);
        for (const StratifiedPoint& point : study.points) {
            const LogEstimate& fer = Of(point, Rate::kFER);
            // Logarithms, equal up to rounding where every sampled block came out wrong.
            EXPECT_LE(fer.low, point.theoryFER + 1e-12) << "P0=" << point.P0;
            EXPECT_GE(fer.high, point.theoryFER - 1e-12) << "P0=" << point.P0;
        }
    }
}

TEST(StratifiedStudy, TheoryExceedsTheFerByTheFlaggedBlocksThatCameOutRight) {
    // A pattern of more than t errors that the decoder does not flag was decoded to a codeword
    // within t of the word, so not to the one sent: it is a miscorrection. Every other pattern
    // is flagged, wrong or right, and the bounded-distance FER exceeds the FER by exactly the
    // flagged blocks that came out right (all errors in the parity, the information intact).
    for (const StratifiedCode code : {StratifiedCode{4, 2, 0, true}, StratifiedCode{4, 2, 9, true},
                                      StratifiedCode{6, 3, 0, true}}) {
        StudyRequest request{.code = code, .points = {0.3, 0.05}, .seed = 8};
        request.samples = 2000;
        const StudyResult study = RunStudy(request);
        double rightButFlagged = 0.0;
        for (std::size_t i = 0; i < study.tallies.size(); ++i) {
            const WeightTally& tally = study.tallies[i];
            EXPECT_EQ(tally.failures + tally.miscorrections, tally.patterns)
                << "M=" << code.m << " w=" << study.firstWeight + static_cast<int>(i);
            rightButFlagged +=
                std::exp(LogBinomialWeight(code.length > 0 ? code.length : 15,
                                           study.firstWeight + static_cast<int>(i), 0.05)) *
                static_cast<double>(tally.patterns - tally.wrongBlocks) /
                static_cast<double>(tally.patterns);
        }
        if (code.m == 4) {
            const StratifiedPoint& point = study.points[1];
            EXPECT_GT(rightButFlagged, 0.0) << "RS(15,11) and RS(9,5) keep some blocks right";
            EXPECT_NEAR(std::exp(point.theoryFER) - Value(Of(point, Rate::kFER)), rightButFlagged,
                        1e-12 + std::exp(point.tail));
        }
    }
}

TEST(StratifiedStudy, MiscorrectionsOfUniformWordsAreTheSpheresShare) {
    // At P0 = (q-1)/q every received word is uniform, and it is delivered wrong unflagged
    // exactly when it lies within t of another codeword: V_t / q^2t - V_t / q^n, with V_t the
    // volume of a sphere of radius t.
    struct Case {
        std::int32_t m, t;
    };
    for (const Case c : {Case{3, 1}, Case{4, 2}, Case{5, 2}}) {
        const std::int64_t q = std::int64_t{1} << c.m;
        const std::int64_t n = q - 1;
        double volume = 0.0;
        for (std::int64_t i = 0; i <= c.t; ++i) {
            volume +=
                std::exp(std::lgamma(n + 1.0) - std::lgamma(i + 1.0) - std::lgamma(n - i + 1.0)) *
                std::pow(q - 1.0, static_cast<double>(i));
        }
        const double expected = volume / std::pow(static_cast<double>(q), 2.0 * c.t) -
                                volume / std::pow(static_cast<double>(q), static_cast<double>(n));
        StudyRequest request{.code = {c.m, c.t, 0, true},
                             .points = {static_cast<double>(q - 1) / static_cast<double>(q)},
                             .seed = 11,
                             .threads = 2};
        request.samples = 20000;
        const StudyResult study = RunStudy(request);
        const LogEstimate& miscorrections = Of(study.points[0], Rate::kMiscorrection);
        EXPECT_LE(Low(miscorrections), expected) << "M=" << c.m << " T=" << c.t;
        EXPECT_GE(High(miscorrections), expected) << "M=" << c.m << " T=" << c.t;
    }
}

TEST(StratifiedStudy, IntervalsCoverTheTruthAboutNinetyFivePercentOfTheTime) {
    // 300 studies of few patterns each, against one of many: the share of intervals holding
    // the precise value, pooled over three points, is 93 % to 99 % for FER, SER and BER.
    const StratifiedCode code{4, 2, 0, true};
    const std::vector<double> points = {0.3, 0.1, 0.01};
    StudyRequest precise{.code = code, .points = points, .seed = 1, .threads = 2};
    precise.samples = std::int64_t{1} << 18;
    const StudyResult truth = RunStudy(precise);
    constexpr int kSeeds = 300;
    std::array<int, 3> covered{};
    for (int seed = 2; seed < 2 + kSeeds; ++seed) {
        StudyRequest request{
            .code = code, .points = points, .seed = static_cast<std::uint32_t>(seed), .threads = 2};
        request.samples = 100;
        const StudyResult study = RunStudy(request);
        for (std::size_t p = 0; p < points.size(); ++p) {
            for (const Rate rate : {Rate::kFER, Rate::kSER, Rate::kBER}) {
                const LogEstimate& e = Of(study.points[p], rate);
                const double reference = Of(truth.points[p], rate).value;
                covered[static_cast<std::size_t>(rate)] +=
                    e.low <= reference && reference <= e.high ? 1 : 0;
            }
        }
    }
    for (std::size_t r = 0; r < 3; ++r) {
        const double share = covered[r] / (3.0 * kSeeds);
        EXPECT_GE(share, 0.93) << "rate " << r;
        EXPECT_LE(share, 0.99) << "rate " << r;
        std::printf("coverage of rate %zu: %.3f\n", r, share);
    }
}

TEST(BinomialWeights, KeepTheirDigitsFarBelowTheRangeOfADouble) {
    // C(255,17) 1e-204 (1 - 1e-12)^238 = 1.0e-178 (log10 C(255,17) = 25.97...).
    const double log10Weight = LogBinomialWeight(255, 17, 1e-12) / std::log(10.0);
    EXPECT_NEAR(
        log10Weight,
        -204.0 + std::log10(std::exp(std::lgamma(256.0) - std::lgamma(18.0) - std::lgamma(239.0))),
        1e-9);
    EXPECT_LT(log10Weight, -170.0);
    // The tail beyond t is the bounded-distance FER; at moderate P0 it matches the direct sum.
    double direct = 0.0;
    for (int w = 3; w <= 15; ++w) {
        direct += std::exp(LogBinomialWeight(15, w, 0.1));
    }
    EXPECT_NEAR(std::exp(LogBinomialTail(15, 3, 0.1)), direct, 1e-15);
    EXPECT_EQ(LogBinomialTail(15, 16, 0.1), -INFINITY);
    EXPECT_EQ(LogBinomialTail(15, 0, 0.0), 0.0);
    EXPECT_EQ(LogBinomialTail(15, 1, 0.0), -INFINITY);
    EXPECT_EQ(LogBinomialTail(15, 15, 1.0), 0.0);
}

}  // namespace
}  // namespace rs
