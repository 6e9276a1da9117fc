// CScale on 1920 x 1080 frames: to 1280 x 720 (the capture pin) and to 640 x 360 (the preview
// pin) with each scaling method, in milliseconds per frame.
#include <benchmark/benchmark.h>

#include "cscale.h"
#include "videoframe.h"

namespace {

void ScaleFrom1080(benchmark::State& state)
{
    const ULONG method = static_cast<ULONG>(state.range(0));
    const LONG width = static_cast<LONG>(state.range(1));
    const LONG height = static_cast<LONG>(state.range(2));
    VideoFrame frame(1920, 1080, 8, true);
    if (!frame.GetFrameData()) {
        state.SkipWithError("no frame buffer");
        return;
    }
    for (ULONG i = 0; i < frame.GetDataSize(); ++i)
        frame.GetFrameData()[i] = static_cast<UCHAR>((i * 131) >> 5);
    CScale step(method);
    step.SetScaling(width, height, width, height);
    for (auto _ : state) {
        step.Process(&frame);
        benchmark::ClobberMemory();
    }
    static const char* const names[] = {"nearest", "linear", "cubic", "Lanczos"};
    state.SetLabel(names[method & 3]);
}

BENCHMARK(ScaleFrom1080)
    ->ArgNames({"method", "w", "h"})
    ->Args({0, 1280, 720})
    ->Args({1, 1280, 720})
    ->Args({2, 1280, 720})
    ->Args({3, 1280, 720})
    ->Args({1, 640, 360})
    ->Args({3, 640, 360})
    ->Unit(benchmark::kMillisecond);

} // namespace
