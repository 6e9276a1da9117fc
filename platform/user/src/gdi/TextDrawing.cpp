// Text on a device context: TextOut and ExtTextOut in the DC's font, text colour, background colour
// and mode, placed by the DC's text alignment; DrawText's lines, word breaks, alignment in a
// rectangle and '&' prefixes. Glyphs are drawn monochrome in the text colour.
#include "gdi/Raster.h"
#include "gdi/TextLayout.h"
#include "text/AnsiText.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"
#include "um/winuserpaint.h"

#include <algorithm>
#include <cstring>

namespace user {

PrefixedText StripPrefixes(std::u16string_view text, bool prefixes)
{
    PrefixedText out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (prefixes && text[i] == u'&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != u'&')
                out.underline = static_cast<int>(out.text.size());
        } else if (prefixes && text[i] == u'&') {
            continue; // a '&' at the end shows nothing
        }
        out.text.push_back(text[i]);
    }
    return out;
}

std::vector<std::u16string> BreakLines(const ResolvedFont& font, std::u16string_view text, bool singleLine,
                                       bool wordBreak, int width, std::vector<size_t>* starts)
{
    std::vector<std::u16string> lines;
    auto push = [&](std::u16string line, size_t start) {
        lines.push_back(std::move(line));
        if (starts)
            starts->push_back(start);
    };
    size_t begin = 0;
    while (begin <= text.size()) {
        size_t end = singleLine ? text.size() : text.find(u'\n', begin);
        if (end == std::u16string_view::npos)
            end = text.size();
        std::u16string line;
        for (size_t i = begin; i < end; ++i)
            if (text[i] != u'\r' && text[i] != u'\n')
                line.push_back(text[i]);
        size_t lineStart = begin;
        if (wordBreak && !singleLine) {
            // Greedy: as many words as fit; a word wider than the line stands alone.
            while (TextAdvance(font, line) > width) {
                size_t cut = std::u16string::npos;
                for (size_t i = line.size(); i-- > 0;)
                    if (line[i] == u' ' && TextAdvance(font, std::u16string_view(line).substr(0, i)) <= width) {
                        cut = i;
                        break;
                    }
                if (cut == std::u16string::npos) {
                    cut = line.find(u' ');
                    if (cut == std::u16string::npos)
                        break;
                }
                push(line.substr(0, cut), lineStart);
                size_t next = cut;
                while (next < line.size() && line[next] == u' ')
                    ++next;
                lineStart += next;
                line.erase(0, next);
            }
        }
        push(std::move(line), lineStart);
        if (end >= text.size())
            break;
        begin = end + 1;
    }
    return lines;
}

void DrawGlyphsLocked(Canvas& canvas, const ResolvedFont& font, int x, int y, std::u16string_view text,
                      const INT* dx, int underline)
{
    if (!canvas.pixels)
        return;
    const COLORREF color = canvas.dc->text;
    const int baseline = y + font.metrics.tmAscent;
    // Lines under the text sit one pixel below the base line, strikes at a third of the ascent.
    const int thickness = std::max(1, font.em / 14);
    int pen = x;
    for (size_t i = 0; i < text.size(); ++i) {
        auto glyph = RenderGlyph(font, text[i]);
        if (!glyph)
            continue;
        const int advance = dx ? dx[i] : glyph->advance;
        if (glyph->width > 0) {
            std::vector<bool> shape(static_cast<size_t>(glyph->width) * glyph->rows);
            for (int gy = 0; gy < glyph->rows; ++gy)
                for (int gx = 0; gx < glyph->width; ++gx)
                    shape[static_cast<size_t>(gy) * glyph->width + gx] = glyph->Ink(gx, gy);
            ShapeFillLocked(canvas, pen + glyph->left, baseline - glyph->top, glyph->width, glyph->rows, shape, color);
        }
        if (font.underline || static_cast<int>(i) == underline) {
            std::vector<bool> bar(static_cast<size_t>(std::max(advance, 0)) * thickness, true);
            ShapeFillLocked(canvas, pen, baseline + 1, std::max(advance, 0), thickness, bar, color);
        }
        if (font.strikeOut) {
            std::vector<bool> bar(static_cast<size_t>(std::max(advance, 0)) * thickness, true);
            ShapeFillLocked(canvas, pen, baseline - font.metrics.tmAscent / 3, std::max(advance, 0), thickness, bar,
                            color);
        }
        pen += advance;
    }
}

} // namespace user

using namespace user;

namespace {

int Advance(const ResolvedFont& font, std::u16string_view text, const INT* dx)
{
    if (!dx)
        return TextAdvance(font, text);
    int sum = 0;
    for (size_t i = 0; i < text.size(); ++i)
        sum += dx[i];
    return sum;
}

BOOL ExtTextOutText(HDC hdc, int x, int y, UINT options, const RECT* rect, std::u16string_view text, const INT* dx)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto canvas = CanvasLocked(table, hdc, "ExtTextOut");
    if (!canvas)
        return FALSE;
    auto font = SelectedFontLocked(table, *canvas->dc);
    if (!font) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    DcState& dc = *canvas->dc;
    if (options & ETO_OPAQUE && rect)
        FillLocked(*canvas, *rect, dc.background, PATCOPY);
    if (options & ETO_CLIPPED && rect) {
        const POINT o = dc.origin;
        canvas->drawable =
            IntersectRegion(canvas->drawable, RECT{rect->left + o.x, rect->top + o.y, rect->right + o.x, rect->bottom + o.y});
    }
    const int width = Advance(*font, text, dx);
    const UINT align = dc.textAlign;
    if ((align & TA_CENTER) == TA_CENTER)
        x -= width / 2;
    else if (align & TA_RIGHT)
        x -= width;
    if ((align & TA_BASELINE) == TA_BASELINE)
        y -= font->metrics.tmAscent;
    else if (align & TA_BOTTOM)
        y -= font->metrics.tmHeight;
    if (dc.backgroundMode == OPAQUE)
        FillLocked(*canvas, RECT{x, y, x + width, y + font->metrics.tmHeight}, dc.background, PATCOPY);
    DrawGlyphsLocked(*canvas, *font, x, y, text, dx, -1);
    return TRUE;
}

