#include "report/text/number_format.h"

#include "rs_sim/experiment.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace rs {

std::string FormatScientific2(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2e", value);
    std::string text(buffer);
    const auto e = text.find('e');
    if (e == std::string::npos || e + 2 > text.size()) {
        return text;  // inf
    }
    // Widen the exponent after "e" and its sign to three digits.
    const std::size_t digits = text.size() - (e + 2);
    if (digits < 3) {
        text.insert(e + 2, 3 - digits, '0');
    }
    return text;
}

std::string FormatLogScientific2(double logValue) {
    if (std::isnan(logValue)) {
        return "nan";
    }
    if (std::isinf(logValue)) {
        return logValue < 0 ? "0" : "inf";
    }
    const double log10 = logValue / std::log(10.0);
    auto exponent = static_cast<long long>(std::floor(log10));
    double mantissa = std::round(std::pow(10.0, log10 - static_cast<double>(exponent)) * 100.0);
    if (mantissa >= 1000.0) {  // 9.995 and above round up to the next power of ten
        mantissa /= 10.0;
        ++exponent;
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2fe%c%03lld", mantissa / 100.0,
                  exponent < 0 ? '-' : '+', exponent < 0 ? -exponent : exponent);
    return buffer;
}

std::string FormatFloat(float value) {
    return rs_sim::ShortestText(value);
}

std::string FormatFixed2(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.2f", value);
    return buffer;
}

}  // namespace rs
