// Whole-frame copies of the driver's internal pictures: VideoFrame::CopyFrame of a 1920 x 1080
// frame (1080 rows: the plane-copy primitive) and of a 720 x 486 frame (486 rows: the row loop),
// in bytes per second of the three planes.
#include <benchmark/benchmark.h>

#include "videoframe.h"

namespace {

void CopyWholeFrame(benchmark::State& state)
{
    const LONG width = static_cast<LONG>(state.range(0));
    const LONG height = static_cast<LONG>(state.range(1));
    VideoFrame source(width, height, 8, true);
    VideoFrame destination(width, height, 8, true);
    if (source.GetFrameData() == nullptr || destination.GetFrameData() == nullptr) {
        state.SkipWithError("no frame buffer");
        return;
    }
    for (ULONG i = 0; i < source.GetDataSize(); ++i)
        source.GetFrameData()[i] = static_cast<UCHAR>(i * 7 + 3);
    for (auto _ : state) {
        destination.CopyFrame(&source);
        benchmark::DoNotOptimize(destination.GetFrameData());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(source.PictureBytes()));
}

BENCHMARK(CopyWholeFrame)->Args({1920, 1080})->Args({720, 486})->Unit(benchmark::kMicrosecond);

} // namespace
