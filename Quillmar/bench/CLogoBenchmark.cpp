// CLogo on 1920 x 1080 frames: a 400 x 200 logo (a bitmap written to a drive of the benchmark's
// own) placed at 100, 100, opaque, keyed, blended at 50 % and keyed and blended, in milliseconds
// per frame; and the placement (resize and premultiplication) that runs at a change of frame size.
#include <benchmark/benchmark.h>

#include "clogo.h"
#include "standin/drives.h"
#include "videoframe.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A drive C under a temporary machine root holding logo.bmp: 400 x 200, 24-bit, a red disc on
// magenta.
class LogoDrive {
public:
    LogoDrive()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "logo-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_root = pattern;
        std::filesystem::create_directory(m_root / "C");
        standin::SetMachineRoot(m_root.string());
        const int w = 400, h = 200, row = (w * 3 + 3) / 4 * 4;
        std::vector<unsigned char> file(54 + size_t(row) * h, 0);
        auto put32 = [&](size_t at, uint32_t v) {
            for (int i = 0; i < 4; ++i)
                file[at + i] = static_cast<unsigned char>(v >> (8 * i));
        };
        file[0] = 'B';
        file[1] = 'M';
        put32(2, uint32_t(file.size()));
        put32(10, 54);
        put32(14, 40);
        put32(18, w);
        put32(22, h);
        file[26] = 1;
        file[28] = 24;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                unsigned char* p = &file[54 + size_t(y) * row + 3 * x];
                const bool disc = (x - 200) * (x - 200) + (y - 100) * (y - 100) < 90 * 90;
                p[0] = disc ? 0 : 255; // blue
                p[1] = 0;
                p[2] = 255; // red
            }
        std::ofstream(m_root / "C" / "logo.bmp", std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    }
    ~LogoDrive()
    {
        standin::SetMachineRoot("");
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

private:
    std::filesystem::path m_root;
};

void Configure(CLogo& step, bool key, LONG percent, LONG referenceHeight = 0, LONG referenceWidth = 0)
{
    LogoSettings& s = step.Settings();
    s = {};
    const char16_t name[] = u"C:\\logo.bmp";
    std::copy(std::begin(name), std::end(name), s.fileName);
    s.top = 100;
    s.left = 100;
    s.width = 400;
    s.height = 200;
    s.right = 500;
    s.bottom = 300;
    s.keyColorEnable = key ? 1 : 0;
    s.keyColor = 0x00FF00FF;
    s.transparencyEnable = percent ? 1 : 0;
    s.transparencyPercent = percent;
    s.referenceHeight = referenceHeight;
    s.referenceWidth = referenceWidth;
    step.InitLogo();
}

void LogoOn1080(benchmark::State& state)
{
    LogoDrive drive;
    const bool key = state.range(0) != 0;
    const LONG percent = static_cast<LONG>(state.range(1));
    CLogo step;
    Configure(step, key, percent);
    VideoFrame frame(1920, 1080, 8, true);
    if (!step.IsLoaded() || !frame.GetFrameData()) {
        state.SkipWithError("no logo or no frame buffer");
        return;
    }
    frame.Fill(120, 110, 140);
    frame.SetWritable(true);
    for (auto _ : state) {
        step.Process(&frame);
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::string(key ? "keyed" : "opaque") + (percent ? ", 50 %" : ""));
}

BENCHMARK(LogoOn1080)->ArgNames({"key", "pct"})->Args({0, 0})->Args({1, 0})->Args({0, 50})->Args({1, 50})->Unit(
    benchmark::kMillisecond);

// The placement for a 1080 frame from a 540-line reference: the logo and mask resized to 800 x 400
// and premultiplied.
void LogoPlacement1080(benchmark::State& state)
{
    LogoDrive drive;
    CLogo step;
    Configure(step, true, 50, 540, 960);
    if (!step.IsLoaded()) {
        state.SkipWithError("no logo");
        return;
    }
    for (auto _ : state) {
        step.ResizeTheLogo(1080, 1920);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(LogoPlacement1080)->Unit(benchmark::kMillisecond);

} // namespace
