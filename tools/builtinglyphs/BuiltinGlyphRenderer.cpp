#include "BuiltinGlyphRenderer.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_BBOX_H

#include <algorithm>
#include <cmath>

namespace builtinglyphs {

const std::vector<GlyphRecipe>& GlyphRecipes()
{
    // Black boxes, height x width, in size classes 0 to 3 (below 24 pt, below 36, below 48, from 48).
    static const std::vector<GlyphRecipe> recipes = {
        {"pound sign", U"\u00A3", {9, 18, 29, 38}, {11, 18, 27, 36}, false},
        {"cent sign", U"\u00A2", {11, 23, 34, 48}, {5, 13, 18, 24}, false},
        {"ring", U"\u02DA", {4, 9, 13, 18}, {5, 10, 14, 17}, true},
        {"one half", U"\u00BD", {12, 23, 36, 48}, {11, 21, 29, 40}, false},
        {"eighth note", U"\u266A", {13, 25, 38, 51}, {10, 21, 29, 38}, false},
        {"registered sign", U"\u00AE", {14, 22, 31, 44}, {16, 21, 28, 38}, false},
        {"trade mark sign", U"\u2122", {6, 13, 19, 26}, {14, 24, 36, 47}, true},
        {"circumflex accent", U"\u02C6", {4, 5, 8, 10}, {7, 8, 14, 20}, true},
        {"acute accent", U"\u00B4", {2, 4, 7, 9}, {3, 6, 8, 10}, true},
        {"cedilla", U"\u00B8", {3, 6, 8, 10}, {3, 4, 7, 10}, false},
        {"left double angle quotation mark", U"\u00AB", {7, 9, 14, 26}, {6, 12, 17, 31}, false},
        {"right double angle quotation mark", U"\u00BB", {7, 9, 14, 26}, {6, 12, 17, 31}, false},
        {"diaeresis", U"\u00A8", {2, 3, 5, 6}, {3, 6, 11, 14}, true},
        {"inverted exclamation mark", U"\u00A1", {10, 19, 28, 39}, {1, 2, 6, 9}, false},
        {"yen sign", U"\u00A5", {12, 21, 32, 43}, {10, 21, 34, 44}, false},
        {"sharp s", U"\u00DF", {11, 22, 34, 45}, {7, 15, 19, 29}, false},
        {"circled letter C", U"\u00A9", {11, 21, 48, 54}, {11, 21, 36, 40}, false},
        // The face has no service mark of its own: its letters S and M, set as the trade mark's
        // letters are.
        {"service mark", U"SM", {5, 9, 14, 17}, {8, 14, 21, 28}, true},
        {"bullet", U"\u2022", {5, 14, 21, 27}, {5, 15, 21, 27}, false},
    };
    return recipes;
}

namespace {

FT_Library Library(void* p) { return static_cast<FT_Library>(p); }
FT_Face Face(void* p) { return static_cast<FT_Face>(p); }

// Outlines are drawn at 256 pixels an em before they are stretched, so that rounding the stretched
// points to 1/64 pixel loses nothing visible.
constexpr FT_F26Dot6 kDrawingSize = 256 * 64;
constexpr int kInk = 128;     // coverage (of 255) from which a pixel is ink
constexpr int kRescue = 64;   // coverage that keeps a thin row or column from vanishing
constexpr FT_Pos kGrowth = 12; // 3/16 pixel, in 1/64 pixels

} // namespace

BuiltinGlyphRenderer::BuiltinGlyphRenderer(const std::string& facePath)
{
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library)) {
        error_ = "FreeType did not start";
        return;
    }
    library_ = library;
    FT_Face face = nullptr;
    if (FT_New_Face(library, facePath.c_str(), 0, &face)) {
        error_ = "cannot open the face " + facePath;
        return;
    }
    if (FT_Set_Char_Size(face, 0, kDrawingSize, 72, 72)) {
        FT_Done_Face(face);
        error_ = "cannot size the face " + facePath;
        return;
    }
    face_ = face;
}

BuiltinGlyphRenderer::~BuiltinGlyphRenderer()
{
    if (face_)
        FT_Done_Face(Face(face_));
    if (library_)
        FT_Done_FreeType(Library(library_));
}

std::string BuiltinGlyphRenderer::FaceName() const
{
    if (!face_)
        return {};
    const FT_Face face = Face(face_);
    return std::string(face->family_name ? face->family_name : "?") + " " + (face->style_name ? face->style_name : "");
}

