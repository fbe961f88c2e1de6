// The rounding every piece of audio arithmetic uses: nearest, halves to the even neighbour.
#pragma once

#include <cfenv>
#include <cmath>
#include <cstdint>

// nearbyint honours the current rounding mode, which the process never changes from
// FE_TONEAREST; that is exactly round-half-to-even, and it compiles to one instruction.
inline int64_t RoundHalfEven(long double x) { return static_cast<int64_t>(std::nearbyintl(x)); }
inline int64_t RoundHalfEven(double x) { return static_cast<int64_t>(std::nearbyint(x)); }

// The 32-bit float nearest to an extended-precision value.
inline float ToSingle(long double x) { return static_cast<float>(x); }
