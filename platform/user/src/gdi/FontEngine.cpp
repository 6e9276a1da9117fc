// The font engine over FreeType and the Liberation faces (see FontEngine.h). Each style file is
// opened once and kept; the size is set before every use under the engine's lock. Resolved fonts
// and glyphs are cached by their keys.
#include "gdi/FontEngine.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>

namespace user {
namespace {

constexpr const char* kFontDirectory = "/usr/share/fonts/truetype/liberation/";
// Larger ems are taken as this: a glyph of a few megabytes at most.
constexpr int kLargestEm = 1000;
// Glyphs and resolved fonts kept before their caches start over.
constexpr size_t kGlyphCacheLimit = 8192;
constexpr size_t kFontCacheLimit = 1024;

struct Face {
    FT_Face face = nullptr;
    int unitsPerEm = 2048;
    int winAscent = 0;
    int winDescent = 0;
    int averageWidth = 0;
    int weightClass = 400;
    int lineHeight = 0; // hhea ascender - descender + line gap
    int boxWidth = 0;
    bool monospaced = false;
};

struct Engine {
    std::mutex lock;
    FT_Library library = nullptr;
    bool failed = false;
    std::map<std::string, std::unique_ptr<Face>> faces;
    std::map<std::tuple<std::u16string, LONG, LONG, bool, bool, bool>, std::shared_ptr<const ResolvedFont>> fonts;
    std::map<std::tuple<std::string, int, uint32_t, bool>, std::shared_ptr<const GlyphImage>> glyphs;
};

Engine& TheEngine()
{
    static Engine* engine = new Engine; // lives to the end of the process: windows paint late
    return *engine;
}

Face* FaceLocked(Engine& engine, const std::string& file)
{
    if (const auto found = engine.faces.find(file); found != engine.faces.end())
        return found->second.get();
    if (!engine.library && !engine.failed && FT_Init_FreeType(&engine.library) != 0)
        engine.failed = true;
    if (engine.failed)
        return nullptr;
    auto face = std::make_unique<Face>();
    if (FT_New_Face(engine.library, file.c_str(), 0, &face->face) != 0)
        return nullptr;
    FT_Face f = face->face;
    face->unitsPerEm = f->units_per_EM ? f->units_per_EM : 2048;
    if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2))) {
        face->winAscent = os2->usWinAscent;
        face->winDescent = os2->usWinDescent;
        face->averageWidth = os2->xAvgCharWidth;
        face->weightClass = os2->usWeightClass;
    } else {
        face->winAscent = f->ascender;
        face->winDescent = -f->descender;
    }
    if (const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(f, FT_SFNT_HHEA)))
        face->lineHeight = hhea->Ascender - hhea->Descender + hhea->Line_Gap;
    face->boxWidth = static_cast<int>(f->bbox.xMax - f->bbox.xMin);
    face->monospaced = FT_IS_FIXED_WIDTH(f);
    Face* made = face.get();
    engine.faces[file] = std::move(face);
    return made;
}

// value x em / units, rounded half away from zero.
LONG Scale(int value, int em, int units)
{
    return static_cast<LONG>(std::lround(static_cast<double>(value) * em / units));
}

std::u16string Lower(std::u16string_view text)
{
    std::u16string out(text);
    for (char16_t& c : out)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return out;
}

enum class Family { sans, serif, mono };

Family FamilyOf(std::u16string_view faceName)
{
    const std::u16string name = Lower(faceName);
    if (name == u"times new roman" || name == u"liberation serif")
        return Family::serif;
    if (name == u"courier new" || name == u"liberation mono")
        return Family::mono;
    return Family::sans;
}

