#include "stats/channel_theory.h"

#include <algorithm>
#include <array>
#include <boost/math/distributions/binomial.hpp>
#include <cstddef>

#include "base/contract.h"
#include "stats/bounded_distance.h"

namespace rs {

namespace {

// Rows are the state a stretch starts in, columns the state it ends in; 0 is Good, 1 Bad.
using Matrix = std::array<std::array<double, 2>, 2>;

Matrix Multiply(const Matrix& a, const Matrix& b) {
    Matrix product{};
    for (std::size_t i = 0; i < 2; ++i) {
        for (std::size_t j = 0; j < 2; ++j) {
            product[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j];
        }
    }
    return product;
}

// By squaring: every entry stays a sum of products of nonnegative numbers, where the closed
// form through the second eigenvalue would subtract.
Matrix Power(Matrix base, std::int64_t steps) {
    Matrix result{{{1.0, 0.0}, {0.0, 1.0}}};
    while (steps > 0) {
        if ((steps & 1) != 0) {
            result = Multiply(result, base);
        }
        base = Multiply(base, base);
        steps >>= 1;
    }
    return result;
}

// One symbol, from the state at its first step to the state at its last: the paths with every
// step clean, and those with at least one error.
struct SymbolPaths {
    Matrix clean{};
    Matrix dirty{};
};

SymbolPaths Symbol(const ChannelModel& model, const Matrix& step, std::int32_t steps) {
    const std::array<double, 2> error{model.goodError, model.badError};
    SymbolPaths paths;
    for (std::size_t s = 0; s < 2; ++s) {
        paths.clean[s][s] = 1.0 - error[s];
        paths.dirty[s][s] = error[s];
    }
    for (std::int32_t b = 1; b < steps; ++b) {
        const Matrix cleanMoved = Multiply(paths.clean, step);
        const Matrix dirtyMoved = Multiply(paths.dirty, step);
        for (std::size_t i = 0; i < 2; ++i) {
            for (std::size_t j = 0; j < 2; ++j) {
                paths.clean[i][j] = cleanMoved[i][j] * (1.0 - error[j]);
                paths.dirty[i][j] = dirtyMoved[i][j] + cleanMoved[i][j] * error[j];
            }
        }
    }
    return paths;
}

std::vector<double> MarkovDistribution(const ChannelModel& model, std::int32_t m, std::int32_t n,
                                       std::int32_t interleave, std::int32_t cap) {
    const Matrix step{
        {{1.0 - model.goodToBad, model.goodToBad}, {model.badToGood, 1.0 - model.badToGood}}};
    const std::int32_t symbolSteps = model.bitLevel ? m : 1;
    // From the last step of one of our symbols to the first of the next: interleave symbols on,
    // less the steps the symbol itself took.
    const std::int64_t gap =
        static_cast<std::int64_t>(interleave) * symbolSteps - (symbolSteps - 1);
    const SymbolPaths first = Symbol(model, step, symbolSteps);
    const Matrix across = Power(step, gap);
    const SymbolPaths next{Multiply(across, first.clean), Multiply(across, first.dirty)};

    // share[s][w]: the chance of state s at the last symbol's end with min(w, cap) errors so far.
    const auto buckets = static_cast<std::size_t>(cap) + 1;
    std::array<std::vector<double>, 2> share{std::vector<double>(buckets, 0.0),
                                             std::vector<double>(buckets, 0.0)};
    // The codeword's first symbol sits somewhere in the frame, where the chain is stationary.
    share[0][0] = 1.0 - model.badShare;
    share[1][0] = model.badShare;
    std::array<std::vector<double>, 2> after = share;
    for (std::int32_t j = 0; j < n; ++j) {
        const SymbolPaths& paths = j == 0 ? first : next;
        for (std::size_t s = 0; s < 2; ++s) {
            std::fill(after[s].begin(), after[s].end(), 0.0);
        }
        for (std::size_t w = 0; w < buckets; ++w) {
            const std::size_t hit = std::min(w + 1, buckets - 1);
            for (std::size_t from = 0; from < 2; ++from) {
                const double here = share[from][w];
                for (std::size_t to = 0; to < 2; ++to) {
                    after[to][w] += here * paths.clean[from][to];
                    after[to][hit] += here * paths.dirty[from][to];
                }
            }
        }
        std::swap(share, after);
    }
    std::vector<double> distribution(buckets);
    for (std::size_t w = 0; w < buckets; ++w) {
        distribution[w] = share[0][w] + share[1][w];
    }
    return distribution;
}

}  // namespace

std::vector<double> SymbolErrorCountDistribution(const ChannelModel& model, std::int32_t m,
                                                 std::int32_t n, std::int32_t interleave,
                                                 std::int32_t cap) {
    RS_ASSERT(m >= 1 && n >= 1 && interleave >= 1, "a codeword needs symbols, bits and a frame");
    RS_ASSERT(cap >= 1, "the last bucket holds w >= cap, at least 1");
    if (!model.Memoryless()) {
        return MarkovDistribution(model, m, n, interleave, cap);
    }
    const double p = model.SymbolErrorProbability(m);
    const boost::math::binomial_distribution<> errors(static_cast<double>(n), p);
    std::vector<double> distribution(static_cast<std::size_t>(cap) + 1, 0.0);
    for (std::int32_t w = 0; w < cap && w <= n; ++w) {
        distribution[static_cast<std::size_t>(w)] =
            boost::math::pdf(errors, static_cast<double>(w));
    }
    distribution.back() = BoundedDistanceBlockErrorProbability(n, cap - 1, p);
    return distribution;
}

double ChannelBlockErrorProbability(const ChannelModel& model, std::int32_t m, std::int32_t n,
                                    std::int32_t t, std::int32_t interleave) {
    RS_ASSERT(t >= 0, "a decoder corrects no fewer than 0 symbols");
    if (model.Memoryless()) {
        return BoundedDistanceBlockErrorProbability(n, t, model.SymbolErrorProbability(m));
    }
    return SymbolErrorCountDistribution(model, m, n, interleave, t + 1).back();
}

}  // namespace rs
