// The crop (a view: no pixel copied) and the advanced deinterlace on 1920 x 1080 frames, in
// milliseconds per frame: deinterlace in place on a writable frame, and into its work frame when
// the frame is shared (a whole-frame copy first).
#include <benchmark/benchmark.h>

#include "ccrop.h"
#include "cdeinterlace.h"
#include "videoframe.h"

namespace {

constexpr LONG kWidth = 1920;
constexpr LONG kHeight = 1080;

// Neighbouring lines that differ by 0 to 15: all three branches of the advanced pass are taken.
void Paint(VideoFrame* frame)
{
    frame->FillBlack();
    for (LONG row = 0; row < kHeight; ++row) {
        UCHAR* y = frame->GetPlane(0) + static_cast<ptrdiff_t>(row) * frame->GetStride(0);
        for (LONG x = 0; x < kWidth; ++x)
            y[x] = static_cast<UCHAR>(100 + ((row & 1) ? (x * 7 + row) % 16 : 0));
    }
    frame->SetActiveSize(0, kWidth, kHeight / 2);
    frame->SetActiveSize(1, kWidth, kHeight / 2);
}

void CropView(benchmark::State& state)
{
    CropSettings settings{1, 100, 720, 200, 1280, 0, 0, 0, 0, 2, 2};
    CCrop crop(settings);
    VideoFrame frame(kWidth, kHeight, 8, true);
    Paint(&frame);
    for (auto _ : state) {
        crop.Process(&frame);
        benchmark::ClobberMemory();
    }
}

void DeinterlaceAdvanced(benchmark::State& state)
{
    const bool inPlace = state.range(0) != 0;
    CDeInterlace deinterlace(CDeInterlace::kTypeAdvanced);
    VideoFrame frame(kWidth, kHeight, 8, true);
    VideoFrame pristine(kWidth, kHeight, 8, true);
    if (frame.GetFrameData() == nullptr || pristine.GetFrameData() == nullptr) {
        state.SkipWithError("no frame buffer");
        return;
    }
    Paint(&pristine);
    Paint(&frame);
    for (auto _ : state) {
        if (inPlace) {
            // The pass changed the picture: put the lines back, outside the timing.
            state.PauseTiming();
            frame.CopyFrame(&pristine);
            state.ResumeTiming();
        }
        frame.SetWritable(inPlace);
        deinterlace.Process(&frame);
        benchmark::ClobberMemory();
    }
    state.SetLabel(inPlace ? "in place" : "into its work frame");
}

BENCHMARK(CropView)->Unit(benchmark::kMicrosecond); // a view: microseconds
BENCHMARK(DeinterlaceAdvanced)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace
