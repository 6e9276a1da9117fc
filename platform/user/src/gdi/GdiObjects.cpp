// The GDI handle table: pens, brushes, bitmaps and memory device contexts under handles that are
// never reused, the stock objects, selection into device contexts, the "gdi-objects" leak check
// and the breaches "gdi-bad-handle" (a deleted or foreign handle) and "gdi-selected-delete".
#include "standin/verifier.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"
#include "um/wingdi.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace user {
namespace {

struct GdiObject {
    DWORD type = 0;
    bool stock = false;
    LOGPEN pen{};
    LOGBRUSH brush{};
    BITMAP bitmap{};
    std::vector<BYTE> bits;   // bitmaps: top-down rows of bmWidthBytes
    HDC selectedInto = nullptr;
    // Device contexts: what is selected.
    HGDIOBJ selectedPen = nullptr;
    HGDIOBJ selectedBrush = nullptr;
    HGDIOBJ selectedBitmap = nullptr;
};

struct GdiTable {
    std::mutex lock;
    std::map<uintptr_t, std::shared_ptr<GdiObject>> objects;
    uintptr_t next = 0x40000;
    std::map<int, HGDIOBJ> stock;
    HGDIOBJ stockBitmap = nullptr; // the 1 x 1 monochrome bitmap of new memory DCs
};

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
    case OBJ_BITMAP: return "bitmap";
    case OBJ_MEMDC: return "memory DC";
    default: return "object";
    }
}

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
        auto stockBrush = [made](int index, UINT style, COLORREF color) {
            auto o = std::make_shared<GdiObject>();
            o->type = OBJ_BRUSH;
            o->stock = true;
            o->brush = LOGBRUSH{style, color, 0};
            made->stock[index] = AddLocked(*made, o);
        };
        stockBrush(WHITE_BRUSH, BS_SOLID, RGB(255, 255, 255));
        stockBrush(LTGRAY_BRUSH, BS_SOLID, RGB(192, 192, 192));
        stockBrush(GRAY_BRUSH, BS_SOLID, RGB(128, 128, 128));
        stockBrush(DKGRAY_BRUSH, BS_SOLID, RGB(64, 64, 64));
        stockBrush(BLACK_BRUSH, BS_SOLID, RGB(0, 0, 0));
        stockBrush(NULL_BRUSH, BS_NULL, 0);
        stockPen(WHITE_PEN, PS_SOLID, RGB(255, 255, 255));
        stockPen(BLACK_PEN, PS_SOLID, RGB(0, 0, 0));
        stockPen(NULL_PEN, PS_NULL, 0);
        stockBrush(DC_BRUSH, BS_SOLID, RGB(255, 255, 255));
        stockPen(DC_PEN, PS_SOLID, RGB(0, 0, 0));
        auto mono = std::make_shared<GdiObject>();
        mono->type = OBJ_BITMAP;
        mono->stock = true;
        mono->bitmap = BITMAP{0, 1, 1, 2, 1, 1, nullptr};
        mono->bits.assign(2, 0xFF);
        made->stockBitmap = AddLocked(*made, mono);
        standin::VerifierRegisterLeakCheck("gdi-objects", [made] {
            std::lock_guard<std::mutex> hold(made->lock);
            std::vector<std::string> lines;
            for (const auto& [handle, object] : made->objects)
                if (!object->stock)
                    lines.push_back(std::string(TypeName(object->type)) + " " +
                                    Hex(reinterpret_cast<void*>(handle)) + " was never deleted");
            return lines;
        });
        return made;
    }();
    return *table;
}

// The live object of a handle; a null, deleted or foreign handle fails with a breach.
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

LONG RowBytes(LONG width, WORD bitsPixel)
{
    // Device-dependent rows are rounded to even bytes.
    const LONG bytes = (width * bitsPixel + 7) / 8;
    return (bytes + 1) & ~1;
}

} // namespace
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
    const void* record = nullptr;
    int size = 0;
    switch (object->type) {
    case OBJ_PEN: record = &object->pen; size = sizeof(LOGPEN); break;
    case OBJ_BRUSH: record = &object->brush; size = sizeof(LOGBRUSH); break;
    case OBJ_BITMAP: record = &object->bitmap; size = sizeof(BITMAP); break;
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
    // None of the records held here carries text: both forms are one.
    return GetObjectW(h, c, pv);
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
         nBitCount != 32) ||
        static_cast<int64_t>(nWidth) * nHeight > (int64_t{1} << 26)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (nWidth == 0 || nHeight == 0) {
        auto& table = Table();
        std::lock_guard<std::mutex> hold(table.lock);
        return reinterpret_cast<HBITMAP>(table.stockBitmap);
    }
    auto object = std::make_shared<GdiObject>();
    object->type = OBJ_BITMAP;
    const auto bitsPixel = static_cast<WORD>(nBitCount);
    object->bitmap = BITMAP{0, nWidth, nHeight, RowBytes(nWidth, bitsPixel), 1, bitsPixel, nullptr};
    object->bits.assign(static_cast<size_t>(object->bitmap.bmWidthBytes) * static_cast<size_t>(nHeight), 0);
    if (lpBits)
        std::memcpy(object->bits.data(), lpBits, object->bits.size());
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    return reinterpret_cast<HBITMAP>(AddLocked(table, object));
}

extern "C" LONG WINAPI GetBitmapBits(HBITMAP hbit, LONG cb, void* lpvBits)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto object = FindLocked(table, hbit, "GetBitmapBits");
    if (!object || object->type != OBJ_BITMAP || cb < 0)
        return 0;
    if (!lpvBits)
        return static_cast<LONG>(object->bits.size());
    const size_t count = std::min(static_cast<size_t>(cb), object->bits.size());
    std::memcpy(lpvBits, object->bits.data(), count);
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
    const size_t count = std::min(static_cast<size_t>(cb), object->bits.size());
    std::memcpy(object->bits.data(), pvBits, count);
    return static_cast<LONG>(count);
}

extern "C" HDC WINAPI CreateCompatibleDC(HDC hdc)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    if (hdc && !FindLocked(table, hdc, "CreateCompatibleDC"))
        return nullptr;
    auto object = std::make_shared<GdiObject>();
    object->type = OBJ_MEMDC;
    object->selectedPen = table.stock[BLACK_PEN];
    object->selectedBrush = table.stock[WHITE_BRUSH];
    object->selectedBitmap = table.stockBitmap;
    return reinterpret_cast<HDC>(AddLocked(table, object));
}

extern "C" BOOL WINAPI DeleteDC(HDC hdc)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto object = FindLocked(table, hdc, "DeleteDC");
    if (!object)
        return FALSE;
    if (object->type != OBJ_MEMDC) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // What it held is free to delete again.
    for (HGDIOBJ held : {object->selectedPen, object->selectedBrush, object->selectedBitmap}) {
        const auto found = table.objects.find(reinterpret_cast<uintptr_t>(held));
        if (found != table.objects.end() && found->second->selectedInto == hdc)
            found->second->selectedInto = nullptr;
    }
    table.objects.erase(reinterpret_cast<uintptr_t>(hdc));
    return TRUE;
}

extern "C" HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto dc = FindLocked(table, hdc, "SelectObject");
    if (!dc)
        return nullptr;
    if (dc->type != OBJ_MEMDC) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto object = FindLocked(table, h, "SelectObject");
    if (!object)
        return nullptr;
    HGDIOBJ* slot = nullptr;
    switch (object->type) {
    case OBJ_PEN: slot = &dc->selectedPen; break;
    case OBJ_BRUSH: slot = &dc->selectedBrush; break;
    case OBJ_BITMAP:
        // A bitmap is in one memory DC at a time.
        if (object->selectedInto && object->selectedInto != hdc && !object->stock) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return HGDI_ERROR;
        }
        slot = &dc->selectedBitmap;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return HGDI_ERROR;
    }
    HGDIOBJ previous = *slot;
    if (previous == h)
        return previous;
    const auto old = table.objects.find(reinterpret_cast<uintptr_t>(previous));
    if (old != table.objects.end() && old->second->selectedInto == hdc)
        old->second->selectedInto = nullptr;
    *slot = h;
    if (!object->stock)
        object->selectedInto = hdc;
    return previous;
}

extern "C" BOOL WINAPI DeleteObject(HGDIOBJ ho)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto object = FindLocked(table, ho, "DeleteObject");
    if (!object)
        return FALSE;
    if (object->type == OBJ_MEMDC) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Stock objects stay: deleting one succeeds and does nothing.
    if (object->stock)
        return TRUE;
    if (object->selectedInto) {
        standin::VerifierReport("gdi-selected-delete", std::string(TypeName(object->type)) + " " + Hex(ho) +
                                                           " deleted while selected into DC " +
                                                           Hex(object->selectedInto));
        return FALSE;
    }
    table.objects.erase(reinterpret_cast<uintptr_t>(ho));
    return TRUE;
}
