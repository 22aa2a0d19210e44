#pragma once

#include <algorithm>
#include <cstdint>

namespace rs {

// Berlekamp-Massey on S_0..S_count-1, for any field with Multiply and Divide: the table-built
// codec and the table-free decoder share it so that both find the same locator. Lambda(x) is
// the locator, B(x) the correction polynomial (always kept multiplied by x), L the locator
// length, D the degree bound of B and P the marker r - L of the last length change.
// locator holds count + 1 coefficients, correction count + 2. Returns the final L, the
// locator's degree. Without erasures count is 2t; with s of them it runs on the 2t - s
// modified syndromes (codec/erasures.h).
template <typename Field, typename Element>
std::int32_t RunBerlekampMassey(const Field& field, const Element* syndromes, std::int32_t count,
                                Element* locator, Element* correction) {
    std::fill(locator, locator + count + 1, Element{0});
    std::fill(correction, correction + count + 1, Element{0});
    locator[0] = 1;
    correction[1] = 1;
    std::int32_t locatorLength = 0;
    std::int32_t correctionDegree = 1;
    std::int32_t lengthMarker = -1;

    for (std::int32_t iteration = 0; iteration < count; ++iteration) {
        Element discrepancy = 0;
        for (std::int32_t i = 0; i <= locatorLength; ++i) {
            discrepancy ^= field.Multiply(locator[i], syndromes[iteration - i]);
        }

        if (discrepancy != 0) {
            // Lambda(x) <- Lambda(x) + Delta B(x), in place: coefficient g of each needs only
            // coefficient g of the others. On a length change B(x) restarts from the old
            // locator scaled by 1/Delta, taken at the same g before it is overwritten. The new
            // length never exceeds top (D is always iteration - lengthMarker), so nothing
            // beyond it is left to copy.
            const bool lengthChange = locatorLength < iteration - lengthMarker;
            const std::int32_t top = std::max(locatorLength, correctionDegree);
            const std::int32_t newLength = lengthChange ? iteration - lengthMarker : top;
            for (std::int32_t g = 0; g <= top; ++g) {
                const Element fromLocator = g <= locatorLength ? locator[g] : 0;
                const Element fromCorrection =
                    g <= correctionDegree ? field.Multiply(discrepancy, correction[g]) : 0;
                if (lengthChange && g <= locatorLength) {
                    correction[g] = field.Divide(fromLocator, discrepancy);
                }
                locator[g] = fromLocator ^ fromCorrection;
            }
            if (lengthChange) {
                lengthMarker = iteration - locatorLength;
                correctionDegree = locatorLength;
            }
            locatorLength = newLength;
        }

        // B(x) <- x B(x) at every step.
        for (std::int32_t g = correctionDegree; g >= 0; --g) {
            correction[g + 1] = correction[g];
        }
        correction[0] = 0;
        ++correctionDegree;
    }
    return locatorLength;
}

}  // namespace rs
