// GetGlyphOutline: one glyph of the DC's font as metrics or as a monochrome bitmap, rows top down,
// the leftmost pixel in the high bit, each row padded to 4 bytes. Only the identity matrix is
// taken; a glyph without ink has size 0.
#include "gdi/GdiTable.h"
#include "text/AnsiText.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"

#include <cstring>

using namespace user;

namespace {

bool IsIdentity(const MAT2& m)
{
    auto value = [](const FIXED& f) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(f.value)) << 16 | f.fract); };
    return value(m.eM11) == 0x10000 && value(m.eM12) == 0 && value(m.eM21) == 0 && value(m.eM22) == 0x10000;
}

DWORD GlyphOutline(HDC hdc, uint32_t code, UINT format, LPGLYPHMETRICS metrics, DWORD size, void* buffer,
                   const MAT2* matrix)
{
    const bool index = (format & GGO_GLYPH_INDEX) != 0;
    format &= ~static_cast<UINT>(GGO_GLYPH_INDEX);
    if (!metrics || !matrix || !IsIdentity(*matrix) || (format != GGO_METRICS && format != GGO_BITMAP)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return GDI_ERROR;
    }
    std::shared_ptr<const ResolvedFont> font;
    {
        auto& table = Table();
        std::lock_guard<std::mutex> hold(table.lock);
        DcState* dc = FindDcLocked(table, hdc, "GetGlyphOutline");
        if (!dc)
            return GDI_ERROR;
        font = SelectedFontLocked(table, *dc);
    }
    auto glyph = font ? RenderGlyph(*font, code, index) : nullptr;
    if (!glyph) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return GDI_ERROR;
    }
    const DWORD rowBytes = (static_cast<DWORD>(glyph->width) + 31) / 32 * 4;
    const DWORD needed = rowBytes * static_cast<DWORD>(glyph->rows);
    *metrics = GLYPHMETRICS{static_cast<UINT>(glyph->width), static_cast<UINT>(glyph->rows),
                            POINT{glyph->left, glyph->top}, static_cast<short>(glyph->advance), 0};
    // The metrics alone (or no room given): the size a bitmap would take.
    if (format == GGO_METRICS || !buffer || size == 0 || needed == 0)
        return needed;
    if (size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return GDI_ERROR;
    }
    auto* out = static_cast<BYTE*>(buffer);
    std::memset(out, 0, needed);
    for (int y = 0; y < glyph->rows; ++y)
        std::memcpy(out + static_cast<size_t>(y) * rowBytes, glyph->bits.data() + static_cast<size_t>(y) * glyph->pitch,
                    static_cast<size_t>(glyph->pitch));
    return needed;
}

} // namespace

extern "C" DWORD WINAPI GetGlyphOutlineW(HDC hdc, UINT uChar, UINT fuFormat, LPGLYPHMETRICS lpgm, DWORD cjBuffer,
                                         void* pvBuffer, const MAT2* lpmat2)
{
    return GlyphOutline(hdc, uChar, fuFormat, lpgm, cjBuffer, pvBuffer, lpmat2);
}

extern "C" DWORD WINAPI GetGlyphOutlineA(HDC hdc, UINT uChar, UINT fuFormat, LPGLYPHMETRICS lpgm, DWORD cjBuffer,
                                         void* pvBuffer, const MAT2* lpmat2)
{
    // A character of the ANSI code page (a glyph index passes as it is).
    uint32_t code = uChar;
    if (!(fuFormat & GGO_GLYPH_INDEX) && uChar < 0x100) {
        const char c = static_cast<char>(uChar);
        const std::u16string wide = WideFromAnsi(std::string_view(&c, 1));
        code = wide.empty() ? uChar : wide[0];
    }
    return GlyphOutline(hdc, code, fuFormat, lpgm, cjBuffer, pvBuffer, lpmat2);
}
