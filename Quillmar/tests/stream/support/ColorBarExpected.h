// What a colour-bar picture must hold once converted to each output format, written out here
// rather than taken from the imaging code: the bar table's Y, Cb, Cr (white, yellow, cyan, green,
// magenta, red, blue, black, left to right) and the RGB outputs' integer arithmetic, blue first.
// Shared by the chain tests fed by the test source and the pin tests fed by the board.
#pragma once
#include <algorithm>
#include <array>

namespace colorbartest {

// The bars left to right: white, yellow, cyan, green, magenta, red, blue, black.
constexpr int kBarY[8] = {235, 161, 131, 112, 83, 65, 34, 16};
constexpr int kBarU[8] = {128, 43, 157, 74, 181, 98, 212, 128};
constexpr int kBarV[8] = {128, 139, 44, 57, 198, 211, 116, 128};

inline int FloorDiv(int a, int b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

inline int Clamp(int v)
{
    return std::clamp(v, 0, 255);
}

// Blue, green, red of the 32-bit output: no luma offset, analog factors.
inline std::array<int, 3> Rgb32(int bar)
{
    const int y16 = 16 * kBarY[bar], cb = kBarU[bar] - 128, cr = kBarV[bar] - 128;
    const int r = Clamp((y16 + FloorDiv(cr * 9338, 512) + 8) >> 4);
    const int g = Clamp((y16 - (FloorDiv(cb * 3227, 512) + FloorDiv(cr * 4759, 512)) + 8) >> 4);
    const int b = Clamp((y16 + FloorDiv(cb * 16646, 512) + 8) >> 4);
    return {b, g, r};
}

// Blue, green, red of the 24-bit output: studio range, luma offset 16.
inline std::array<int, 3> Rgb24(int bar)
{
    const int y = FloorDiv((kBarY[bar] - 16) * 9535, 512), cb = kBarU[bar] - 128, cr = kBarV[bar] - 128;
    const int r = Clamp((y + FloorDiv(cr * 13074, 512) + 8) >> 4);
    const int g = Clamp((y + FloorDiv(-6660 * cr, 512) + FloorDiv(-3211 * cb, 512) + 8) >> 4);
    const int b = Clamp((y + FloorDiv(cb * 16523, 512) + 8) >> 4);
    return {b, g, r};
}

} // namespace colorbartest
