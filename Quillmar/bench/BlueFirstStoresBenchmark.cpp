// The price of the blue-first byte orders: the image primitive's red-first RGB555, RGB24 and RGB32
// conversion of a 1280 x 720 picture against the same conversion row by row with red and blue
// exchanged in place (what the pins deliver), in milliseconds per picture.
#include <benchmark/benchmark.h>

#include "bluefirststores.h"

#include <vector>

namespace {

using Conversion = ImagingStatus (*)(const uint8_t* const[3], const int32_t[3], uint8_t*, int32_t, int32_t, int32_t);

void ConvertPicture720(benchmark::State& state, Conversion convert, int bytesPerPixel)
{
    const int w = 1280, h = 720;
    std::vector<uint8_t> y(size_t(w) * h), u(size_t(w / 2) * h), v(size_t(w / 2) * h);
    for (size_t i = 0; i < y.size(); ++i)
        y[i] = uint8_t(16 + (i * 7) % 220);
    for (size_t i = 0; i < u.size(); ++i) {
        u[i] = uint8_t(16 + (i * 3) % 224);
        v[i] = uint8_t(240 - (i * 5) % 224);
    }
    const uint8_t* planes[3] = {y.data(), u.data(), v.data()};
    const int32_t steps[3] = {w, w / 2, w / 2};
    const int32_t pitch = (bytesPerPixel * w + 3) / 4 * 4;
    std::vector<uint8_t> out(size_t(pitch) * h);
    for (auto _ : state) {
        convert(planes, steps, out.data(), pitch, w, h);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
}

BENCHMARK_CAPTURE(ConvertPicture720, RGB555_red_first, ConvertPlanar422ToRGB555, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertPicture720, RGB555_blue_first, ConvertPlanar422ToBgr555, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertPicture720, RGB24_red_first, ConvertPlanar422ToRGB24, 3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertPicture720, RGB24_blue_first, ConvertPlanar422ToBgr24, 3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertPicture720, RGB32_red_first, ConvertPlanar422ToRGB32, 4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertPicture720, RGB32_blue_first, ConvertPlanar422ToBgr32, 4)->Unit(benchmark::kMillisecond);

} // namespace
