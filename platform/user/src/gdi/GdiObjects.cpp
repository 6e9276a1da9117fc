// The GDI handle table: pens, brushes, fonts, bitmaps, regions and device contexts under handles that are
// never reused, the stock objects, selection into device contexts, the "gdi-objects" leak check
// and the breaches "gdi-bad-handle" (a deleted or foreign handle) and "gdi-selected-delete".
#include "gdi/GdiTable.h"
#include "standin/verifier.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>

namespace user {
namespace {

std::string Hex(const void* p)
{
    std::ostringstream out;
    out << "0x" << std::hex << reinterpret_cast<uintptr_t>(p);
    return out.str();
}

const char* TypeName(DWORD type)
{
    switch (type) {
    case OBJ_PEN: return "pen";
    case OBJ_BRUSH: return "brush";
    case OBJ_FONT: return "font";
    case OBJ_BITMAP: return "bitmap";
    case OBJ_REGION: return "region";
    case OBJ_DC: return "DC";
    case OBJ_MEMDC: return "memory DC";
    default: return "object";
    }
}

BITMAP BitmapRecord(const GdiObject& object)
{
    const PixelBuffer& p = *object.pixels;
    return BITMAP{0,
                  p.width,
                  p.height,
                  p.rowBytes,
                  1,
                  p.bitsPixel,
                  object.section ? const_cast<BYTE*>(p.storage.data()) : nullptr};
}

DIBSECTION SectionRecord(const GdiObject& object)
{
    const PixelBuffer& p = *object.pixels;
    DIBSECTION record{};
    record.dsBm = BitmapRecord(object);
    record.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
    record.dsBmih.biWidth = p.width;
    record.dsBmih.biHeight = p.bottomUp ? p.height : -p.height;
    record.dsBmih.biPlanes = 1;
    record.dsBmih.biBitCount = p.bitsPixel;
    const bool fields = (p.bitsPixel == 16 && p.masks[1] != 0x03E0) || (p.bitsPixel == 32 && p.masks[1] != 0xFF00);
    record.dsBmih.biCompression = fields ? BI_BITFIELDS : BI_RGB;
    record.dsBmih.biSizeImage = static_cast<DWORD>(p.storage.size());
    record.dsBmih.biClrUsed = static_cast<DWORD>(p.palette.size());
    if (p.bitsPixel == 16 || p.bitsPixel == 32)
        std::memcpy(record.dsBitfields, p.masks, sizeof record.dsBitfields);
    return record;
}

void Unselect(GdiTable& table, HGDIOBJ handle, HDC hdc)
{
    const auto found = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (found == table.objects.end() || found->second->stock)
        return;
    GdiObject& object = *found->second;
    if (object.type == OBJ_BITMAP) {
        if (object.selectedInto == hdc)
            object.selectedInto = nullptr;
    } else if (object.selections > 0) {
        --object.selections;
    }
}

std::shared_ptr<DcState> NewDcLocked(GdiTable& table)
{
    auto dc = std::make_shared<DcState>();
    dc->pen = table.stock[BLACK_PEN];
    dc->brush = table.stock[WHITE_BRUSH];
    dc->font = table.stock[SYSTEM_FONT];
    return dc;
}

} // namespace

HGDIOBJ AddLocked(GdiTable& table, std::shared_ptr<GdiObject> object)
{
    const uintptr_t handle = table.next;
    table.next += 4;
    table.objects[handle] = std::move(object);
    return reinterpret_cast<HGDIOBJ>(handle);
}

GdiTable& Table()
{
    static GdiTable* table = [] {
        auto* made = new GdiTable;
        auto stockPen = [made](int index, UINT style, COLORREF color) {
            auto o = std::make_shared<GdiObject>();
            o->type = OBJ_PEN;
            o->stock = true;
            o->pen = LOGPEN{style, POINT{1, 0}, color};
            made->stock[index] = AddLocked(*made, o);
        };
        auto stockBrush = [made](UINT style, COLORREF color) {
            auto o = std::make_shared<GdiObject>();
            o->type = OBJ_BRUSH;
            o->stock = true;
            o->brush = LOGBRUSH{style, color, 0};
            return AddLocked(*made, o);
        };
        made->stock[WHITE_BRUSH] = stockBrush(BS_SOLID, RGB(255, 255, 255));
        made->stock[LTGRAY_BRUSH] = stockBrush(BS_SOLID, RGB(192, 192, 192));
        made->stock[GRAY_BRUSH] = stockBrush(BS_SOLID, RGB(128, 128, 128));
        made->stock[DKGRAY_BRUSH] = stockBrush(BS_SOLID, RGB(64, 64, 64));
        made->stock[BLACK_BRUSH] = stockBrush(BS_SOLID, RGB(0, 0, 0));
        made->stock[NULL_BRUSH] = stockBrush(BS_NULL, 0);
        stockPen(WHITE_PEN, PS_SOLID, RGB(255, 255, 255));
        stockPen(BLACK_PEN, PS_SOLID, RGB(0, 0, 0));
        stockPen(NULL_PEN, PS_NULL, 0);
        made->stock[DC_BRUSH] = stockBrush(BS_SOLID, RGB(255, 255, 255));
        stockPen(DC_PEN, PS_SOLID, RGB(0, 0, 0));
        // The stock fonts: the system's bold one of 16-pixel cells, the dialogs' 8-point one, and
        // fixed-pitch ones.
        auto stockFont = [made](int index, LONG height, LONG weight, BYTE pitch, const char16_t* face) {
            auto o = std::make_shared<GdiObject>();
            o->type = OBJ_FONT;
            o->stock = true;
            o->font.lfHeight = height;
            o->font.lfWeight = weight;
            o->font.lfPitchAndFamily = pitch;
            for (size_t i = 0; face[i] && i + 1 < LF_FACESIZE; ++i)
                o->font.lfFaceName[i] = face[i];
            made->stock[index] = AddLocked(*made, o);
        };
        stockFont(SYSTEM_FONT, 16, FW_BOLD, VARIABLE_PITCH | FF_SWISS, u"System");
        stockFont(DEVICE_DEFAULT_FONT, 16, FW_BOLD, VARIABLE_PITCH | FF_SWISS, u"System");
        stockFont(DEFAULT_GUI_FONT, -11, FW_NORMAL, VARIABLE_PITCH | FF_SWISS, u"MS Shell Dlg");
        stockFont(ANSI_VAR_FONT, -11, FW_NORMAL, VARIABLE_PITCH | FF_SWISS, u"MS Sans Serif");
        stockFont(ANSI_FIXED_FONT, 13, FW_NORMAL, FIXED_PITCH | FF_MODERN, u"Courier New");
        stockFont(OEM_FIXED_FONT, 13, FW_NORMAL, FIXED_PITCH | FF_MODERN, u"Courier New");
        stockFont(SYSTEM_FIXED_FONT, 16, FW_NORMAL, FIXED_PITCH | FF_MODERN, u"Courier New");
        // The system colours' brushes are the system's: never deleted.
        for (int index = 0; index <= COLOR_MENUBAR; ++index)
            if (const auto color = SystemColor(index))
                made->systemBrushes[index] = static_cast<HBRUSH>(stockBrush(BS_SOLID, *color));
        auto mono = std::make_shared<GdiObject>();
        mono->type = OBJ_BITMAP;
        mono->stock = true;
        mono->pixels = MakeDeviceBitmap(1, 1, 1);
        mono->pixels->storage.assign(2, 0xFF);
        made->stockBitmap = AddLocked(*made, mono);
        standin::VerifierRegisterLeakCheck("gdi-objects", [made] {
            std::lock_guard<std::mutex> hold(made->lock);
            std::vector<std::string> lines;
            for (const auto& [handle, object] : made->objects) {
                if (object->stock)
                    continue;
                const void* h = reinterpret_cast<void*>(handle);
                if (object->type == OBJ_DC)
                    lines.push_back("DC " + Hex(h) + " of window " + Hex(object->dc->hwnd) + " was never released");
                else
                    lines.push_back(std::string(TypeName(object->type)) + " " + Hex(h) + " was never deleted");
            }
            return lines;
        });
        return made;
    }();
    return *table;
}

std::shared_ptr<GdiObject> FindLocked(GdiTable& table, const void* handle, const char* call)
{
    const auto found = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (found == table.objects.end()) {
        if (handle)
            standin::VerifierReport("gdi-bad-handle", std::string(call) + ": " + Hex(handle) +
                                                          " names no GDI object (deleted or never made)");
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return found->second;
}

DcState* FindDcLocked(GdiTable& table, HDC hdc, const char* call)
{
    auto object = FindLocked(table, hdc, call);
    if (!object)
        return nullptr;
    if (object->type != OBJ_DC && object->type != OBJ_MEMDC) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return object->dc.get();
}

PixelBuffer* TargetLocked(GdiTable& table, const DcState& dc)
{
    if (dc.kind == DcState::window)
        return dc.surface.get();
    if (dc.kind == DcState::memory) {
        const auto found = table.objects.find(reinterpret_cast<uintptr_t>(dc.bitmap));
        return found == table.objects.end() ? nullptr : found->second->pixels.get();
    }
    return nullptr;
}

Region DrawableLocked(GdiTable& table, const DcState& dc)
{
    const PixelBuffer* target = TargetLocked(table, dc);
    if (!target)
        return {};
    Region region = dc.kind == DcState::window ? dc.visible : Region{RECT{0, 0, target->width, target->height}};
    region = IntersectRegion(region, RECT{0, 0, target->width, target->height});
    if (dc.clip)
        region = IntersectRegions(region, OffsetRegion(*dc.clip, dc.origin.x, dc.origin.y));
    return region;
}

HDC AddWindowDcLocked(GdiTable& table, std::shared_ptr<DcState> dc)
{
    dc->pen = table.stock[BLACK_PEN];
    dc->brush = table.stock[WHITE_BRUSH];
    dc->font = table.stock[SYSTEM_FONT];
    auto object = std::make_shared<GdiObject>();
    object->type = OBJ_DC;
    object->dc = std::move(dc);
    return static_cast<HDC>(AddLocked(table, object));
}

void RemoveDcLocked(GdiTable& table, HDC hdc)
{
    const auto found = table.objects.find(reinterpret_cast<uintptr_t>(hdc));
    if (found == table.objects.end() || !found->second->dc)
        return;
    const DcState& dc = *found->second->dc;
    for (HGDIOBJ held : {dc.pen, dc.brush, dc.bitmap, dc.font})
        Unselect(table, held, hdc);
    table.objects.erase(found);
}

HBITMAP AddBitmapLocked(GdiTable& table, std::shared_ptr<PixelBuffer> pixels, bool section)
{
    auto object = std::make_shared<GdiObject>();
    object->type = OBJ_BITMAP;
    object->pixels = std::move(pixels);
    object->section = section;
    return static_cast<HBITMAP>(AddLocked(table, object));
}

std::shared_ptr<PixelBuffer> BitmapPixelsLocked(GdiTable& table, HBITMAP bitmap, const char* call)
{
    auto object = FindLocked(table, bitmap, call);
    if (!object)
        return nullptr;
    if (object->type != OBJ_BITMAP) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return object->pixels;
}

std::shared_ptr<const ResolvedFont> SelectedFontLocked(GdiTable& table, const DcState& dc)
{
    const auto found = table.objects.find(reinterpret_cast<uintptr_t>(dc.font));
    if (found == table.objects.end() || found->second->type != OBJ_FONT)
        return nullptr;
    return ResolveFont(found->second->font);
}

std::optional<COLORREF> BrushColorLocked(GdiTable& table, HBRUSH brush, const char* call)
{
    const auto value = reinterpret_cast<uintptr_t>(brush);
    if (value >= 1 && value <= COLOR_MENUBAR + 1)
        return SystemColor(static_cast<int>(value) - 1);
    auto object = FindLocked(table, brush, call);
    if (!object || object->type != OBJ_BRUSH || object->brush.lbStyle != BS_SOLID)
        return std::nullopt;
    return object->brush.lbColor;
}

} // namespace user

using namespace user;

extern "C" DWORD WINAPI GetObjectType(HGDIOBJ h)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto object = FindLocked(table, h, "GetObjectType");
    return object ? object->type : 0;
}

extern "C" int WINAPI GetObjectW(HANDLE h, int c, void* pv)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto object = FindLocked(table, h, "GetObject");
    if (!object)
        return 0;
    BITMAP bitmap{};
    DIBSECTION section{};
    const void* record = nullptr;
    int size = 0;
    switch (object->type) {
    case OBJ_PEN: record = &object->pen; size = sizeof(LOGPEN); break;
    case OBJ_BRUSH: record = &object->brush; size = sizeof(LOGBRUSH); break;
    case OBJ_FONT: record = &object->font; size = sizeof(LOGFONTW); break;
    case OBJ_BITMAP:
        // A section describes itself whole to a buffer large enough for it.
        if (object->section && (!pv || c >= static_cast<int>(sizeof(DIBSECTION)))) {
            section = SectionRecord(*object);
            record = &section;
            size = sizeof(DIBSECTION);
        } else {
            bitmap = BitmapRecord(*object);
            record = &bitmap;
            size = sizeof(BITMAP);
        }
        break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return 0;
    }
    if (!pv)
        return size;
    if (c <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const int copied = std::min(c, size);
    std::memcpy(pv, record, static_cast<size_t>(copied));
    return copied;
}

extern "C" int WINAPI GetObjectA(HANDLE h, int c, void* pv)
{
    // Of the records held here only a font's carries text: its face name in the ANSI code page.
    LOGFONTW wide{};
    bool font = false;
    {
        auto& table = Table();
        std::lock_guard<std::mutex> hold(table.lock);
        auto object = FindLocked(table, h, "GetObject");
        if (!object)
            return 0;
        font = object->type == OBJ_FONT;
        wide = object->font;
    }
    if (!font)
        return GetObjectW(h, c, pv);
    if (!pv)
        return sizeof(LOGFONTA);
    if (c <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const LOGFONTA narrow = AnsiLogFont(wide);
    const int copied = std::min(c, static_cast<int>(sizeof narrow));
    std::memcpy(pv, &narrow, static_cast<size_t>(copied));
    return copied;
}

extern "C" HGDIOBJ WINAPI GetStockObject(int i)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    const auto found = table.stock.find(i);
    return found == table.stock.end() ? nullptr : found->second;
}

extern "C" HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color)
{
    if (iStyle != PS_SOLID && iStyle != PS_NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto object = std::make_shared<GdiObject>();
    object->type = OBJ_PEN;
    object->pen = LOGPEN{static_cast<UINT>(iStyle), POINT{std::max(cWidth, 0), 0}, color & 0x00FFFFFF};
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    return reinterpret_cast<HPEN>(AddLocked(table, object));
}

extern "C" HBRUSH WINAPI CreateSolidBrush(COLORREF color)
{
    auto object = std::make_shared<GdiObject>();
    object->type = OBJ_BRUSH;
    object->brush = LOGBRUSH{BS_SOLID, color & 0x00FFFFFF, 0};
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    return reinterpret_cast<HBRUSH>(AddLocked(table, object));
}

extern "C" HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void* lpBits)
{
    if (nWidth < 0 || nHeight < 0 || nPlanes != 1 ||
        (nBitCount != 1 && nBitCount != 4 && nBitCount != 8 && nBitCount != 16 && nBitCount != 24 &&
         nBitCount != 32)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto& table = Table();
    if (nWidth == 0 || nHeight == 0) {
        std::lock_guard<std::mutex> hold(table.lock);
        return reinterpret_cast<HBITMAP>(table.stockBitmap);
    }
    auto pixels = MakeDeviceBitmap(nWidth, nHeight, static_cast<WORD>(nBitCount));
    if (!pixels) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (lpBits)
        std::memcpy(pixels->storage.data(), lpBits, pixels->storage.size());
    std::lock_guard<std::mutex> hold(table.lock);
    return AddBitmapLocked(table, std::move(pixels), false);
}

extern "C" LONG WINAPI GetBitmapBits(HBITMAP hbit, LONG cb, void* lpvBits)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto pixels = BitmapPixelsLocked(table, hbit, "GetBitmapBits");
    if (!pixels || cb < 0)
        return 0;
    if (!lpvBits)
        return static_cast<LONG>(pixels->storage.size());
    const size_t count = std::min(static_cast<size_t>(cb), pixels->storage.size());
    std::memcpy(lpvBits, pixels->storage.data(), count);
    return static_cast<LONG>(count);
}

