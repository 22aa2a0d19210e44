#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <type_traits>

#include "rs_sim/results.h"

namespace rs {

// A CSV field: the shortest text that reads back as the same value, and empty where there is
// no value (NaN, infinity), which spreadsheets and data-frame readers alike take as missing.
template <typename Number>
std::string CsvField(Number value) {
    if constexpr (std::is_floating_point_v<Number>) {
        if (!std::isfinite(value)) {
            return {};
        }
    }
    char buffer[64];
    const auto [end, status] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return status == std::errc{} ? std::string(buffer, end) : std::string();
}

// The columns every CSV row carries, so that a CSV alone says what it holds.
inline constexpr const char* kCsvIdentityColumns = "n,k,channel,method";

// Those columns' fields, each after a comma.
inline std::string CsvIdentity(const rs_sim::CodeFacts& code, const rs_sim::Channel& channel,
                               const char* method) {
    return ',' + CsvField(code.n) + ',' + CsvField(code.k) + ',' + rs_sim::ChannelName(channel) +
           ',' + method;
}

}  // namespace rs
