// The q-ary channel that erases, and punctured codes: what the runs count is checked against
// what a bounded-distance errors-and-erasures decoder must give, summed here independently.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "engine/stratified/pattern_sampler.h"
#include "engine/stratified/stratified_study.h"
#include "rs_sim/experiment.h"
#include "rs_sim/simulator.h"
#include "stats/bpsk_threshold.h"
#include "stats/channel_model.h"
#include "stats/confidence_interval.h"

namespace rs {
namespace {

using rs_sim::LogEstimate;
using rs_sim::QarySymmetricChannel;

double Choose(std::int32_t n, std::int32_t r) {
    return std::exp(std::lgamma(n + 1.0) - std::lgamma(r + 1.0) - std::lgamma(n - r + 1.0));
}

// P(2e + s > 2t - punctured) for e errors and s erasures among `sent` symbols, term by term.
double FailingChance(std::int32_t sent, std::int32_t t, std::int32_t punctured, double P0,
                     double PE) {
    double chance = 0.0;
    for (std::int32_t e = 0; e <= sent; ++e) {
        for (std::int32_t s = 0; e + s <= sent; ++s) {
            if (2 * e + s + punctured > 2 * t) {
                chance += Choose(sent, e) * Choose(sent - e, s) * std::pow(P0, e) *
                          std::pow(PE, s) * std::pow(1.0 - P0 - PE, sent - e - s);
            }
        }
    }
    return chance;
}

rs_sim::Experiment ErasureRun(std::int32_t m, std::int32_t t, double erasure,
                              std::vector<float> points, std::int32_t blocks) {
    rs_sim::Experiment experiment;
    experiment.code = {m, t, {}};
    experiment.channel = QarySymmetricChannel{erasure};
    experiment.points = rs_sim::Points::Values(std::move(points));
    experiment.stop = {blocks, blocks};
    experiment.threads = 2;
    return experiment;
}

// A block is flagged or miscorrected exactly when 2e + s > 2t, so their share holds P(2e + s >
// 2t), the trinomial sum over the sent symbols with the punctured ones erased for certain; the
// report's theory is that sum.
TEST(ErasureChannel, FlaggedOrMiscorrectedBlocksMatchTheBoundedDistanceFer) {
    struct Case {
        double P0;
        double PE;
        std::int32_t puncture;
    };
    const Case cases[] = {
        {0.02, 0.05, 0}, {0.05, 0.1, 0}, {0.1, 0.02, 0}, {0.03, 0.05, 1}, {0.02, 0.0, 3}};
    const std::int32_t n = 15;
    const std::int32_t t = 2;
    for (const Case& c : cases) {
        rs_sim::Experiment experiment = ErasureRun(4, t, c.PE, {static_cast<float>(c.P0)}, 20000);
        experiment.puncture = c.puncture;
        const rs_sim::Expected<rs_sim::Results> results = rs_sim::Simulate(experiment);
        ASSERT_TRUE(results) << results.error;
        const rs_sim::PointResult& point = results.value->points.front();
        const double P0 = static_cast<double>(point.P0);
        const std::int32_t sent = n - c.puncture;
        double theory = 0.0;
        // Within reach every error and erasure is corrected, beyond it none is delivered right:
        // the errors and erasures corrected a block, and their squares for the spread.
        double errors = 0.0;
        double erasures = 0.0;
        double squares = 0.0;
        for (std::int32_t e = 0; e <= sent; ++e) {
            for (std::int32_t s = 0; e + s <= sent; ++s) {
                const double chance = Choose(sent, e) * Choose(sent - e, s) * std::pow(P0, e) *
                                      std::pow(c.PE, s) * std::pow(1.0 - P0 - c.PE, sent - e - s);
                if (2 * e + s + c.puncture > 2 * t) {
                    theory += chance;
                } else {
                    errors += e * chance;
                    erasures += s * chance;
                    squares += (e * e + s * s) * chance;
                }
            }
        }
        const std::string name = "P0 " + std::to_string(P0) + " PE " + std::to_string(c.PE) +
                                 " puncture " + std::to_string(c.puncture);
        EXPECT_NEAR(point.theoryFER, theory, 1e-12 * theory) << name;
        const rs_sim::Counts& counts = point.counts;
        const Interval wide =
            ClopperPearson(counts.failures + counts.miscorrections, counts.blocks, 0.9999);
        EXPECT_GE(theory, wide.low) << name;
        EXPECT_LE(theory, wide.high) << name;
        // The channel erased PE of the sent symbols.
        const double sentSymbols = static_cast<double>(counts.blocks) * sent;
        EXPECT_NEAR(static_cast<double>(counts.channelErasures) / sentSymbols, c.PE,
                    4.0 * std::sqrt(c.PE * (1 - c.PE) / sentSymbols))
            << name;
        const double blocks = counts.blocks;
        const double spread = 4.0 * std::sqrt(squares / blocks);
        EXPECT_NEAR(static_cast<double>(counts.errorsCorrected) / blocks, errors, spread) << name;
        EXPECT_NEAR(static_cast<double>(counts.erasuresCorrected) / blocks, erasures, spread)
            << name;
    }
}

// With s parity symbols punctured and every received symbol uniform (P0 = (q - 1) / q), a word
// decodes unflagged exactly when it lies within t' = (2t - s) / 2 of a codeword of the punctured
// code, whose spheres are disjoint: the share V_t'(n - s) / q^(2t - s), V_r(N) the sum over
// i <= r of C(N, i) (q - 1)^i.
TEST(ErasureChannel, UniformWordsDecodeAsOftenAsTheSpheresCover) {
    struct Case {
        std::int32_t m, t, s, blocks;
    };
    const Case cases[] = {{4, 2, 1, 20000}, {4, 2, 2, 20000}, {4, 2, 3, 20000}, {4, 2, 4, 20000},
                          {5, 2, 1, 20000}, {5, 2, 2, 20000}, {5, 2, 3, 20000}, {5, 2, 4, 20000},
                          {6, 3, 2, 20000}, {8, 2, 1, 100000}};
    for (const Case& c : cases) {
        const std::int32_t q = 1 << c.m;
        const std::int32_t n = q - 1;
        rs_sim::Experiment experiment = ErasureRun(
            c.m, c.t, 0.0, {static_cast<float>(q - 1) / static_cast<float>(q)}, c.blocks);
        experiment.puncture = c.s;
        const rs_sim::Expected<rs_sim::Results> results = rs_sim::Simulate(experiment);
        ASSERT_TRUE(results) << results.error;
        const rs_sim::Counts& counts = results.value->points.front().counts;
        double volume = 0.0;
        for (std::int32_t i = 0; i <= (2 * c.t - c.s) / 2; ++i) {
            volume += Choose(n - c.s, i) * std::pow(q - 1.0, i);
        }
        const double expected = volume / std::pow(q, 2 * c.t - c.s);
        const double decoded =
            1.0 - static_cast<double>(counts.failures) / static_cast<double>(counts.blocks);
        const double sigma = std::sqrt(expected * (1.0 - expected) / counts.blocks);
        EXPECT_NEAR(decoded, expected, 4.0 * sigma + 1e-12) << "q " << q << " s " << c.s;
    }
}

// Delivering a flagged block's received information changes its symbols and bits, never the
// verdicts; above the FER's cliff, where blind corrections of failed blocks add wrong symbols,
// it delivers fewer wrong bits (RS(15,11), and RS(255,223) at P0 0.08, FER about 0.9). With
// erasures alone, a block is wrong only beyond 2t erasures, where it delivers its erased
// information symbols as 0: SER = PE P(Bin(n - 1, PE) >= 2t), and half their bits.
TEST(ErasureChannel, ReceivedDeliveryKeepsTheVerdictsAndCountsErasedSymbolsWrong) {
    for (rs_sim::Experiment decoded :
         {ErasureRun(4, 2, 0.1, {0.1F, 0.03F}, 20000), ErasureRun(8, 16, 0.01, {0.08F}, 400)}) {
        rs_sim::Experiment received = decoded;
        received.onFailure = rs_sim::Experiment::OnFailure::kReceived;
        const auto first = rs_sim::Simulate(decoded);
        const auto second = rs_sim::Simulate(received);
        ASSERT_TRUE(first && second);
        for (std::size_t i = 0; i < first.value->points.size(); ++i) {
            const rs_sim::Counts& a = first.value->points[i].counts;
            const rs_sim::Counts& b = second.value->points[i].counts;
            EXPECT_EQ(a.errorBlocks, b.errorBlocks);
            EXPECT_EQ(a.failures, b.failures);
            EXPECT_EQ(a.miscorrections, b.miscorrections);
            EXPECT_EQ(a.errorsCorrected, b.errorsCorrected);
        }
        EXPECT_LT(second.value->points.front().BER, first.value->points.front().BER)
            << "M=" << decoded.code.m;
    }

    const double PE = 0.25;
    rs_sim::Experiment erasuresOnly = ErasureRun(4, 2, PE, {0.0F}, 40000);
    erasuresOnly.onFailure = rs_sim::Experiment::OnFailure::kReceived;
    const auto run = rs_sim::Simulate(erasuresOnly);
    ASSERT_TRUE(run) << run.error;
    const rs_sim::PointResult& point = run.value->points.front();
    double tail = 0.0;  // P(Bin(14, PE) >= 4)
    for (std::int32_t s = 4; s <= 14; ++s) {
        tail += Choose(14, s) * std::pow(PE, s) * std::pow(1.0 - PE, 14 - s);
    }
    const double ser = PE * tail;
    const double symbols = static_cast<double>(point.transmittedSymbols);
    // Erased symbols of one block come together: a generous spread of k = 11 per block.
    const double sigma = std::sqrt(ser * 11.0 / symbols);
    EXPECT_NEAR(point.SER, ser, 4.0 * sigma);
    EXPECT_NEAR(point.BER, ser / 2.0, 4.0 * sigma);
    EXPECT_EQ(point.counts.miscorrections, 0);
    // Every erasure of a block with at most 2t of them is corrected: n PE P(Bin(n - 1, PE) < 2t)
    // a block, each block's at most 2t.
    const double corrected = 15.0 * PE * (1.0 - tail);
    const auto blocks = static_cast<double>(point.counts.blocks);
    EXPECT_NEAR(static_cast<double>(point.counts.erasuresCorrected) / blocks, corrected,
                4.0 * std::sqrt(4.0 * corrected / blocks));
    EXPECT_EQ(point.counts.errorsCorrected, 0);

    // The strata deliver the same: within about four sigma, twice the 95 % half-width.
    erasuresOnly.method = rs_sim::Stratified{.samples = std::nullopt, .precision = 0.01};
    const auto study = rs_sim::Simulate(erasuresOnly);
    ASSERT_TRUE(study) << study.error;
    const StratifiedPoint& estimate = study.value->stratified->points.front();
    for (const auto& [rate, expected] :
         {std::pair{Rate::kSER, ser}, std::pair{Rate::kBER, ser / 2.0}}) {
        const LogEstimate& e = estimate.rates[static_cast<std::size_t>(rate)];
        const double value = std::exp(e.value);
        const double half = expected < value ? value - std::exp(e.low) : std::exp(e.high) - value;
        EXPECT_NEAR(value, expected, 2.0 * half) << "rate " << static_cast<int>(rate);
    }
}

// Monte-Carlo in batches from seeds of their own, against the stratified method by errors and
// erasures: each rate within the stratified interval and four of Monte-Carlo's standard errors,
// on the q-ary channel and on BPSK erasing below a threshold (P0 its Eb/N0, PE its THETA).
// Every block with 2e + s > 2t is flagged or miscorrected, so that share is P(2e + s > 2t), and
// in the strata (each of which holds only such blocks) it is the sampled mass exactly.
TEST(ErasureChannel, StratifiedAgreesWithMonteCarloAndTheBoundedDistanceFer) {
    struct Case {
        std::int32_t m, t;
        double P0, PE;
        std::int32_t puncture;
        bool received;
        std::int32_t blocksPerBatch;
        bool bpsk = false;
    };
    const Case cases[] = {
        {8, 16, 0.05, 0.02, 0, false, 400}, {8, 16, 0.03, 0.06, 2, false, 400},
        {8, 16, 0.02, 0.1, 0, true, 400},   {4, 2, 0.05, 0.05, 0, true, 2000},
        {4, 2, 0.03, 0.04, 1, false, 2000}, {4, 2, 3.0, 0.3, 0, false, 2000, true},
    };
    constexpr int kBatches = 20;
    for (const Case& c : cases) {
        rs_sim::Experiment experiment =
            ErasureRun(c.m, c.t, c.PE, {static_cast<float>(c.P0)}, c.blocksPerBatch);
        experiment.puncture = c.puncture;
        if (c.received) {
            experiment.onFailure = rs_sim::Experiment::OnFailure::kReceived;
        }
        double pError = c.P0;
        double pErasure = c.PE;
        if (c.bpsk) {
            experiment.channel = rs_sim::BpskAwgnChannel{c.PE};
            const ChannelModel model =
                ModelChannel(experiment.channel, {c.m, (1 << c.m) - 1, c.t, c.puncture}, c.P0)
                    .model.value();
            pError = model.SymbolErrorProbability(c.m);
            pErasure = model.SymbolErasureProbability(c.m);
        }
        const std::string name = "M=" + std::to_string(c.m) + " P0=" + std::to_string(c.P0) +
                                 " PE=" + std::to_string(c.PE) +
                                 " puncture=" + std::to_string(c.puncture);
        std::array<double, 3> sum{};  // FER, SER, BER
        std::array<double, 3> squares{};
        rs_sim::Counts all;
        for (int b = 0; b < kBatches; ++b) {
            experiment.seed = 100 + b;
            const auto run = rs_sim::Simulate(experiment);
            ASSERT_TRUE(run) << run.error;
            const rs_sim::PointResult& point = run.value->points.front();
            const std::array<double, 3> rates = {point.FER, point.SER, point.BER};
            for (std::size_t r = 0; r < rates.size(); ++r) {
                sum[r] += rates[r];
                squares[r] += rates[r] * rates[r];
            }
            all.blocks += point.counts.blocks;
            all.failures += point.counts.failures;
            all.miscorrections += point.counts.miscorrections;
        }
        // The stratified method takes P0 as its decimal text reads.
        const std::int32_t sent = (1 << c.m) - 1 - c.puncture;
        const double theory = FailingChance(sent, c.t, c.puncture, pError, pErasure);
        const Interval wide = ClopperPearson(all.failures + all.miscorrections, all.blocks, 0.9999);
        EXPECT_GE(theory, wide.low) << name;
        EXPECT_LE(theory, wide.high) << name;

        experiment.method = rs_sim::Stratified{.samples = std::nullopt, .precision = 0.02};
        const auto study = rs_sim::Simulate(experiment);
        ASSERT_TRUE(study) << study.error;
        const StratifiedPoint& point = study.value->stratified->points.front();
        ASSERT_GT(study.value->stratified->patterns, 0) << name;
        EXPECT_EQ(point.eraseBelow, c.bpsk ? std::optional<double>(c.PE) : std::nullopt) << name;
        for (const Rate rate : {Rate::kFER, Rate::kSER, Rate::kBER}) {
            const auto r = static_cast<std::size_t>(rate);
            const rs_sim::LogEstimate& e = point.rates[r];
            const double mean = sum[r] / kBatches;
            const double error =
                std::sqrt(std::max(squares[r] - sum[r] * mean, 0.0) / (kBatches - 1) / kBatches);
            // The allotment reached the precision asked.
            EXPECT_LE(std::max(std::exp(e.high - e.value) - 1.0, 1.0 - std::exp(e.low - e.value)),
                      0.02 * (1.0 + 1e-9))
                << name << " rate " << r;
            const double gap = std::exp(e.value) - mean;
            const double half = gap > 0 ? std::exp(e.value) - std::exp(e.low)
                                        : std::exp(e.high) - std::exp(e.value);
            EXPECT_LE(std::abs(gap), half + 4.0 * error)
                << name << " rate " << r << ": stratified " << std::exp(e.value) << ", Monte-Carlo "
                << mean;
        }
        const double flagged =
            std::exp(point.rates[static_cast<std::size_t>(Rate::kFailure)].value) +
            std::exp(point.rates[static_cast<std::size_t>(Rate::kMiscorrection)].value);
        EXPECT_NEAR(flagged, theory, std::exp(point.tail) + 1e-9 * theory) << name;
    }
}

// Deep points, where only the exact sum can judge: the strata's flagged and miscorrected
// shares add up to P(2e + s > 2t) but for what the strata left out, which the upper end holds.
// The bit channel with unreliable bits (a per bit wrong and reliable, b unreliable) takes its
// symbol probabilities from the channel model: an erasure 1 - (1 - b)^m, an error
// (1 - b)^m - (1 - a - b)^m.
TEST(ErasureChannel, StrataAddUpToTheBoundedDistanceFer) {
    struct Case {
        std::int32_t m, t, puncture;
        double P0, PE;  // per symbol, on the q-ary channel
        double a, b;    // per bit, on the bit channel (a > 0)
    };
    const Case cases[] = {
        {8, 16, 0, 1e-3, 1e-2, 0, 0}, {8, 16, 3, 1e-4, 1e-3, 0, 0}, {6, 3, 6, 1e-6, 0.0, 0, 0},
        {4, 2, 1, 0.2, 0.3, 0, 0},    {8, 16, 0, 0, 0, 2e-3, 4e-3}, {8, 8, 2, 0, 0, 1e-4, 1e-5},
    };
    for (const Case& c : cases) {
        ChannelModel model;
        if (c.a > 0.0) {
            model.kind = ChannelModel::Kind::kBinary;
            model.bitLevel = true;
            model.errorRate = c.a;
            model.unreliableRate = c.b;
        } else {
            model.errorRate = c.P0;
            model.erasureRate = c.PE;
        }
        StudyRequest request{.code = {.m = c.m,
                                      .t = c.t,
                                      .bitError = c.a,
                                      .bitUnreliable = c.b,
                                      .punctured = c.puncture},
                             .points = {model.SymbolErrorProbability(c.m)},
                             .erasurePoints = {model.SymbolErasureProbability(c.m)},
                             .seed = 3,
                             .threads = 2,
                             .samples = 64};
        const double P0 =
            c.a > 0.0 ? std::pow(1.0 - c.b, c.m) - std::pow(1.0 - c.a - c.b, c.m) : c.P0;
        const double PE = c.a > 0.0 ? 1.0 - std::pow(1.0 - c.b, c.m) : c.PE;
        const std::int32_t sent = (1 << c.m) - 1 - c.puncture;
        const double theory = FailingChance(sent, c.t, c.puncture, P0, PE);
        const StudyResult study = RunStrataStudy(request);
        const StratifiedPoint& point = study.points.front();
        const std::string name = "M=" + std::to_string(c.m) + " puncture " +
                                 std::to_string(c.puncture) + " P0 " + std::to_string(P0) + " PE " +
                                 std::to_string(PE);
        EXPECT_NEAR(std::exp(point.theoryFER), theory, 1e-9 * theory) << name;
        const double flagged =
            std::exp(point.rates[static_cast<std::size_t>(Rate::kFailure)].value) +
            std::exp(point.rates[static_cast<std::size_t>(Rate::kMiscorrection)].value);
        EXPECT_LE(flagged, theory * (1.0 + 1e-9)) << name;
        EXPECT_GE(flagged + std::exp(point.tail), theory * (1.0 - 1e-9)) << name;
        EXPECT_LE(std::exp(point.tail), 1e-6 * theory) << name;
        // No stratum the decoder corrects for certain is sampled.
        for (const StratumKey& key : study.strata) {
            EXPECT_GT(2 * key.errors + key.erasures + c.puncture, 2 * c.t) << name;
        }
    }
}

// A wrong symbol of the bit channel with unreliable bits flips c of its m bits with probability
// C(m, c) a^c (1 - a - b)^(m - c) / P(error), whatever the stratum.
TEST(ErasureChannel, WrongSymbolsFlipBitsByTheChannelsLaw) {
    const std::int32_t m = 4;
    const double a = 0.1;
    const double b = 0.2;
    PatternSampler sampler({.m = m, .t = 2, .bitError = a, .bitUnreliable = b}, BestKernel());
    std::array<double, 5> seen{};
    double values = 0.0;
    for (std::uint64_t sample = 0; sample < 4000; ++sample) {
        const auto drawn = sampler.CountStratum(9, 3, 2, sample);
        ASSERT_EQ(drawn.values.size(), 3U);
        ASSERT_EQ(drawn.erasures.size(), 2U);
        for (const Symbol value : drawn.values) {
            seen[static_cast<std::size_t>(std::popcount(static_cast<std::uint32_t>(value)))] += 1;
            values += 1;
        }
    }
    const double error = std::pow(1.0 - b, m) - std::pow(1.0 - a - b, m);
    for (std::int32_t c = 1; c <= m; ++c) {
        const double chance = Choose(m, c) * std::pow(a, c) * std::pow(1.0 - a - b, m - c) / error;
        EXPECT_NEAR(seen[static_cast<std::size_t>(c)] / values, chance,
                    4.0 * std::sqrt(chance * (1.0 - chance) / values) + 1e-12)
            << c << " bits";
    }
}

// A stratum's e errors and s erasures fall on uniform distinct sent positions, never on the
// punctured parity, which the decoder is told is erased in every pattern.
TEST(ErasureChannel, StrataSpreadErrorsAndErasuresUniformlyOverTheSentPositions) {
    const std::int32_t punctured = 1;
    const std::int32_t errors = 2;
    const std::int32_t erasures = 3;
    PatternSampler sampler({.m = 4, .t = 2, .punctured = punctured}, BestKernel());
    std::array<double, 15> erred{};
    std::array<double, 15> erased{};
    constexpr int kSamples = 6000;
    for (std::uint64_t sample = 0; sample < kSamples; ++sample) {
        const auto drawn = sampler.CountStratum(4, errors, erasures, sample);
        ASSERT_EQ(drawn.erasures.size(), static_cast<std::size_t>(erasures + punctured));
        for (const std::int32_t p : drawn.positions) {
            erred[static_cast<std::size_t>(p)] += 1;
        }
        for (const std::int32_t p : drawn.erasures) {
            erased[static_cast<std::size_t>(p)] += 1;
        }
    }
    const std::int32_t sent = 15 - punctured;
    for (std::size_t p = 0; p < erred.size(); ++p) {
        if (p == 3) {  // the punctured parity symbol, 2t - 1
            EXPECT_EQ(erred[p], 0.0);
            EXPECT_EQ(erased[p], kSamples);
            continue;
        }
        for (const auto& [count, share] : {std::pair{erred[p], 1.0 * errors / sent},
                                           std::pair{erased[p], 1.0 * erasures / sent}}) {
            EXPECT_NEAR(count / kSamples, share, 4.0 * std::sqrt(share * (1 - share) / kSamples))
                << "position " << p;
        }
    }
}

// BPSK with erasures below a threshold on RS(15,11): per bit, wrong and reliable with
// Q((1 + THETA)/sigma) and unreliable with the normal's mass between (1 - THETA)/sigma and
// (1 + THETA)/sigma, summed here from erfc; a symbol is erased with 1 - (1 - b)^4, else wrong
// with (1 - b)^4 - (1 - a - b)^4, and flagged or miscorrected exactly when 2e + s > 2t. THETA 0
// counts exactly as hard decisions.
TEST(ErasureChannel, ThresholdChannelMatchesItsSymbolCategories) {
    struct Case {
        float ebN0;
        double threshold;
        std::int32_t puncture;
    };
    const Case cases[] = {{3.0F, 0.3, 0}, {5.0F, 0.5, 0}, {4.0F, 0.2, 1}, {2.0F, 0.0, 0}};
    const std::int32_t n = 15;
    const std::int32_t t = 2;
    for (const Case& c : cases) {
        rs_sim::Experiment experiment = ErasureRun(4, t, 0.0, {c.ebN0}, 20000);
        experiment.channel = rs_sim::BpskAwgnChannel{c.threshold};
        experiment.puncture = c.puncture;
        const rs_sim::Expected<rs_sim::Results> results = rs_sim::Simulate(experiment);
        ASSERT_TRUE(results) << results.error;
        const rs_sim::PointResult& point = results.value->points.front();
        const std::int32_t sent = n - c.puncture;
        const double inverse = std::sqrt(2.0 * 11.0 / sent * std::pow(10.0, c.ebN0 / 10.0));
        const double root2 = std::sqrt(2.0);
        const double a = 0.5 * std::erfc((1.0 + c.threshold) * inverse / root2);
        const double b = 0.5 * (std::erfc((1.0 - c.threshold) * inverse / root2) -
                                std::erfc((1.0 + c.threshold) * inverse / root2));
        const double pErasure = 1.0 - std::pow(1.0 - b, 4);
        const double pError = std::pow(1.0 - b, 4) - std::pow(1.0 - a - b, 4);
        double theory = 0.0;
        for (std::int32_t e = 0; e <= sent; ++e) {
            for (std::int32_t s = 0; e + s <= sent; ++s) {
                if (2 * e + s + c.puncture > 2 * t) {
                    theory += Choose(sent, e) * Choose(sent - e, s) * std::pow(pError, e) *
                              std::pow(pErasure, s) *
                              std::pow(1.0 - pError - pErasure, sent - e - s);
                }
            }
        }
        const std::string name = "Eb/N0 " + std::to_string(c.ebN0) + " THETA " +
                                 std::to_string(c.threshold) + " puncture " +
                                 std::to_string(c.puncture);
        EXPECT_NEAR(point.theoryFER, theory, 1e-9 * theory) << name;
        ASSERT_TRUE(point.eraseBelow) << name;
        EXPECT_EQ(*point.eraseBelow, c.threshold) << name;
        const rs_sim::Counts& counts = point.counts;
        const Interval wide =
            ClopperPearson(counts.failures + counts.miscorrections, counts.blocks, 0.9999);
        EXPECT_GE(theory, wide.low) << name;
        EXPECT_LE(theory, wide.high) << name;
        EXPECT_GT(counts.failures + counts.miscorrections, 50) << name;
        const double sentSymbols = static_cast<double>(counts.blocks) * sent;
        EXPECT_NEAR(static_cast<double>(counts.channelErasures) / sentSymbols, pErasure,
                    4.0 * std::sqrt(pErasure * (1 - pErasure) / sentSymbols) + 1e-12)
            << name;
        if (c.threshold == 0.0) {
            rs_sim::Experiment hard = experiment;
            hard.channel = rs_sim::BpskAwgnChannel{};
            const rs_sim::Expected<rs_sim::Results> plain = rs_sim::Simulate(hard);
            ASSERT_TRUE(plain) << plain.error;
            EXPECT_EQ(plain.value->points.front().counts, counts);
            EXPECT_EQ(plain.value->points.front().theoryFER, point.theoryFER);
        }
    }
}

// The unreliable share without cancellation: for a short interval it is the normal density's
// mass there, 2 THETA/sigma phi(1/sigma) to first order (relative error about (THETA/sigma)^2 /
// sigma^2), where the tails' difference would have lost every digit; at THETA 0 it is 0 and
// the wrong share is the hard-decision one, bit for bit.
TEST(ErasureChannel, UnreliableShareKeepsItsDigitsForTinyThresholds) {
    for (const double ebN0 : {0.0, 6.0, 12.0}) {
        const double rate = 11.0 / 15.0;
        const double inverse = std::sqrt(2.0 * rate * std::pow(10.0, ebN0 / 10.0));
        const double density =
            std::exp(-0.5 * inverse * inverse) / std::sqrt(2.0 * std::numbers::pi);
        for (const double threshold : {1e-12, 1e-9, 1e-6}) {
            const BitCategories bits = BpskCategories(ebN0, rate, threshold);
            const double expected = 2.0 * threshold * inverse * density;
            EXPECT_NEAR(bits.unreliable, expected, 1e-9 * expected)
                << "Eb/N0 " << ebN0 << " THETA " << threshold;
        }
        const BitCategories hard = BpskCategories(ebN0, rate, 0.0);
        EXPECT_EQ(hard.unreliable, 0.0);
        EXPECT_EQ(hard.wrong, BpskBitErrorProbability(ebN0, rate));
    }
}

// The best threshold's FER is within 1e-9 of the least of a grid of 1001 thresholds over
// [0, 1], at points from where every threshold fails to deep ones.
TEST(ErasureChannel, BestThresholdIsTheGridsMinimum) {
    struct Case {
        std::int32_t m;
        std::int32_t t;
        std::int32_t puncture;
        double ebN0;
    };
    const Case cases[] = {{4, 2, 0, 4.0},  {4, 2, 1, 6.0},   {8, 16, 0, 5.0}, {8, 16, 0, 6.0},
                          {8, 16, 4, 6.5}, {8, 16, 0, 10.0}, {6, 4, 0, -2.0}};
    for (const Case& c : cases) {
        const std::int32_t n = (1 << c.m) - 1;
        const double rate = static_cast<double>(n - 2 * c.t) / (n - c.puncture);
        const auto logFer = [&](double threshold) {
            return LogThresholdBlockErrorProbability(c.ebN0, rate, threshold, c.m, n, c.t,
                                                     c.puncture);
        };
        double grid = logFer(0.0);
        double gridAt = 0.0;
        for (int i = 1; i <= 1000; ++i) {
            const double threshold = i / 1000.0;
            if (logFer(threshold) < grid) {
                grid = logFer(threshold);
                gridAt = threshold;
            }
        }
        const double best = BestErasureThreshold(c.ebN0, rate, c.m, n, c.t, c.puncture);
        const std::string name = "M=" + std::to_string(c.m) + " Eb/N0 " + std::to_string(c.ebN0) +
                                 " grid THETA " + std::to_string(gridAt);
        EXPECT_LE(logFer(best), grid + 1e-9) << name << " best " << best;
        if (grid < logFer(0.0) - 1e-3) {
            EXPECT_NEAR(best, gridAt, 2e-3) << name;  // a minimum worth having, away from 0
        } else if (grid >= logFer(0.0) - 1e-12) {
            EXPECT_EQ(best, 0.0) << name;  // flat, or least at 0: hard decisions
        }
    }
}

TEST(ErasureChannel, OutOfReachSettingsAreRefusedByName) {
    struct Case {
        double erasure;
        float P0;
        std::int32_t puncture;
        std::string says;
    };
    const Case cases[] = {
        {0.6, 0.5F, 0, "P0=0.5 and the erasure probability 0.6 exceed 1"},
        {1.5, 0.0F, 0, "the erasure probability 1.5 is not a probability"},
        {0.1, 0.1F, 5, "puncture 5 is out of range: 0 to 2T=4"},
        {0.1, 0.1F, -1, "puncture -1 is out of range"},
    };
    for (const Case& c : cases) {
        rs_sim::Experiment experiment = ErasureRun(4, 2, c.erasure, {c.P0}, 100);
        experiment.puncture = c.puncture;
        EXPECT_NE(rs_sim::CheckExperiment(experiment).find(c.says), std::string::npos)
            << rs_sim::CheckExperiment(experiment);
    }
    struct Threshold {
        double theta;
        bool stratified;
        std::string says;
    };
    const Threshold thresholds[] = {
        {-0.5, false, "the erasure threshold -0.5 is not an amplitude"},
        {std::numeric_limits<double>::infinity(), false, "the erasure threshold inf is not"},
        {std::numeric_limits<double>::quiet_NaN(), false, "the erasure threshold nan is not"},
    };
    for (const Threshold& c : thresholds) {
        rs_sim::Experiment experiment = ErasureRun(4, 2, 0.0, {3.0F}, 100);
        experiment.channel = rs_sim::BpskAwgnChannel{c.theta};
        if (c.stratified) {
            experiment.method = rs_sim::Stratified{};
        }
        EXPECT_NE(rs_sim::CheckExperiment(experiment).find(c.says), std::string::npos)
            << rs_sim::CheckExperiment(experiment);
    }
    rs_sim::Experiment fits = ErasureRun(4, 2, 0.5, {0.5F}, 100);
    fits.puncture = 4;
    EXPECT_EQ(rs_sim::CheckExperiment(fits), "");
}

}  // namespace
}  // namespace rs