extern "C" LONG WINAPI SetBitmapBits(HBITMAP hbm, DWORD cb, const void* pvBits)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto object = FindLocked(table, hbm, "SetBitmapBits");
    if (!object || object->type != OBJ_BITMAP || !pvBits || object->stock)
        return 0;
    // Never past the bitmap.
    auto& storage = object->pixels->storage;
    const size_t count = std::min(static_cast<size_t>(cb), storage.size());
    std::memcpy(storage.data(), pvBits, count);
    return static_cast<LONG>(count);
}

extern "C" HDC WINAPI CreateCompatibleDC(HDC hdc)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    if (hdc && !FindDcLocked(table, hdc, "CreateCompatibleDC"))
        return nullptr;
    auto object = std::make_shared<GdiObject>();
    object->type = OBJ_MEMDC;
    object->dc = NewDcLocked(table);
    object->dc->bitmap = table.stockBitmap;
    return reinterpret_cast<HDC>(AddLocked(table, object));
}

extern "C" BOOL WINAPI DeleteDC(HDC hdc)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto object = FindLocked(table, hdc, "DeleteDC");
    if (!object)
        return FALSE;
    // A window's DC goes with ReleaseDC.
    if (object->type != OBJ_MEMDC) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    RemoveDcLocked(table, hdc);
    return TRUE;
}

