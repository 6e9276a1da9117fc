// The proc amp on 1920 x 1080 frames, in milliseconds per frame: brightness, contrast and gamma
// alone (the luma table), hue and saturation alone (the two chroma tables), and both, in place on
// a writable frame and into the work frame of a shared one.
#include <benchmark/benchmark.h>

#include <string>

#include "ccolorspaces.h"
#include "videoframe.h"

namespace {

constexpr LONG kWidth = 1920;
constexpr LONG kHeight = 1080;

// The values only: all-zero tables are computed from them when the step loads the block.
ProcAmpBlock Block(LONG brightness, LONG contrast, LONG hue, LONG saturation)
{
    ProcAmpBlock b{};
    b.hue = hue;
    b.saturation = saturation;
    b.contrast = contrast;
    b.contrastNeutral = 100;
    b.gamma = b.gammaNeutral = 100;
    b.brightness = brightness;
    return b;
}

// range(0): 1 luma, 2 chroma, 3 both; range(1): 1 in place.
void ProcAmp(benchmark::State& state)
{
    const int which = static_cast<int>(state.range(0));
    const bool inPlace = state.range(1) != 0;
    CColorSpaces procAmp;
    procAmp.LoadSettings(
        Block((which & 1) ? 10 : 0, (which & 1) ? 120 : 100, (which & 2) ? 20 : 0, (which & 2) ? 30 : 0));
    procAmp.UpdateSettings();
    VideoFrame frame(kWidth, kHeight, 8, true);
    if (frame.GetFrameData() == nullptr) {
        state.SkipWithError("no frame buffer");
        return;
    }
    for (ULONG i = 0; i < frame.GetDataSize(); ++i)
        frame.GetFrameData()[i] = static_cast<UCHAR>(16 + (i * 13) % 220);
    for (auto _ : state) {
        frame.SetWritable(inPlace);
        procAmp.Process(&frame);
        benchmark::ClobberMemory();
    }
    static const char* const kNames[4] = {"", "brightness/contrast/gamma", "hue/saturation", "both"};
    state.SetLabel(std::string(kNames[which]) + (inPlace ? ", in place" : ", into its work frame"));
}

BENCHMARK(ProcAmp)
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({3, 1})
    ->Args({3, 0})
    ->Unit(benchmark::kMillisecond);

} // namespace
