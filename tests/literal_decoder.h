#pragma once

// The decoder written out literally, shared by the decoder tests and the decoder fuzz target.

#include <algorithm>
#include <cstddef>
#include <vector>

#include "codec/reed_solomon_codec.h"

namespace rs::testing {

using LiteralWord = std::vector<Symbol>;

// --- The decoding algorithm written out step by step
// ----------------------------------------------
//
// A deliberately plain transcription of the decoder: syndromes, Berlekamp-Massey with its
// length L, correction-polynomial degree bound D and marker P, the evaluator S(x)Lambda(x)
// cut to degree 2t-1, the formal derivative and the Chien search with Forney's values. Every
// buffer has the codec's capacity and is read through at(), so an index outside it throws.
// Beyond t errors the decoder's output is defined only by these steps, so this is what it is
// compared with there.
//
// With s erasures it is the textbook errors-and-erasures decoder: Berlekamp-Massey starts from
// the erasure locator Gamma(x) = product of (1 + alpha^p x) over the erased p, with length s,
// and runs over S_s..S_2t-1, so that its locator is the errata locator; evaluator, derivative
// and Forney's values follow from it unchanged. The decoders compute the same locator another
// way (modified syndromes), so the two are checked against each other.
struct ReferenceOutcome {
    bool allZero = true;
    LiteralWord corrected;
    LiteralWord decoded;
    int locatorLength = 0;  // the errata locator's, erasures included
    int erasures = 0;
    int roots = 0;        // positions the Chien search took as erroneous
    int valuedRoots = 0;  // those of them with a nonzero error value
    int usableRoots = 0;  // roots at sent positions, valued or erased
    bool invariantsHeld = true;
    // What a practical decoder flags: 2e + s above 2t for the error locator's degree e, or fewer
    // usable roots than the locator's degree. Without erasures: a locator above t, or fewer
    // valued roots than its degree.
    bool Flagged(int t) const {
        return 2 * (locatorLength - erasures) + erasures > 2 * t || usableRoots < locatorLength;
    }
};

// erasures: increasing positions; sentLength 0 for a code sent whole.
inline ReferenceOutcome ReferenceDecode(const ReedSolomonCodec& codec, const LiteralWord& received,
                                        const std::vector<int>& erasures = {}, int sentLength = 0) {
    const GaloisField& field = codec.Field();
    const int n = codec.GetN();
    const int k = codec.GetK();
    const int twoT = 2 * codec.GetT();
    const auto at = [](int i) { return static_cast<std::size_t>(i); };
    const auto alpha = [&](int i) { return field.PowerTable()[at(i)]; };
    const auto eval = [&](const LiteralWord& poly, Symbol x, int degree) {
        Symbol sum = poly.at(0);
        Symbol power = x;
        for (int i = 1; i <= degree; ++i) {
            sum ^= field.Multiply(poly.at(at(i)), power);
            power = field.Multiply(power, x);
        }
        return sum;
    };

    ReferenceOutcome out;
    const int s = static_cast<int>(erasures.size());
    const int sent = sentLength > 0 ? sentLength : n;
    out.erasures = s;
    const LiteralWord& R = received;
    LiteralWord S(at(twoT + 1), 0);
    LiteralWord lambda(at(twoT + 1), 0);
    LiteralWord B(at(twoT + 2), 0);  // x Gamma(x) has degree s + 1
    LiteralWord T(at(twoT + 1), 0);
    LiteralWord omega(at(2 * n + 1), 0);
    LiteralWord C(at(n), 0);

    // 1. Syndromes S_i = R(alpha^(i+1)).
    for (int i = 0; i < twoT; ++i) {
        S.at(at(i)) = eval(R, alpha(i + 1), n - 1);
        if (S.at(at(i)) != 0) {
            out.allZero = false;
        }
    }

    if (out.allZero) {
        // 2. Nothing to correct.
        for (int p = 0; p < n; ++p) {
            C.at(at(p)) = R.at(at(p));
        }
    } else {
        // 3. Berlekamp-Massey start: Lambda(x) = Gamma(x), B(x) = x Gamma(x), L = s; with no
        // erasures Lambda(x) = 1 and B(x) = x.
        std::fill(lambda.begin(), lambda.end(), 0);
        std::fill(B.begin(), B.end(), 0);
        lambda.at(0) = 1;
        for (int j = 0; j < s; ++j) {
            const Symbol X = alpha(erasures.at(at(j)));
            for (int g = j + 1; g >= 1; --g) {
                lambda.at(at(g)) ^= field.Multiply(X, lambda.at(at(g - 1)));
            }
        }
        for (int g = 0; g <= s; ++g) {
            B.at(at(g + 1)) = lambda.at(at(g));
        }
        B.at(0) = 0;
        int L = s;
        int D = s + 1;
        int P = -1;

        // 4. One step per syndrome after the first s.
        for (int r = s; r < twoT; ++r) {
            if (!(L <= r && D == r + 1 - L + s && P == L - 1 - s)) {
                out.invariantsHeld = false;
            }
            Symbol delta = 0;
            for (int i = 0; i <= L; ++i) {
                delta ^= field.Multiply(lambda.at(at(i)), S.at(at(r - i)));
            }
            if (delta != 0) {
                const int M = std::max(L, D);
                for (int g = 0; g <= M; ++g) {
                    const Symbol fromLambda = g <= L ? lambda.at(at(g)) : 0;
                    const Symbol fromB = g <= D ? field.Multiply(delta, B.at(at(g))) : 0;
                    T.at(at(g)) = fromLambda ^ fromB;
                }
                int newL = M;
                if (L < r - P) {
                    newL = r - P;
                    const int oldL = L;
                    P = r - oldL;
                    D = oldL;
                    for (int g = 0; g <= oldL; ++g) {
                        B.at(at(g)) = field.Divide(lambda.at(at(g)), delta);
                    }
                }
                L = newL;
                for (int g = 0; g <= L; ++g) {
                    lambda.at(at(g)) = T.at(at(g));
                }
            }
            for (int g = D; g >= 0; --g) {
                B.at(at(g + 1)) = B.at(at(g));
            }
            B.at(0) = 0;
            D = D + 1;
        }
        out.locatorLength = L;

        // 5. Evaluator: the whole product S(x) Lambda(x), of which degrees 0..2t-1 are used.
        for (int i = 0; i <= twoT - 1 + L; ++i) {
            omega.at(at(i)) = 0;
        }
        for (int j = 0; j <= L; ++j) {
            for (int i = 0; i <= twoT - 1; ++i) {
                omega.at(at(i + j)) ^= field.Multiply(S.at(at(i)), lambda.at(at(j)));
            }
        }
        const int omegaDegree = twoT - 1;

        // 6. Formal derivative into T.
        if (L > 0) {
            for (int i = 1; i <= L; i += 2) {
                T.at(at(i - 1)) = lambda.at(at(i));
                T.at(at(i)) = 0;
            }
        }

        // 7. Chien search from position n-1 down to 0, Forney's value at each root; an erased
        // root is usable whatever its value.
        for (int j = 1; j <= n; ++j) {
            const int p = n - j;
            const Symbol x = alpha(j % n);
            if (eval(lambda, x, L) != 0) {
                C.at(at(p)) = R.at(at(p));
            } else {
                const Symbol w = eval(omega, x, omegaDegree);
                const Symbol d = eval(T, x, L - 1);
                const Symbol value = field.Divide(w, d);
                C.at(at(p)) = R.at(at(p)) ^ value;
                ++out.roots;
                out.valuedRoots += value != 0 ? 1 : 0;
                const bool erased =
                    std::find(erasures.begin(), erasures.end(), p) != erasures.end();
                out.usableRoots += p < sent && (value != 0 || erased) ? 1 : 0;
            }
        }
    }

    // 8. The information positions.
    out.corrected = C;
    out.decoded.assign(C.begin() + (n - k), C.end());
    return out;
}

}  // namespace rs::testing