extern "C" HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    DcState* dc = FindDcLocked(table, hdc, "SelectObject");
    if (!dc)
        return nullptr;
    auto object = FindLocked(table, h, "SelectObject");
    if (!object)
        return nullptr;
    HGDIOBJ* slot = nullptr;
    switch (object->type) {
    case OBJ_PEN: slot = &dc->pen; break;
    case OBJ_BRUSH: slot = &dc->brush; break;
    case OBJ_FONT: slot = &dc->font; break;
    case OBJ_REGION:
        // The region is copied as the clipping region; the result is its kind.
        dc->clip = object->region;
        return reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(RegionKind(object->region)));
    case OBJ_BITMAP:
        if (dc->kind != DcState::memory) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        // A bitmap is in one memory DC at a time.
        if (object->selectedInto && object->selectedInto != hdc && !object->stock) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        slot = &dc->bitmap;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HGDIOBJ previous = *slot;
    if (previous == h)
        return previous;
    Unselect(table, previous, hdc);
    *slot = h;
    if (!object->stock) {
        if (object->type == OBJ_BITMAP)
            object->selectedInto = hdc;
        else
            ++object->selections;
    }
    // A new bitmap's clipping starts over.
    if (object->type == OBJ_BITMAP)
        dc->clip.reset();
    return previous;
}

extern "C" HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    DcState* dc = FindDcLocked(table, hdc, "GetCurrentObject");
    if (!dc)
        return nullptr;
    switch (type) {
    case OBJ_PEN: return dc->pen;
    case OBJ_BRUSH: return dc->brush;
    case OBJ_BITMAP: return dc->bitmap;
    case OBJ_FONT: return dc->font;
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
    }
}

extern "C" BOOL WINAPI DeleteObject(HGDIOBJ ho)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto object = FindLocked(table, ho, "DeleteObject");
    if (!object)
        return FALSE;
    if (object->type == OBJ_MEMDC || object->type == OBJ_DC) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Stock objects stay: deleting one succeeds and does nothing.
    if (object->stock)
        return TRUE;
    if (object->selectedInto || object->selections > 0) {
        standin::VerifierReport("gdi-selected-delete",
                                std::string(TypeName(object->type)) + " " + Hex(ho) + " deleted while selected" +
                                    (object->selectedInto ? " into DC " + Hex(object->selectedInto) : ""));
        return FALSE;
    }
    table.objects.erase(reinterpret_cast<uintptr_t>(ho));
    return TRUE;
}
