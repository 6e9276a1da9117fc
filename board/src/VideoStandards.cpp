// The standards table. Line totals follow the SMPTE and ITU rasters: every HD standard fills its
// clock exactly (total pixels x total lines x rate = 74.25 MHz, or 74.25 / 1.001), and the SD
// standards fill 27 MHz at two clocks a pixel.
#include "board/VideoStandards.h"

#include <algorithm>

namespace board {

namespace {

VideoStandard Make(uint32_t bit, const char* name, uint32_t width, uint32_t hblank, std::array<uint32_t, 2> active,
                   std::array<uint32_t, 2> vbi, bool interlaced, uint32_t clock, uint32_t num, uint32_t den)
{
    VideoStandard s;
    s.bit = bit;
    s.name = name;
    s.activeWidth = width;
    s.horizontalBlanking = hblank;
    s.activeLines = active;
    s.vbiLines = vbi;
    s.interlaced = interlaced;
    s.clockHz = clock;
    s.rateNumerator = num;
    s.rateDenominator = den;
    return s;
}

constexpr uint32_t kSd = VideoStandard::kSdClock;
constexpr uint32_t kHd = VideoStandard::kHdClock;
constexpr uint32_t kHd1001 = VideoStandard::kHdClock1001;

std::vector<VideoStandard> MakeTable()
{
    std::vector<VideoStandard> t = {
        Make(0x1, "525i29.97", 720, 138, {244, 243}, {18, 20}, true, kSd, 30000, 1001),
        Make(0x2, "625i25", 720, 144, {288, 288}, {25, 24}, true, kSd, 25, 1),
        Make(0x4, "720p60", 1280, 370, {720, 0}, {30, 0}, false, kHd, 60, 1),
        Make(0x8, "720p59.94", 1280, 370, {720, 0}, {30, 0}, false, kHd1001, 60000, 1001),
        Make(0x10, "720p50", 1280, 700, {720, 0}, {30, 0}, false, kHd, 50, 1),
        Make(0x20, "720p30", 1280, 2020, {720, 0}, {30, 0}, false, kHd, 30, 1),
        Make(0x40, "720p29.97", 1280, 2020, {720, 0}, {30, 0}, false, kHd1001, 30000, 1001),
        Make(0x80, "720p24", 1280, 2845, {720, 0}, {30, 0}, false, kHd, 24, 1),
        Make(0x100, "720p23.976", 1280, 2845, {720, 0}, {30, 0}, false, kHd1001, 24000, 1001),
        Make(0x200, "1080i30", 1920, 280, {540, 540}, {22, 23}, true, kHd, 30, 1),
        Make(0x400, "1080i29.97", 1920, 280, {540, 540}, {22, 23}, true, kHd1001, 30000, 1001),
        Make(0x800, "1080i25", 1920, 720, {540, 540}, {22, 23}, true, kHd, 25, 1),
        Make(0x1000, "1080p30", 1920, 280, {1080, 0}, {45, 0}, false, kHd, 30, 1),
        Make(0x2000, "1080p29.97", 1920, 280, {1080, 0}, {45, 0}, false, kHd1001, 30000, 1001),
        Make(0x4000, "1080p25", 1920, 720, {1080, 0}, {45, 0}, false, kHd, 25, 1),
        Make(0x8000, "1080p24", 1920, 830, {1080, 0}, {45, 0}, false, kHd, 24, 1),
        Make(0x10000, "1080p23.976", 1920, 830, {1080, 0}, {45, 0}, false, kHd1001, 24000, 1001),
        Make(0x20000, "720p25", 1280, 2680, {720, 0}, {30, 0}, false, kHd, 25, 1),
        Make(0x200000, "1035i30", 1920, 280, {517, 518}, {45, 45}, true, kHd, 30, 1),
        Make(0x400000, "1035i29.97", 1920, 280, {517, 518}, {45, 45}, true, kHd1001, 30000, 1001),
        // 483 active lines progressive on the SD clock: 858 x 525 samples at two clocks each.
        Make(0x800000, "483p", 720, 138, {483, 0}, {42, 0}, false, kSd, 30000, 1001),
    };
    std::sort(t.begin(), t.end(), [](const VideoStandard& a, const VideoStandard& b) { return a.bit < b.bit; });
    return t;
}

} // namespace

VideoGeometry VideoStandard::CaptureGeometry(bool halfScale) const
{
    VideoGeometry geometry;
    geometry.activeWidth = activeWidth;
    geometry.horizontalBlanking = horizontalBlanking;
    geometry.activeLines = activeLines;
    geometry.vbiLines = vbiLines;
    if (halfScale && TotalActiveLines() == VideoStandards::kHalfScaleLines) {
        geometry.activeWidth /= 2;
        geometry.horizontalBlanking /= 2;
    }
    return geometry;
}

const std::vector<VideoStandard>& VideoStandards::All()
{
    static const std::vector<VideoStandard> table = MakeTable();
    return table;
}

const VideoStandard* VideoStandards::Find(uint32_t bit)
{
    for (const VideoStandard& standard : All())
        if (standard.bit == bit)
            return &standard;
    return nullptr;
}

} // namespace board
