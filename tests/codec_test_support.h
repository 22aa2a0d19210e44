#pragma once

#include <ostream>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "codec/reed_solomon_codec.h"

namespace rs::testing {

using Word = std::vector<Symbol>;

inline Word ToVector(std::span<const Symbol> span) {
    return {span.begin(), span.end()};
}

// k uniformly random symbols from a seeded engine.
inline Word RandomInfo(std::mt19937& rng, const ReedSolomonCodec& codec) {
    std::uniform_int_distribution<Symbol> symbol(0, codec.Field().GetOrder());
    Word info(static_cast<std::size_t>(codec.GetK()));
    for (Symbol& s : info) {
        s = symbol(rng);
    }
    return info;
}

// The codeword, starting from -1 everywhere so that a position Encode misses shows.
inline Word EncodeToVector(ReedSolomonCodec& codec, const Word& info) {
    Word codeword(static_cast<std::size_t>(codec.GetN()), -1);
    codec.Encode(info.data(), codeword.data());
    return codeword;
}

// A code and how many words to try on it, for parameterised suites.
struct CodeCase {
    int m;
    int t;
    int words;
};

inline void PrintTo(const CodeCase& c, std::ostream* os) {
    *os << "(m = " << c.m << ", t = " << c.t << ", " << c.words << " words)";
}

inline std::string CodeName(const ::testing::TestParamInfo<CodeCase>& info) {
    return std::string("m")
        .append(std::to_string(info.param.m))
        .append("t")
        .append(std::to_string(info.param.t));
}

}  // namespace rs::testing
