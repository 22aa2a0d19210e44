#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "report/documents/run_description.h"

namespace rs {

// Either the parameters or a one-line reason why the file was rejected.
struct ParameterResult {
    std::optional<SimulationParameters> parameters;
    std::string error;
};

// Parses the seven lines "Pmax=", "Pmin=", "Pstep=", "maxBlocks=", "maxErrorBlocks=", "M=" and
// "T=", in this order, each key in the first column and followed by a number (white space may
// stand before the number); a UTF-8 byte-order mark before the first key is skipped. On lines 1
// to 6 anything after the number up to the newline is a remark, and that newline must be there;
// line 7 is read no further than what could continue its number. Keys that do not match,
// missing numbers, integers beyond 32 bits, floats beyond single precision or that it would
// hold as 0, and numbers followed by what would continue them (a digit, ".", ",", "e", "x",
// "_", a multiplier such as "k" or "M", or blanks and a digit) are rejected with the line
// number and the key.
ParameterResult ParseParameters(std::string_view text);

// The values of the file's lines given as options, read by the same rules with nothing after the
// number. Each returns why the text is not such a value ("Pmax=0.1x is not a number alone"),
// empty on success. The sweep is "PMAX:PMIN:PSTEP"; integers are M and T (32 bits) or counts
// (64 bits).
std::string ParseSweepOption(std::string_view text, SimulationParameters& parameters);
template <typename Integer>
std::string ParseIntegerOption(std::string_view text, std::string_view key, Integer& value);

// The most an experiment file may hold.
inline constexpr std::size_t kMaxParameterFileBytes = std::size_t{1} << 20;

// Reads and parses the file, which must be a regular file or a pipe of at most
// kMaxParameterFileBytes; errors begin with name, the file as the user named it.
ParameterResult ReadParameters(const std::filesystem::path& path, const std::string& name);

}  // namespace rs
