// Font objects: CreateFont and CreateFontIndirect in both forms, the metrics of the font selected
// into a DC, the extent of a text and the face's name. The faces themselves are the font engine's.
#include "gdi/GdiTable.h"
#include "text/AnsiText.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"

#include <algorithm>
#include <cstring>

namespace user {

LOGFONTA AnsiLogFont(const LOGFONTW& wide)
{
    LOGFONTA narrow{};
    std::memcpy(&narrow, &wide, offsetof(LOGFONTW, lfFaceName));
    std::u16string face;
    for (size_t i = 0; i < LF_FACESIZE && wide.lfFaceName[i]; ++i)
        face.push_back(wide.lfFaceName[i]);
    const std::string text = AnsiFromWide(face);
    std::memcpy(narrow.lfFaceName, text.data(), std::min<size_t>(text.size(), LF_FACESIZE - 1));
    return narrow;
}

LOGFONTW WideLogFont(const LOGFONTA& narrow)
{
    LOGFONTW wide{};
    std::memcpy(&wide, &narrow, offsetof(LOGFONTA, lfFaceName));
    const std::u16string face = WideFromAnsi(std::string_view(narrow.lfFaceName, strnlen(narrow.lfFaceName, LF_FACESIZE)));
    std::copy_n(face.begin(), std::min<size_t>(face.size(), LF_FACESIZE - 1), wide.lfFaceName);
    return wide;
}

namespace {

// The metrics of the DC's font, or nothing (with the last error) for a bad DC or an unreadable face.
std::shared_ptr<const ResolvedFont> DcFont(HDC hdc, const char* call)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    DcState* dc = FindDcLocked(table, hdc, call);
    if (!dc)
        return nullptr;
    auto font = SelectedFontLocked(table, *dc);
    if (!font)
        SetLastError(ERROR_FILE_NOT_FOUND);
    return font;
}

} // namespace
} // namespace user

using namespace user;

extern "C" HFONT WINAPI CreateFontIndirectW(const LOGFONTW* lplf)
{
    if (!lplf) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LOGFONTW record = *lplf;
    record.lfFaceName[LF_FACESIZE - 1] = 0;
    // A font whose face cannot be read is never handed out.
    if (!ResolveFont(record)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    auto object = std::make_shared<GdiObject>();
    object->type = OBJ_FONT;
    object->font = record;
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    return static_cast<HFONT>(AddLocked(table, object));
}

extern "C" HFONT WINAPI CreateFontIndirectA(const LOGFONTA* lplf)
{
    if (!lplf) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LOGFONTA record = *lplf;
    record.lfFaceName[LF_FACESIZE - 1] = 0;
    const LOGFONTW wide = WideLogFont(record);
    return CreateFontIndirectW(&wide);
}

extern "C" HFONT WINAPI CreateFontW(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight,
                                    DWORD bItalic, DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet,
                                    DWORD iOutPrecision, DWORD iClipPrecision, DWORD iQuality, DWORD iPitchAndFamily,
                                    LPCWSTR pszFaceName)
{
    LOGFONTW record{cHeight,
                    cWidth,
                    cEscapement,
                    cOrientation,
                    cWeight,
                    static_cast<BYTE>(bItalic),
                    static_cast<BYTE>(bUnderline),
                    static_cast<BYTE>(bStrikeOut),
                    static_cast<BYTE>(iCharSet),
                    static_cast<BYTE>(iOutPrecision),
                    static_cast<BYTE>(iClipPrecision),
                    static_cast<BYTE>(iQuality),
                    static_cast<BYTE>(iPitchAndFamily),
                    {}};
    for (size_t i = 0; pszFaceName && pszFaceName[i] && i + 1 < LF_FACESIZE; ++i)
        record.lfFaceName[i] = pszFaceName[i];
    return CreateFontIndirectW(&record);
}

extern "C" HFONT WINAPI CreateFontA(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight,
                                    DWORD bItalic, DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet,
                                    DWORD iOutPrecision, DWORD iClipPrecision, DWORD iQuality, DWORD iPitchAndFamily,
                                    LPCSTR pszFaceName)
{
    const std::u16string face = WideFromAnsi(pszFaceName);
    return CreateFontW(cHeight, cWidth, cEscapement, cOrientation, cWeight, bItalic, bUnderline, bStrikeOut, iCharSet,
                       iOutPrecision, iClipPrecision, iQuality, iPitchAndFamily, face.c_str());
}

extern "C" BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm)
{
    if (!lptm) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto font = DcFont(hdc, "GetTextMetrics");
    if (!font)
        return FALSE;
    *lptm = font->metrics;
    return TRUE;
}

extern "C" BOOL WINAPI GetTextMetricsA(HDC hdc, LPTEXTMETRICA lptm)
{
    TEXTMETRICW wide{};
    if (!lptm || !GetTextMetricsW(hdc, &wide)) {
        if (!lptm)
            SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::memcpy(lptm, &wide, offsetof(TEXTMETRICW, tmFirstChar));
    // The ANSI code page's characters.
    lptm->tmFirstChar = 0x1E;
    lptm->tmLastChar = 0xFF;
    lptm->tmDefaultChar = 0x1F;
    lptm->tmBreakChar = 0x20;
    lptm->tmItalic = wide.tmItalic;
    lptm->tmUnderlined = wide.tmUnderlined;
    lptm->tmStruckOut = wide.tmStruckOut;
    lptm->tmPitchAndFamily = wide.tmPitchAndFamily;
    lptm->tmCharSet = wide.tmCharSet;
    return TRUE;
}

extern "C" BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl)
{
    if (!psizl || c < 0 || (!lpString && c > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto font = DcFont(hdc, "GetTextExtentPoint32");
    if (!font)
        return FALSE;
    psizl->cx = TextAdvance(*font, std::u16string_view(lpString ? lpString : u"", static_cast<size_t>(c)));
    psizl->cy = font->metrics.tmHeight;
    return TRUE;
}

extern "C" BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl)
{
    if (c < 0 || (!lpString && c > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::u16string wide = WideFromAnsi(std::string_view(lpString ? lpString : "", static_cast<size_t>(c)));
    return GetTextExtentPoint32W(hdc, wide.c_str(), static_cast<int>(wide.size()), psizl);
}

extern "C" int WINAPI GetTextFaceW(HDC hdc, int c, LPWSTR lpName)
{
    auto font = DcFont(hdc, "GetTextFace");
    if (!font)
        return 0;
    const std::u16string& name = font->faceName;
    if (!lpName)
        return static_cast<int>(name.size()) + 1;
    if (c <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t copied = std::min(name.size(), static_cast<size_t>(c) - 1);
    std::copy_n(name.begin(), copied, lpName);
    lpName[copied] = 0;
    return static_cast<int>(copied) + 1;
}

extern "C" int WINAPI GetTextFaceA(HDC hdc, int c, LPSTR lpName)
{
    auto font = DcFont(hdc, "GetTextFace");
    if (!font)
        return 0;
    const std::string name = AnsiFromWide(font->faceName);
    if (!lpName)
        return static_cast<int>(name.size()) + 1;
    if (c <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t copied = std::min(name.size(), static_cast<size_t>(c) - 1);
    std::memcpy(lpName, name.data(), copied);
    lpName[copied] = 0;
    return static_cast<int>(copied) + 1;
}
