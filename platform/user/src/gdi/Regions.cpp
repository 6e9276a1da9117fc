// Regions as disjoint rectangles, region objects, and the clipping of device contexts.
#include "gdi/GdiTable.h"
#include "windows/WindowManager.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"

#include <algorithm>

namespace user {
namespace {

bool EmptyRect(const RECT& r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

RECT Ordered(int x1, int y1, int x2, int y2)
{
    return RECT{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

} // namespace

Region IntersectRegion(const Region& region, const RECT& rect)
{
    Region out;
    for (const RECT& r : region) {
        const RECT i{std::max(r.left, rect.left), std::max(r.top, rect.top), std::min(r.right, rect.right),
                     std::min(r.bottom, rect.bottom)};
        if (!EmptyRect(i))
            out.push_back(i);
    }
    return out;
}

Region IntersectRegions(const Region& a, const Region& b)
{
    Region out;
    for (const RECT& r : b) {
        const Region part = IntersectRegion(a, r);
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

Region SubtractRect(const Region& region, const RECT& cut)
{
    if (EmptyRect(cut))
        return region;
    Region out;
    for (const RECT& r : region) {
        if (cut.left >= r.right || cut.right <= r.left || cut.top >= r.bottom || cut.bottom <= r.top) {
            out.push_back(r);
            continue;
        }
        // Above, below, then the sides of the band between.
        if (cut.top > r.top)
            out.push_back(RECT{r.left, r.top, r.right, cut.top});
        if (cut.bottom < r.bottom)
            out.push_back(RECT{r.left, cut.bottom, r.right, r.bottom});
        const LONG top = std::max(r.top, cut.top), bottom = std::min(r.bottom, cut.bottom);
        if (cut.left > r.left)
            out.push_back(RECT{r.left, top, cut.left, bottom});
        if (cut.right < r.right)
            out.push_back(RECT{cut.right, top, r.right, bottom});
    }
    return out;
}

Region UniteRegions(const Region& a, const Region& b)
{
    Region out = a;
    for (const RECT& r : b) {
        Region piece{r};
        for (const RECT& taken : a)
            piece = SubtractRect(piece, taken);
        out.insert(out.end(), piece.begin(), piece.end());
    }
    return out;
}

Region OffsetRegion(Region region, LONG dx, LONG dy)
{
    for (RECT& r : region) {
        r.left += dx;
        r.right += dx;
        r.top += dy;
        r.bottom += dy;
    }
    return region;
}

RECT RegionBounds(const Region& region)
{
    if (region.empty())
        return RECT{0, 0, 0, 0};
    RECT b = region.front();
    for (const RECT& r : region) {
        b.left = std::min(b.left, r.left);
        b.top = std::min(b.top, r.top);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    return b;
}

int RegionKind(const Region& region)
{
    if (region.empty())
        return NULLREGION;
    return region.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

bool RegionContains(const Region& region, LONG x, LONG y)
{
    for (const RECT& r : region)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            return true;
    return false;
}

} // namespace user

using namespace user;

namespace {

std::shared_ptr<GdiObject> RegionObjectLocked(GdiTable& table, HRGN hrgn, const char* call)
{
    auto object = FindLocked(table, hrgn, call);
    if (object && object->type != OBJ_REGION) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return object;
}

// The clipping a DC has now, in its own coordinates: its selected region, or everything it can
// reach.
Region CurrentClipLocked(GdiTable& table, const DcState& dc)
{
    if (dc.clip)
        return *dc.clip;
    return OffsetRegion(DrawableLocked(table, dc), -dc.origin.x, -dc.origin.y);
}

} // namespace

extern "C" HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2)
{
    auto object = std::make_shared<GdiObject>();
    object->type = OBJ_REGION;
    const RECT r = Ordered(x1, y1, x2, y2);
    if (!EmptyRect(r))
        object->region.push_back(r);
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    return static_cast<HRGN>(AddLocked(table, object));
}

extern "C" HRGN WINAPI CreateRectRgnIndirect(const RECT* lprect)
{
    if (!lprect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateRectRgn(lprect->left, lprect->top, lprect->right, lprect->bottom);
}

extern "C" int WINAPI CombineRgn(HRGN hrgnDst, HRGN hrgnSrc1, HRGN hrgnSrc2, int iMode)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto destination = RegionObjectLocked(table, hrgnDst, "CombineRgn");
    auto first = RegionObjectLocked(table, hrgnSrc1, "CombineRgn");
    if (!destination || !first)
        return ERROR;
    if (iMode == RGN_COPY) {
        destination->region = first->region;
        return RegionKind(destination->region);
    }
    auto second = RegionObjectLocked(table, hrgnSrc2, "CombineRgn");
    if (!second)
        return ERROR;
    Region out;
    switch (iMode) {
    case RGN_AND: out = IntersectRegions(first->region, second->region); break;
    case RGN_OR: out = UniteRegions(first->region, second->region); break;
    case RGN_DIFF:
        out = first->region;
        for (const RECT& r : second->region)
            out = SubtractRect(out, r);
        break;
    case RGN_XOR: {
        Region a = first->region, b = second->region;
        for (const RECT& r : second->region)
            a = SubtractRect(a, r);
        for (const RECT& r : first->region)
            b = SubtractRect(b, r);
        out = UniteRegions(a, b);
        break;
    }
    default: SetLastError(ERROR_INVALID_PARAMETER); return ERROR;
    }
    destination->region = std::move(out);
    return RegionKind(destination->region);
}

extern "C" int WINAPI GetRgnBox(HRGN hrgn, LPRECT lprc)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto region = RegionObjectLocked(table, hrgn, "GetRgnBox");
    if (!region || !lprc)
        return ERROR;
    *lprc = RegionBounds(region->region);
    return RegionKind(region->region);
}

extern "C" BOOL WINAPI PtInRegion(HRGN hrgn, int x, int y)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto region = RegionObjectLocked(table, hrgn, "PtInRegion");
    return region && RegionContains(region->region, x, y);
}

extern "C" int WINAPI SelectClipRgn(HDC hdc, HRGN hrgn)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    DcState* dc = FindDcLocked(table, hdc, "SelectClipRgn");
    if (!dc)
        return ERROR;
    if (!hrgn) {
        dc->clip.reset();
        return RegionKind(DrawableLocked(table, *dc));
    }
    auto region = RegionObjectLocked(table, hrgn, "SelectClipRgn");
    if (!region)
        return ERROR;
    dc->clip = region->region; // a copy: the region stays the caller's
    return RegionKind(DrawableLocked(table, *dc));
}

extern "C" int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    DcState* dc = FindDcLocked(table, hdc, "IntersectClipRect");
    if (!dc)
        return ERROR;
    dc->clip = IntersectRegion(CurrentClipLocked(table, *dc), Ordered(left, top, right, bottom));
    return RegionKind(DrawableLocked(table, *dc));
}

extern "C" int WINAPI ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    DcState* dc = FindDcLocked(table, hdc, "ExcludeClipRect");
    if (!dc)
        return ERROR;
    dc->clip = SubtractRect(CurrentClipLocked(table, *dc), Ordered(left, top, right, bottom));
    return RegionKind(DrawableLocked(table, *dc));
}

extern "C" int WINAPI GetClipBox(HDC hdc, LPRECT lprect)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    DcState* dc = FindDcLocked(table, hdc, "GetClipBox");
    if (!dc || !lprect)
        return ERROR;
    Region region = OffsetRegion(DrawableLocked(table, *dc), -dc->origin.x, -dc->origin.y);
    if (dc->kind == DcState::screen)
        region = dc->clip ? IntersectRegion(*dc->clip, RECT{0, 0, kScreenWidth, kScreenHeight})
                          : Region{RECT{0, 0, kScreenWidth, kScreenHeight}};
    *lprect = RegionBounds(region);
    return RegionKind(region);
}