// The names the table knows stay the face's name; others report the family standing in.
std::u16string ReportedName(std::u16string_view faceName, Family family)
{
    static const char16_t* const known[] = {u"arial", u"ms shell dlg", u"ms sans serif", u"microsoft sans serif",
                                            u"tahoma", u"times new roman", u"courier new", u"liberation sans",
                                            u"liberation serif", u"liberation mono"};
    const std::u16string name = Lower(faceName);
    for (const char16_t* k : known)
        if (name == k)
            return std::u16string(faceName);
    switch (family) {
    case Family::serif: return u"Liberation Serif";
    case Family::mono: return u"Liberation Mono";
    default: return u"Liberation Sans";
    }
}

std::u16string FaceNameOf(const LOGFONTW& logical)
{
    std::u16string name;
    for (size_t i = 0; i < LF_FACESIZE && logical.lfFaceName[i]; ++i)
        name.push_back(logical.lfFaceName[i]);
    return name;
}

} // namespace

std::string FontFileFor(std::u16string_view faceName, LONG weight, bool italic)
{
    std::string file = kFontDirectory;
    switch (FamilyOf(faceName)) {
    case Family::serif: file += "LiberationSerif-"; break;
    case Family::mono: file += "LiberationMono-"; break;
    default: file += "LiberationSans-"; break;
    }
    const bool bold = weight >= FW_SEMIBOLD;
    if (bold && italic)
        file += "BoldItalic";
    else if (bold)
        file += "Bold";
    else if (italic)
        file += "Italic";
    else
        file += "Regular";
    return file + ".ttf";
}

std::shared_ptr<const ResolvedFont> ResolveFont(const LOGFONTW& logical)
{
    const std::u16string faceName = FaceNameOf(logical);
    const bool italic = logical.lfItalic != 0;
    const auto key = std::make_tuple(Lower(faceName), logical.lfHeight, logical.lfWeight, italic,
                                     logical.lfUnderline != 0, logical.lfStrikeOut != 0);
    Engine& engine = TheEngine();
    std::lock_guard<std::mutex> hold(engine.lock);
    if (const auto found = engine.fonts.find(key); found != engine.fonts.end())
        return found->second;
    const Family family = FamilyOf(faceName);
    const std::string file = FontFileFor(faceName, logical.lfWeight, italic);
    Face* face = FaceLocked(engine, file);
    if (!face)
        return nullptr;
    // Negative: the em; positive: the cell (win ascent + win descent); 0: 8 points.
    const int64_t height = logical.lfHeight;
    int64_t em = 11;
    if (height < 0)
        em = -height;
    else if (height > 0)
        em = std::llround(static_cast<double>(height) * face->unitsPerEm / (face->winAscent + face->winDescent));
    const int size = static_cast<int>(std::clamp<int64_t>(em, 1, kLargestEm));

    auto font = std::make_shared<ResolvedFont>();
    font->file = file;
    font->faceName = ReportedName(faceName, family);
    font->em = size;
    font->underline = logical.lfUnderline != 0;
    font->strikeOut = logical.lfStrikeOut != 0;
    TEXTMETRICW& tm = font->metrics;
    tm.tmAscent = Scale(face->winAscent, size, face->unitsPerEm);
    tm.tmDescent = Scale(face->winDescent, size, face->unitsPerEm);
    tm.tmHeight = tm.tmAscent + tm.tmDescent;
    tm.tmInternalLeading = tm.tmHeight - size;
    tm.tmExternalLeading = std::max<LONG>(0, Scale(face->lineHeight, size, face->unitsPerEm) - tm.tmHeight);
    tm.tmAveCharWidth = std::max<LONG>(1, Scale(face->averageWidth, size, face->unitsPerEm));
    tm.tmMaxCharWidth = std::max<LONG>(1, Scale(face->boxWidth, size, face->unitsPerEm));
    tm.tmWeight = face->weightClass;
    tm.tmOverhang = 0;
    tm.tmDigitizedAspectX = 96;
    tm.tmDigitizedAspectY = 96;
    tm.tmFirstChar = 0x20;
    tm.tmLastChar = 0xFFFC;
    tm.tmDefaultChar = 0x1F;
    tm.tmBreakChar = 0x20;
    tm.tmItalic = italic ? 255 : 0;
    tm.tmUnderlined = font->underline ? 255 : 0;
    tm.tmStruckOut = font->strikeOut ? 255 : 0;
    const BYTE kind = family == Family::serif ? FF_ROMAN : family == Family::mono ? FF_MODERN : FF_SWISS;
    tm.tmPitchAndFamily = static_cast<BYTE>(kind | TMPF_TRUETYPE | TMPF_VECTOR | (face->monospaced ? 0 : TMPF_FIXED_PITCH));
    tm.tmCharSet = logical.lfCharSet == DEFAULT_CHARSET ? ANSI_CHARSET : logical.lfCharSet;
    if (engine.fonts.size() >= kFontCacheLimit)
        engine.fonts.clear();
    engine.fonts[key] = font;
    return font;
}

