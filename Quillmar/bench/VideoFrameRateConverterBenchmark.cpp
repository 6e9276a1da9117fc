// The frame-rate converter on 1920 x 1080 frames, one input frame an iteration (milliseconds per
// input frame): passing the input through at equal rates, converting 59.94 to 29.97 (a copy of
// every input into the history, every second one delivered), and undoing 3:2 pull-down to 24 (the
// field difference of every frame besides the copy, a field copy every fifth frame).
#include <benchmark/benchmark.h>

#include <memory>

#include "videoframe.h"
#include "videoframerateconverter.h"

namespace {

constexpr LONG kWidth = 1920;
constexpr LONG kHeight = 1080;

// Luma rows differing by field and by picture, so that the telecine analysis sees real changes.
void Paint(VideoFrame* frame, int top, int bottom)
{
    for (LONG row = 0; row < kHeight; ++row) {
        UCHAR* y = frame->GetPlane(0) + static_cast<ptrdiff_t>(row) * frame->GetStride(0);
        const int picture = (row & 1) ? bottom : top;
        for (LONG x = 0; x < kWidth; ++x)
            y[x] = static_cast<UCHAR>(16 + (x + row + picture * 37) % 200);
    }
}

void Run(benchmark::State& state, ULONG outputInterval, ULONG inputInterval, bool telecine)
{
    VideoFrameRateConverter converter(outputInterval, telecine, false, 0, true);
    VideoFrame frames[5] = {VideoFrame(kWidth, kHeight, 8, true), VideoFrame(kWidth, kHeight, 8, true),
                            VideoFrame(kWidth, kHeight, 8, true), VideoFrame(kWidth, kHeight, 8, true),
                            VideoFrame(kWidth, kHeight, 8, true)};
    static const int kTop[5] = {0, 1, 1, 2, 3};
    static const int kBottom[5] = {0, 1, 2, 3, 3};
    for (int i = 0; i < 5; ++i) {
        if (frames[i].GetFrameData() == nullptr) {
            state.SkipWithError("no frame buffer");
            return;
        }
        frames[i].FillBlack();
        Paint(&frames[i], kTop[i], kBottom[i]);
        frames[i].SetFrameInterval(inputInterval);
        frames[i].SetActiveSize(0, kWidth, kHeight / 2);
        frames[i].SetActiveSize(1, kWidth, kHeight / 2);
    }
    LONGLONG stamp = 0;
    int n = 0;
    for (auto _ : state) {
        VideoFrame& frame = frames[n % 5];
        frame.SetFrameNumber(stamp);
        converter.Process(&frame);
        stamp += inputInterval;
        ++n;
        benchmark::ClobberMemory();
    }
    state.counters["locked"] = converter.IsLocked() ? 1 : 0;
}

void FrameRatePassThrough(benchmark::State& state)
{
    Run(state, 333667, 333667, false);
}

void FrameRateConvert60To30(benchmark::State& state)
{
    Run(state, 333667, 166833, false);
}

void FrameRateInverseTelecine(benchmark::State& state)
{
    Run(state, 416667, 333667, true);
}

BENCHMARK(FrameRatePassThrough)->Unit(benchmark::kMicrosecond); // no copy: microseconds
BENCHMARK(FrameRateConvert60To30)->Unit(benchmark::kMillisecond);
BENCHMARK(FrameRateInverseTelecine)->Unit(benchmark::kMillisecond);

} // namespace
