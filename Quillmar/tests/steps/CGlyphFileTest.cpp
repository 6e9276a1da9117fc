// The driver's glyph file reader: whole files load with their bitmaps, broken ones (size word,
// a short file, an absurd byte count) load nothing and allocate no more than the file's size, and
// a FreeType-made file renders "HELLO" with ink only inside its cells.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "CaptionTestSupport.h"
#include "TraceTestSupport.h"
#include "cglyphfile.h"
#include "coverlaycc.h"
#include "glyphfileformat.h"
#include "km/pool.h"
#include "kernel/poolallocation.h"

using namespace glyphfile;

namespace {

class GlyphFileTest : public tracetest::TraceTest {
protected:
    void Write(const char* name, const std::vector<uint8_t>& bytes) { captiontest::WriteFile(root / "C" / name, bytes); }
};

} // namespace

TEST_F(GlyphFileTest, WholeFileLoadsWithItsBitmaps)
{
    const auto font = captiontest::RectangleFont();
    Write("rect.gph", captiontest::SerializeGlyphFile(font));
    CGlyphFile glyphs;
    EXPECT_EQ(glyphs.GetCellWidth(0), 0u);
    ASSERT_EQ(glyphs.LoadGlyphFile(u"C:\\rect.gph"), 1u);
    EXPECT_EQ(glyphs.GetCellWidth(0x400), 12u);
    const UCHAR* a = glyphs.Bitmap(2, 'A');
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(std::memcmp(a, font.bitmaps[GlyphSlot(2, 'A')].data(), font.bitmaps[GlyphSlot(2, 'A')].size()), 0);
    // The record's bitmap field now holds the bitmap's address.
    EXPECT_EQ(ReadEntry(glyphs.Header(), 2, 'A').bitmapField, uint64_t(reinterpret_cast<uintptr_t>(a)));
    EXPECT_EQ(glyphs.Bitmap(0, 20), nullptr);
    EXPECT_EQ(glyphs.LoadGlyphFile(u""), 0u);
    EXPECT_FALSE(glyphs.IsLoaded());
    EXPECT_EQ(glyphs.LoadGlyphFile(u"C:\\missing.gph"), 0u);
    GlyphBitmap line;
    const USHORT codes[] = {'A'};
    EXPECT_FALSE(glyphs.RenderText(codes, 1, nullptr, 0, 0xFFFFFF, 0, &line));
}

TEST_F(GlyphFileTest, BrokenFilesLoadNothingAndAllocateNoMoreThanTheirSize)
{
    const auto good = captiontest::SerializeGlyphFile(captiontest::RectangleFont());
    std::vector<std::vector<uint8_t>> broken;
    broken.push_back(good);
    WriteU32(&broken.back()[kHeaderSizeOffset], 32927);
    broken.push_back(std::vector<uint8_t>(good.begin(), good.end() - 1));
    broken.push_back(good);
    {
        GlyphEntry e = ReadEntry(broken.back().data(), 1, 'Q');
        e.bitmapBytes = 0x7FFFFFFF;
        WriteEntry(broken.back().data(), 1, 'Q', e);
    }
    broken.push_back(std::vector<uint8_t>(good.begin(), good.begin() + 1000)); // shorter than the header
    for (size_t i = 0; i < broken.size(); ++i) {
        Write("broken.gph", broken[i]);
        const auto before = standin::PoolUsageTotal();
        {
            CGlyphFile glyphs;
            EXPECT_EQ(glyphs.LoadGlyphFile(u"C:\\broken.gph"), 0u) << i;
            EXPECT_EQ(glyphs.GetCellWidth(0), 0u);
            EXPECT_FALSE(glyphs.IsLoaded());
        }
        const auto after = standin::PoolUsageTotal();
        EXPECT_LE(after.totalBytes - before.totalBytes, broken[i].size() + 4096) << i;
        EXPECT_EQ(after.outstandingBlocks, before.outstandingBlocks);
        // The caption overlay stays off.
        const auto record = captiontest::CaptionRecord(u"C:\\broken.gph", 400, 40, 60, 600, 480, 720);
        COverlayCC overlay(record.data());
        overlay.Init();
        EXPECT_FALSE(overlay.IsOn()) << i;
    }
}

TEST_F(GlyphFileTest, FreeTypeFileRendersHelloInsideItsCells)
{
    const auto font = captiontest::FreeTypeFont(24);
    Write("liberation.gph", captiontest::SerializeGlyphFile(font));
    CGlyphFile glyphs;
    ASSERT_EQ(glyphs.LoadGlyphFile(u"C:\\liberation.gph"), 1u);
    const USHORT codes[] = {'H', 'E', 'L', 'L', 'O'};
    GlyphBitmap line;
    ASSERT_TRUE(glyphs.RenderText(codes, 5, nullptr, 0x000000, 0xFFFFFF, 0, &line));
    TextLayout layout;
    ASSERT_TRUE(LayOutText(glyphs.Header(), codes, nullptr, 5, 0, 0, &layout));
    EXPECT_EQ(line.height, layout.lineHeight);
    EXPECT_EQ(line.width % 4, 0);
    // The cells' spans, placed as the renderer places upright cells.
    std::vector<std::pair<int, int>> cells;
    int64_t pen = 0;
    for (uint32_t i = 0; i < layout.cellCount; ++i) {
        const int advance = std::clamp(layout.cells[i].originX, 0, 1024);
        const int64_t left = i == 0 ? pen : pen + advance;
        cells.emplace_back(int(left), int(left) + layout.cells[i].width);
        pen += layout.cells[i].width + advance;
    }
    size_t ink = 0;
    std::vector<size_t> inkPerCell(cells.size(), 0);
    for (int y = 0; y < line.height; ++y)
        for (int x = 0; x < line.width; ++x) {
            const UCHAR* p = line.pixels + size_t(y) * line.pitch + size_t(x) * 3;
            if (p[0] == 0 && p[1] == 0 && p[2] == 0)
                continue;
            ASSERT_TRUE(p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF);
            ++ink;
            bool inside = false;
            for (size_t c = 0; c < cells.size(); ++c)
                if (x >= cells[c].first && x < cells[c].second) {
                    inside = true;
                    ++inkPerCell[c];
                }
            ASSERT_TRUE(inside) << x << "," << y;
        }
    EXPECT_GT(ink, 100u);
    for (size_t c = 0; c < cells.size(); ++c)
        EXPECT_GT(inkPerCell[c], 10u) << c;
    FreePool(line.pixels);
}
