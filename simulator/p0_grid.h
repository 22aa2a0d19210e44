#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rs {

// A sweep's P0 values given on the command line instead of by the experiment file's first
// three lines: a list (--p0) or points by decades (--p0-decades); for BPSK over AWGN, Eb/N0
// values in dB as a list (--ebn0) or a linear range (--ebn0-range).
struct P0Grid {
    enum class Kind { kList, kDecades, kEbN0List, kEbN0Range };
    Kind kind = Kind::kList;
    std::string text;           // as given, for the JSON report and the resume command
    std::vector<float> points;  // in the order they run
};

// A grid, or why the text gives none.
struct P0GridParse {
    P0Grid grid;
    std::string error;
};

// "0.1,0.05,2e-3": the values in the order given, each the float nearest its decimal text,
// finite and not negative.
P0GridParse ParseP0List(std::string_view text);

// "FROM:TO:N": N points a decade from FROM down to TO, both positive, at the decimal values
// 10^(-j/N) rounded to three significant digits; FROM and TO are included when they are such
// values.
P0GridParse ParseP0Decades(std::string_view text);

// "-1,0,2.5": Eb/N0 values in dB in the order given, each the float nearest its decimal text,
// finite, of either sign.
P0GridParse ParseEbN0List(std::string_view text);

// "FROM:TO:STEP": FROM + i x STEP for i = 0, 1, ..., each taken in double precision and then
// rounded to single, while the rounded value stays at or below the rounded TO (at or above it
// for a negative STEP). STEP must lead from FROM towards TO, and each value must differ from
// the one before in single precision.
P0GridParse ParseEbN0Range(std::string_view text);

}  // namespace rs
