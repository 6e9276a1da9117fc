// The GDI's records: the handle table of pens, brushes, fonts, bitmaps, regions and device contexts, the
// device contexts' state, regions as lists of rectangles, and the screen's depth. One lock guards
// the table; it is taken after the window manager's, never before.
#pragma once
#include "gdi/FontEngine.h"
#include "gdi/Pixels.h"
#include "um/winuser.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace user {

// Disjoint rectangles.
using Region = std::vector<RECT>;
Region IntersectRegion(const Region& region, const RECT& rect);
Region IntersectRegions(const Region& a, const Region& b);
Region SubtractRect(const Region& region, const RECT& rect);
Region UniteRegions(const Region& a, const Region& b);
Region OffsetRegion(Region region, LONG dx, LONG dy);
RECT RegionBounds(const Region& region);
int RegionKind(const Region& region); // NULLREGION, SIMPLEREGION or COMPLEXREGION
bool RegionContains(const Region& region, LONG x, LONG y);

struct DcState {
    enum Kind { memory, window, screen } kind = memory;
    HWND hwnd = nullptr;     // window DCs
    bool paint = false;      // from BeginPaint: EndPaint releases it
    std::shared_ptr<PixelBuffer> surface; // window DCs: the top-level window's surface
    POINT origin{0, 0};      // the surface position of the DC's point (0, 0)
    Region visible;          // window DCs: where they may draw, in surface coordinates
    std::optional<Region> clip; // the selected clipping region, in the DC's coordinates
    HGDIOBJ pen = nullptr;
    HGDIOBJ brush = nullptr;
    HGDIOBJ bitmap = nullptr; // memory DCs
    HGDIOBJ font = nullptr;
    UINT textAlign = TA_LEFT | TA_TOP;
    COLORREF text = RGB(0, 0, 0);
    COLORREF background = RGB(255, 255, 255);
    int backgroundMode = OPAQUE;
    int stretchMode = BLACKONWHITE;
    POINT position{0, 0};
};

struct GdiObject {
    DWORD type = 0;
    bool stock = false;
    LOGPEN pen{};
    LOGBRUSH brush{};
    LOGFONTW font{};
    std::shared_ptr<PixelBuffer> pixels; // bitmaps
    bool section = false;                // a device-independent section
    Region region;                       // regions
    HDC selectedInto = nullptr;          // bitmaps: the memory DC holding it
    int selections = 0;                  // pens and brushes: the DCs holding it
    std::shared_ptr<DcState> dc;         // device contexts
};

struct GdiTable {
    std::mutex lock;
    std::map<uintptr_t, std::shared_ptr<GdiObject>> objects;
    uintptr_t next = 0x40000;
    std::map<int, HGDIOBJ> stock;
    HGDIOBJ stockBitmap = nullptr; // the 1 x 1 monochrome bitmap of new memory DCs
    std::map<int, HBRUSH> systemBrushes;
    int screenDepth = 32;
};

GdiTable& Table();
HGDIOBJ AddLocked(GdiTable& table, std::shared_ptr<GdiObject> object);
// The live object of a handle; a null, deleted or foreign handle fails (ERROR_INVALID_HANDLE), and
// any but null leaves a "gdi-bad-handle" breach.
std::shared_ptr<GdiObject> FindLocked(GdiTable& table, const void* handle, const char* call);
// A device context's state, or null as FindLocked (also for handles of other objects).
DcState* FindDcLocked(GdiTable& table, HDC hdc, const char* call);
// The pixels a device context draws into: the selected bitmap's or the window's surface; null for
// the screen's DC.
PixelBuffer* TargetLocked(GdiTable& table, const DcState& dc);
// Where a DC may draw, in its target's coordinates: the target's bounds, the window's visible
// region, the selected clipping region.
Region DrawableLocked(GdiTable& table, const DcState& dc);
// A new device context of a window or of the screen (OBJ_DC), with its defaults.
HDC AddWindowDcLocked(GdiTable& table, std::shared_ptr<DcState> dc);
void RemoveDcLocked(GdiTable& table, HDC hdc);
// A bitmap object over pixels.
HBITMAP AddBitmapLocked(GdiTable& table, std::shared_ptr<PixelBuffer> pixels, bool section);
// The pixels of a bitmap handle, or null (with the breach of a bad handle).
std::shared_ptr<PixelBuffer> BitmapPixelsLocked(GdiTable& table, HBITMAP bitmap, const char* call);
// The colour of a brush handle: a GDI brush, or a system colour index + 1 as window classes
// give it; nothing for a null brush.
std::optional<COLORREF> BrushColorLocked(GdiTable& table, HBRUSH brush, const char* call);

// The font selected into a DC, resolved; null when its file cannot be read.
std::shared_ptr<const ResolvedFont> SelectedFontLocked(GdiTable& table, const DcState& dc);

// The classic scheme's colours (COLORREF), nothing for an index without one.
std::optional<COLORREF> SystemColor(int index);

// Every top-level window's surface of the window's size: made or resized (keeping what it holds)
// on demand. The caller holds the window manager's lock.
std::shared_ptr<PixelBuffer> SurfaceOfLocked(HWND topLevel, LONG width, LONG height);

} // namespace user
