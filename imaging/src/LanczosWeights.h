// The sampled Lanczos-3 kernel and the six-tap weights the engine derives from it.
#pragma once

#include <cstdint>

namespace imaging {

inline constexpr int kLanczosKernelEntries = 304;

// Entry i = L(i / 100) for i < 300, L(x) = 3 sin(pi x) sin(pi x / 3) / (pi x)^2 with L(0) = 1,
// rounded to single precision once; exactly 0 at x = 1 and 2 and in entries 300-303.
extern const float LanczosKernelTable[kLanczosKernelEntries];

// For each fraction t: six weights for the samples base - 2 .. base + 3 at distances -t - 2 + k,
// each read from the table by linear interpolation between neighbouring entries (distances
// beyond 3 read zero), then divided by their sum taken as w0 + w1 + w3 + w2 + w4 + w5. weights
// receives 6 x count floats.
void LanczosWeights6(const float* fractions, int32_t count, float* weights, const float* table);

} // namespace imaging