std::string BuiltinGlyphRenderer::RasteriserName() const
{
    FT_Int major = 0, minor = 0, patch = 0;
    if (library_)
        FT_Library_Version(Library(library_), &major, &minor, &patch);
    return "FreeType " + std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

std::vector<uint8_t> BuiltinGlyphRenderer::Render(const std::u32string& characters, uint32_t width, uint32_t height)
{
    if (!face_ || characters.empty() || width == 0 || height == 0)
        return {};
    const FT_Face face = Face(face_);
    // Loads a character's outline; false when it is missing or has none.
    auto load = [&](char32_t c) {
        const FT_UInt index = FT_Get_Char_Index(face, c);
        return index != 0 && !FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) &&
               face->glyph->format == FT_GLYPH_FORMAT_OUTLINE && face->glyph->outline.n_points > 0;
    };
    // The ink box of each character, and the rows all of them span together.
    std::vector<FT_BBox> boxes;
    for (char32_t c : characters) {
        if (!load(c))
            return {};
        FT_BBox b;
        FT_Outline_Get_BBox(&face->glyph->outline, &b);
        if (b.xMax <= b.xMin || b.yMax <= b.yMin)
            return {};
        boxes.push_back(b);
    }
    FT_Pos yMin = boxes[0].yMin, yMax = boxes[0].yMax, inkWidth = 0;
    for (const FT_BBox& b : boxes) {
        yMin = std::min(yMin, b.yMin);
        yMax = std::max(yMax, b.yMax);
        inkWidth += b.xMax - b.xMin;
    }
    // Several characters (a mark such as "SM") share the width by their ink, one blank column
    // between neighbours when the box is wide enough for it, so that each keeps its strokes.
    const uint32_t count = static_cast<uint32_t>(characters.size());
    const uint32_t gap = width >= 3 * count ? 1 : 0;
    const uint32_t available = width - gap * (count - 1);
    std::vector<uint32_t> bandLeft(count), bandWidth(count);
    uint32_t used = 0;
    FT_Pos inkBefore = 0;
    for (uint32_t i = 0; i < count; ++i) {
        inkBefore += boxes[i].xMax - boxes[i].xMin;
        const uint32_t end = static_cast<uint32_t>(std::lround(static_cast<double>(available) * inkBefore / inkWidth));
        bandLeft[i] = used + gap * i;
        bandWidth[i] = std::max<uint32_t>(end - used, 1);
        used = end;
    }
    // Each character stretched over its band and the rows, rendered with coverage; where
    // characters meet, the larger coverage counts.
    const double sy = 64.0 * height / static_cast<double>(yMax - yMin);
    std::vector<uint8_t> coverage(static_cast<size_t>(width) * height, 0);
    std::vector<uint8_t> one(coverage.size());
    for (uint32_t i = 0; i < count; ++i) {
        load(characters[i]);
        const double sx = 64.0 * bandWidth[i] / static_cast<double>(boxes[i].xMax - boxes[i].xMin);
        FT_Outline& outline = face->glyph->outline;
        for (int p = 0; p < outline.n_points; ++p) {
            outline.points[p].x = std::lround((outline.points[p].x - boxes[i].xMin) * sx) + 64 * bandLeft[i];
            outline.points[p].y = std::lround((outline.points[p].y - yMin) * sy);
        }
        // Stretched small, a stem can become thinner than a pixel: every outline grows by
        // kGrowth across, so that the thinnest stem still reaches half coverage. Not upwards:
        // the gaps between a mark's parts (the dot of an inverted exclamation mark) stay open.
        FT_Outline_EmboldenXY(&outline, kGrowth, 0);
        FT_Outline_Translate(&outline, -kGrowth / 2, 0);
        std::fill(one.begin(), one.end(), 0);
        FT_Bitmap target{};
        target.rows = height;
        target.width = width;
        target.pitch = static_cast<int>(width); // rows top first; the outline's origin is the bottom left
        target.buffer = one.data();
        target.num_grays = 256;
        target.pixel_mode = FT_PIXEL_MODE_GRAY;
        if (FT_Outline_Get_Bitmap(Library(library_), &outline, &target))
            return {};
        for (size_t k = 0; k < coverage.size(); ++k)
            coverage[k] = std::max(coverage[k], one[k]);
    }
    // Ink from half coverage. A row or column that the threshold emptied although the mark crosses
    // it keeps its most covered pixel, and the box's four edges always have ink, so that the black
    // box is the bitmap's.
    auto at = [&](uint32_t x, uint32_t y) { return coverage[static_cast<size_t>(y) * width + x]; };
    std::vector<bool> ink(coverage.size());
    for (size_t i = 0; i < coverage.size(); ++i)
        ink[i] = coverage[i] >= kInk;
    auto rescueRow = [&](uint32_t y, int least) {
        uint32_t best = 0;
        for (uint32_t x = 0; x < width; ++x) {
            if (ink[static_cast<size_t>(y) * width + x])
                return;
            if (at(x, y) > at(best, y))
                best = x;
        }
        if (at(best, y) >= least)
            ink[static_cast<size_t>(y) * width + best] = true;
    };
    auto rescueColumn = [&](uint32_t x, int least) {
        uint32_t best = 0;
        for (uint32_t y = 0; y < height; ++y) {
            if (ink[static_cast<size_t>(y) * width + x])
                return;
            if (at(x, y) > at(x, best))
                best = y;
        }
        if (at(x, best) >= least)
            ink[static_cast<size_t>(best) * width + x] = true;
    };
    for (uint32_t y = 0; y < height; ++y)
        rescueRow(y, (y == 0 || y == height - 1) ? 1 : kRescue);
    for (uint32_t x = 0; x < width; ++x)
        rescueColumn(x, (x == 0 || x == width - 1) ? 1 : kRescue);
    const uint32_t rowBytes = ((width + 31) / 32) * 4;
    std::vector<uint8_t> bits(static_cast<size_t>(rowBytes) * height, 0);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            if (ink[static_cast<size_t>(y) * width + x])
                bits[static_cast<size_t>(y) * rowBytes + x / 8] |= static_cast<uint8_t>(0x80u >> (x % 8));
    return bits;
}

} // namespace builtinglyphs
