#pragma once

#include <cstdint>

#include "simulator/sweep.h"

namespace rs {

// The code a run simulates, as the machine-readable reports describe it.
struct CodeShape {
    std::int32_t n = 0;
    std::int32_t k = 0;
    std::int32_t t = 0;
    std::int32_t q = 0;
    std::int32_t m = 0;
    double rate = 0.0;
};

// Every per-point field of the JSON and CSV reports. Rates of a point without blocks are NaN.
struct PointFields {
    float P0 = 0.0F;
    PointStatistics counts;
    double channelSER = 0.0;
    double FER = 0.0;
    double FERLow = 0.0;  // exact 95 % interval of FER
    double FERHigh = 0.0;
    double SER = 0.0;
    double BER = 0.0;        // over the k·M information bits of each block
    double theoryFER = 0.0;  // bounded-distance decoder at this P0
    double seconds = 0.0;
};

PointFields DerivePointFields(const PointRecord& record, const CodeShape& code);


}  // namespace rs