int DrawTextText(HDC hdc, std::u16string_view source, LPRECT rect, UINT format)
{
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto canvas = CanvasLocked(table, hdc, "DrawText");
    if (!canvas)
        return 0;
    auto font = SelectedFontLocked(table, *canvas->dc);
    if (!font) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    const PrefixedText shown = StripPrefixes(source, !(format & DT_NOPREFIX));
    const bool single = format & DT_SINGLELINE;
    std::vector<size_t> starts;
    const auto lines =
        BreakLines(*font, shown.text, single, format & DT_WORDBREAK, rect->right - rect->left, &starts);
    const int lineHeight = font->metrics.tmHeight;
    const int height = lineHeight * static_cast<int>(lines.size());
    int widest = 0;
    for (const auto& line : lines)
        widest = std::max(widest, TextAdvance(*font, line));
    if (format & DT_CALCRECT) {
        rect->right = rect->left + widest;
        rect->bottom = rect->top + height;
        return height;
    }
    int top = rect->top;
    if (single && (format & DT_VCENTER))
        top = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
    else if (single && (format & DT_BOTTOM))
        top = rect->bottom - lineHeight;
    if (!(format & DT_NOCLIP)) {
        const POINT o = canvas->dc->origin;
        canvas->drawable = IntersectRegion(canvas->drawable,
                                           RECT{rect->left + o.x, rect->top + o.y, rect->right + o.x, rect->bottom + o.y});
    }
    for (size_t n = 0; n < lines.size(); ++n) {
        const int width = TextAdvance(*font, lines[n]);
        int x = rect->left;
        if (format & DT_CENTER)
            x = rect->left + (rect->right - rect->left - width) / 2;
        else if (format & DT_RIGHT)
            x = rect->right - width;
        const int y = top + static_cast<int>(n) * lineHeight;
        if (canvas->dc->backgroundMode == OPAQUE)
            FillLocked(*canvas, RECT{x, y, x + width, y + lineHeight}, canvas->dc->background, PATCOPY);
        int underline = -1;
        if (shown.underline >= 0 && !(format & DT_HIDEPREFIX) && static_cast<size_t>(shown.underline) >= starts[n] &&
            static_cast<size_t>(shown.underline) < starts[n] + lines[n].size())
            underline = shown.underline - static_cast<int>(starts[n]);
        DrawGlyphsLocked(*canvas, *font, x, y, lines[n], nullptr, underline);
    }
    if (single && (format & (DT_VCENTER | DT_BOTTOM)))
        return top - rect->top + lineHeight;
    return height;
}

std::u16string_view Counted(LPCWSTR text, int count)
{
    if (!text)
        return {};
    if (count < 0)
        return std::u16string_view(text);
    return std::u16string_view(text, static_cast<size_t>(count));
}

std::u16string CountedAnsi(LPCSTR text, int count)
{
    if (!text)
        return {};
    if (count < 0)
        return WideFromAnsi(std::string_view(text));
    return WideFromAnsi(std::string_view(text, static_cast<size_t>(count)));
}

} // namespace

extern "C" UINT WINAPI SetTextAlign(HDC hdc, UINT align)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    DcState* dc = FindDcLocked(table, hdc, "SetTextAlign");
    if (!dc)
        return GDI_ERROR;
    const UINT previous = dc->textAlign;
    dc->textAlign = align;
    return previous;
}

extern "C" UINT WINAPI GetTextAlign(HDC hdc)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    DcState* dc = FindDcLocked(table, hdc, "GetTextAlign");
    return dc ? dc->textAlign : GDI_ERROR;
}

extern "C" BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* lprect, LPCWSTR lpString, UINT c,
                                   const INT* lpDx)
{
    if (!lpString && c > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return ExtTextOutText(hdc, x, y, options, lprect, Counted(lpString, static_cast<int>(c)), lpDx);
}

extern "C" BOOL WINAPI ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* lprect, LPCSTR lpString, UINT c,
                                   const INT* lpDx)
{
    if (!lpString && c > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::u16string wide = CountedAnsi(lpString, static_cast<int>(c));
    // The code page is single-byte: one advance per character either way.
    return ExtTextOutText(hdc, x, y, options, lprect, wide, lpDx);
}

extern "C" BOOL WINAPI TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c)
{
    if (c < 0 || (!lpString && c > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return ExtTextOutText(hdc, x, y, 0, nullptr, Counted(lpString, c), nullptr);
}

extern "C" BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c)
{
    if (c < 0 || (!lpString && c > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return ExtTextOutText(hdc, x, y, 0, nullptr, CountedAnsi(lpString, c), nullptr);
}

extern "C" int WINAPI DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format)
{
    return DrawTextText(hdc, Counted(lpchText, cchText), lprc, format);
}

extern "C" int WINAPI DrawTextA(HDC hdc, LPCSTR lpchText, int cchText, LPRECT lprc, UINT format)
{
    return DrawTextText(hdc, CountedAnsi(lpchText, cchText), lprc, format);
}
