#pragma once

#include <cstdint>

namespace rs {

// BPSK over AWGN with a reliability threshold: amplitude +-1, noise deviation sigma =
// 1 / sqrt(2 R Eb/N0), and a bit received with |y| < threshold (in units of the amplitude)
// unreliable. Per bit: wrong and reliable with Q((1 + threshold) / sigma), unreliable (right or
// wrong) with Q((1 - threshold) / sigma) - Q((1 + threshold) / sigma), right and reliable
// otherwise. At threshold 0, wrong is exactly the hard-decision BpskBitErrorProbability and
// unreliable is 0.
struct BitCategories {
    double wrong = 0.0;
    double unreliable = 0.0;
};
BitCategories BpskCategories(double ebN0Db, double rate, double threshold);

// The same per symbol of m bits, a symbol with any unreliable bit erased: erased with
// 1 - (1 - b)^m, else in error (a wrong bit among reliable ones) with (1 - b)^m - (1 - a - b)^m.
struct SymbolCategories {
    double error = 0.0;
    double erasure = 0.0;
};
SymbolCategories SymbolsOf(const BitCategories& bits, std::int32_t m);

// The natural logarithm of the bounded-distance errors-and-erasures FER, P(2e + s > 2t), of
// RS codewords of n symbols (punctured of them never sent) at Eb/N0 in dB with this threshold.
double LogThresholdBlockErrorProbability(double ebN0Db, double rate, double threshold,
                                         std::int32_t m, std::int32_t n, std::int32_t t,
                                         std::int32_t punctured);

// The largest threshold the best one is sought below: above the amplitude, even a bit received
// without noise would be unreliable.
inline constexpr double kLargestBestThreshold = 1.0;

// The threshold in [0, kLargestBestThreshold] that minimises that FER at Eb/N0 in dB: a scan
// of 101 thresholds brackets the least, Brent's search refines it there, and the best of the
// three is the choice, 0 unless another lowers the FER by more than a relative 1e-12: it never
// does worse than hard decisions, and is 0 where the FER is flat (every block fails, or none
// can). Deterministic.
double BestErasureThreshold(double ebN0Db, double rate, std::int32_t m, std::int32_t n,
                            std::int32_t t, std::int32_t punctured);

}  // namespace rs
