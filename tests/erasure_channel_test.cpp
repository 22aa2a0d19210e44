// The q-ary channel that erases, and punctured codes: what the runs count is checked against
// what a bounded-distance errors-and-erasures decoder must give, summed here independently.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "rs_sim/experiment.h"
#include "rs_sim/simulator.h"
#include "stats/confidence_interval.h"

namespace rs {
namespace {

using rs_sim::QarySymmetricChannel;

double Choose(std::int32_t n, std::int32_t r) {
    return std::exp(std::lgamma(n + 1.0) - std::lgamma(r + 1.0) - std::lgamma(n - r + 1.0));
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
    for (const std::int32_t m : {4, 5}) {
        const std::int32_t q = 1 << m;
        const std::int32_t n = q - 1;
        const std::int32_t t = 2;
        for (const std::int32_t s : {1, 2, 3, 4}) {
            rs_sim::Experiment experiment =
                ErasureRun(m, t, 0.0, {static_cast<float>(q - 1) / static_cast<float>(q)}, 20000);
            experiment.puncture = s;
            const rs_sim::Expected<rs_sim::Results> results = rs_sim::Simulate(experiment);
            ASSERT_TRUE(results) << results.error;
            const rs_sim::Counts& counts = results.value->points.front().counts;
            double volume = 0.0;
            for (std::int32_t i = 0; i <= (2 * t - s) / 2; ++i) {
                volume += Choose(n - s, i) * std::pow(q - 1.0, i);
            }
            const double expected = volume / std::pow(q, 2 * t - s);
            const double decoded =
                1.0 - static_cast<double>(counts.failures) / static_cast<double>(counts.blocks);
            const double sigma = std::sqrt(expected * (1.0 - expected) / counts.blocks);
            EXPECT_NEAR(decoded, expected, 4.0 * sigma + 1e-12) << "q " << q << " s " << s;
        }
    }
}

// Delivering a flagged block's received information changes its symbols and bits, never the
// verdicts. With erasures alone, a block is wrong only beyond 2t erasures, where it delivers
// its erased information symbols as 0: SER = PE P(Bin(n - 1, PE) >= 2t), and half their bits.
TEST(ErasureChannel, ReceivedDeliveryKeepsTheVerdictsAndCountsErasedSymbolsWrong) {
    rs_sim::Experiment decoded = ErasureRun(4, 2, 0.1, {0.1F, 0.03F}, 20000);
    rs_sim::Experiment received = decoded;
    received.onFailure = rs_sim::Experiment::OnFailure::kReceived;
    const auto first = rs_sim::Simulate(decoded);
    const auto second = rs_sim::Simulate(received);
    ASSERT_TRUE(first && second);
    bool symbolsDiffer = false;
    for (std::size_t i = 0; i < first.value->points.size(); ++i) {
        const rs_sim::Counts& a = first.value->points[i].counts;
        const rs_sim::Counts& b = second.value->points[i].counts;
        EXPECT_EQ(a.errorBlocks, b.errorBlocks);
        EXPECT_EQ(a.failures, b.failures);
        EXPECT_EQ(a.miscorrections, b.miscorrections);
        EXPECT_EQ(a.errorsCorrected, b.errorsCorrected);
        symbolsDiffer |= a.errorSymbols != b.errorSymbols;
    }
    EXPECT_TRUE(symbolsDiffer);

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
    rs_sim::Experiment fits = ErasureRun(4, 2, 0.5, {0.5F}, 100);
    fits.puncture = 4;
    EXPECT_EQ(rs_sim::CheckExperiment(fits), "");
}

}  // namespace
}  // namespace rs
