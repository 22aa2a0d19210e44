#pragma once

#include <string>

namespace rs {

// "%.2e" as the report writes it: one digit, a point, two decimals, "e", the exponent's sign
// and at least three exponent digits (0.1 is "1.00e-001"), independent of the C library.
// Any NaN is written "nan", whatever its sign bit.
std::string FormatScientific2(double value);

// A nonnegative value given as its natural logarithm, written as FormatScientific2 writes it,
// with any exponent: e^-921 is "1.00e-400", never 0 or a denormal. -infinity (the value 0) is
// "0".
std::string FormatLogScientific2(double logValue);

// The shortest text that reads back as the same single-precision value, for naming experiment
// values in messages.
std::string FormatFloat(float value);

// "%.2f", with any NaN written "nan".
std::string FormatFixed2(double value);

}  // namespace rs
