// COutColorSpace: every output format of a 1280 x 720 frame (the capture pin's size), upright
// and, for the RGB formats, mirrored as bottom-up pins deliver them, in milliseconds per frame.
#include <benchmark/benchmark.h>

#include "coutcolorspace.h"
#include "videoframe.h"

namespace {

void OutputFormat720(benchmark::State& state)
{
    const ULONG index = static_cast<ULONG>(state.range(0));
    const bool mirror = state.range(1) != 0;
    VideoFrame frame(1280, 720, 8, true);
    if (!frame.GetFrameData()) {
        state.SkipWithError("no frame buffer");
        return;
    }
    for (ULONG i = 0; i < frame.GetDataSize(); ++i)
        frame.GetFrameData()[i] = static_cast<UCHAR>((i * 97) >> 4);
    COutColorSpace step(mirror, index);
    for (auto _ : state) {
        step.Process(&frame);
        benchmark::ClobberMemory();
    }
    static const char* const names[] = {"grey", "RGB555", "RGB24", "RGB32", "UYVY", "I420", "YUY2", "YVU9"};
    state.SetLabel(names[index & 7]);
    state.SetBytesProcessed(int64_t(state.iterations()) * COutColorSpace::LayoutFor(index, 1280, 720).bytes);
}

BENCHMARK(OutputFormat720)
    ->ArgNames({"index", "mirror"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({3, 0})
    ->Args({4, 0})
    ->Args({5, 0})
    ->Args({6, 0})
    ->Args({7, 0})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({3, 1})
    ->Unit(benchmark::kMillisecond);

} // namespace