std::shared_ptr<const GlyphImage> RenderGlyph(const ResolvedFont& font, uint32_t code, bool index)
{
    Engine& engine = TheEngine();
    std::lock_guard<std::mutex> hold(engine.lock);
    const auto key = std::make_tuple(font.file, font.em, code, index);
    if (const auto found = engine.glyphs.find(key); found != engine.glyphs.end())
        return found->second;
    Face* face = FaceLocked(engine, font.file);
    if (!face)
        return nullptr;
    FT_Face f = face->face;
    if (FT_Set_Pixel_Sizes(f, 0, static_cast<FT_UInt>(font.em)) != 0)
        return nullptr;
    const FT_Int32 flags = FT_LOAD_RENDER | FT_LOAD_TARGET_MONO;
    const FT_Error error = index ? FT_Load_Glyph(f, code, flags) : FT_Load_Char(f, code, flags);
    if (error != 0 || f->glyph->bitmap.pixel_mode != FT_PIXEL_MODE_MONO)
        return nullptr;
    const FT_Bitmap& bitmap = f->glyph->bitmap;
    auto glyph = std::make_shared<GlyphImage>();
    glyph->width = static_cast<int>(bitmap.width);
    glyph->rows = static_cast<int>(bitmap.rows);
    glyph->left = f->glyph->bitmap_left;
    glyph->top = f->glyph->bitmap_top;
    glyph->advance = static_cast<int>((f->glyph->advance.x + 32) >> 6);
    if (glyph->width > 0 && glyph->rows > 0) {
        glyph->pitch = (glyph->width + 7) / 8;
        glyph->bits.assign(static_cast<size_t>(glyph->pitch) * glyph->rows, 0);
        for (int y = 0; y < glyph->rows; ++y) {
            const int source = bitmap.pitch >= 0 ? y : glyph->rows - 1 - y;
            const unsigned char* row = bitmap.buffer + static_cast<ptrdiff_t>(source) * std::abs(bitmap.pitch);
            std::copy(row, row + glyph->pitch, glyph->bits.begin() + static_cast<ptrdiff_t>(y) * glyph->pitch);
            // Nothing past the black box.
            if (glyph->width % 8)
                glyph->bits[static_cast<size_t>(y) * glyph->pitch + glyph->pitch - 1] &=
                    static_cast<uint8_t>(0xFF00 >> (glyph->width % 8));
        }
    }
    // A bitmap without a set bit is a glyph without ink.
    if (std::none_of(glyph->bits.begin(), glyph->bits.end(), [](uint8_t b) { return b != 0; })) {
        glyph->width = glyph->rows = glyph->pitch = 0;
        glyph->bits.clear();
    }
    if (engine.glyphs.size() >= kGlyphCacheLimit)
        engine.glyphs.clear();
    engine.glyphs[key] = glyph;
    return glyph;
}

int TextAdvance(const ResolvedFont& font, std::u16string_view text)
{
    int advance = 0;
    for (char16_t c : text)
        if (auto glyph = RenderGlyph(font, c))
            advance += glyph->advance;
    return advance;
}

} // namespace user
