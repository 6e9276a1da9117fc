// Image lists: images of one size kept in 32 bits with, for ILC_MASK lists, where each is
// transparent; drawn opaque or through the mask. The "image-lists" leak check reports lists never
// destroyed.
#include "gdi/Icons.h"
#include "gdi/Raster.h"
#include "standin/verifier.h"
#include "um/commctrl.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"

#include <map>
#include <mutex>
#include <sstream>

namespace user {
namespace {

struct Image {
    std::shared_ptr<PixelBuffer> pixels; // 32 bits, cx x cy
    std::vector<bool> transparent;       // cx x cy; all false without a mask
};

struct ImageList {
    int cx = 0;
    int cy = 0;
    UINT flags = 0;
    int grow = 0;
    size_t capacity = 0;
    std::vector<Image> images;
};

struct ListTable {
    std::mutex lock;
    std::map<uintptr_t, std::shared_ptr<ImageList>> lists;
    uintptr_t next = 0x7D000000;
};

ListTable& Lists()
{
    static ListTable* table = [] {
        auto* made = new ListTable;
        standin::VerifierRegisterLeakCheck("image-lists", [made] {
            std::lock_guard<std::mutex> hold(made->lock);
            std::vector<std::string> lines;
            for (const auto& entry : made->lists) {
                std::ostringstream line;
                line << "image list 0x" << std::hex << entry.first << " was never destroyed";
                lines.push_back(line.str());
            }
            return lines;
        });
        return made;
    }();
    return *table;
}

std::shared_ptr<ImageList> Find(HIMAGELIST himl)
{
    auto& table = Lists();
    std::lock_guard<std::mutex> hold(table.lock);
    const auto found = table.lists.find(reinterpret_cast<uintptr_t>(himl));
    if (found == table.lists.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return found->second;
}

// Cuts a bitmap into images; `transparent` says which of its pixels are (x, y in the bitmap).
template <typename Transparent>
int AddImages(HIMAGELIST himl, HBITMAP hbmImage, Transparent transparent, COLORREF blackened, bool blacken)
{
    auto list = Find(himl);
    if (!list)
        return -1;
    std::vector<Image> added;
    {
        auto& table = Table();
        std::lock_guard<std::mutex> hold(table.lock);
        auto pixels = BitmapPixelsLocked(table, hbmImage, "ImageList_Add");
        if (!pixels)
            return -1;
        const int count = pixels->width / list->cx;
        for (int i = 0; i < count; ++i) {
            Image image;
            image.pixels = MakeDeviceBitmap(list->cx, list->cy, 32);
            image.transparent.assign(static_cast<size_t>(list->cx) * list->cy, false);
            for (LONG y = 0; y < list->cy && y < pixels->height; ++y)
                for (LONG x = 0; x < list->cx; ++x) {
                    const LONG sx = i * list->cx + x;
                    COLORREF color = pixels->ColorOf(pixels->Get(sx, y));
                    const bool clear = (list->flags & ILC_MASK) && transparent(table, *pixels, sx, y, color);
                    if (clear && blacken && color == blackened)
                        color = RGB(0, 0, 0);
                    image.pixels->Set(x, y, image.pixels->ValueOf(color));
                    image.transparent[static_cast<size_t>(y) * list->cx + x] = clear;
                }
            added.push_back(std::move(image));
        }
    }
    if (added.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    auto& table = Lists();
    std::lock_guard<std::mutex> hold(table.lock);
    const int first = static_cast<int>(list->images.size());
    for (auto& image : added)
        list->images.push_back(std::move(image));
    while (list->capacity < list->images.size())
        list->capacity += static_cast<size_t>(std::max(list->grow, 1));
    return first;
}

} // namespace
} // namespace user

using namespace user;

extern "C" HIMAGELIST WINAPI ImageList_Create(int cx, int cy, UINT flags, int cInitial, int cGrow)
{
    if (cx <= 0 || cy <= 0 || cx > 0x4000 || cy > 0x4000 || cInitial < 0 || cGrow < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto list = std::make_shared<ImageList>();
    list->cx = cx;
    list->cy = cy;
    list->flags = flags;
    list->grow = cGrow;
    list->capacity = static_cast<size_t>(cInitial);
    list->images.reserve(std::min<size_t>(list->capacity, 4096));
    auto& table = Lists();
    std::lock_guard<std::mutex> hold(table.lock);
    const uintptr_t handle = table.next;
    table.next += 4;
    table.lists[handle] = std::move(list);
    return reinterpret_cast<HIMAGELIST>(handle);
}

extern "C" BOOL WINAPI ImageList_Destroy(HIMAGELIST himl)
{
    auto& table = Lists();
    std::lock_guard<std::mutex> hold(table.lock);
    if (!table.lists.erase(reinterpret_cast<uintptr_t>(himl))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

extern "C" int WINAPI ImageList_Add(HIMAGELIST himl, HBITMAP hbmImage, HBITMAP hbmMask)
{
    std::shared_ptr<PixelBuffer> mask;
    if (hbmMask) {
        auto& table = Table();
        std::lock_guard<std::mutex> hold(table.lock);
        mask = BitmapPixelsLocked(table, hbmMask, "ImageList_Add");
        if (!mask)
            return -1;
        mask = std::make_shared<PixelBuffer>(*mask);
    }
    // A mask's white (1) pixels are transparent; without one, none is.
    return AddImages(
        himl, hbmImage,
        [&mask](GdiTable&, const PixelBuffer&, LONG x, LONG y, COLORREF) {
            return mask && x < mask->width && y < mask->height && mask->ColorOf(mask->Get(x, y)) == RGB(255, 255, 255);
        },
        0, false);
}

extern "C" int WINAPI ImageList_AddMasked(HIMAGELIST himl, HBITMAP hbmImage, COLORREF crMask)
{
    crMask &= 0x00FFFFFF;
    return AddImages(
        himl, hbmImage, [crMask](GdiTable&, const PixelBuffer&, LONG, LONG, COLORREF color) { return color == crMask; },
        crMask, true);
}

extern "C" BOOL WINAPI ImageList_DrawEx(HIMAGELIST himl, int i, HDC hdcDst, int x, int y, int dx, int dy,
                                        COLORREF rgbBk, COLORREF rgbFg, UINT fStyle)
{
    (void)rgbFg;
    auto list = Find(himl);
    if (!list)
        return FALSE;
    Image image;
    {
        auto& table = Lists();
        std::lock_guard<std::mutex> hold(table.lock);
        if (i < 0 || static_cast<size_t>(i) >= list->images.size()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        image = list->images[static_cast<size_t>(i)];
    }
    const int w = (dx > 0 && dx < list->cx) ? dx : list->cx;
    const int h = (dy > 0 && dy < list->cy) ? dy : list->cy;
    // The list's background colour is CLR_NONE: by default, masked images draw transparent.
    const bool masked = (list->flags & ILC_MASK) != 0;
    const bool through = masked && ((fStyle & ILD_TRANSPARENT) || rgbBk == CLR_NONE || rgbBk == CLR_DEFAULT);
    std::vector<bool> shape(static_cast<size_t>(w) * h, true);
    if (through)
        for (int yy = 0; yy < h; ++yy)
            for (int xx = 0; xx < w; ++xx)
                shape[static_cast<size_t>(yy) * w + xx] = !image.transparent[static_cast<size_t>(yy) * list->cx + xx];
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto canvas = CanvasLocked(table, hdcDst, "ImageList_Draw");
    if (!canvas)
        return FALSE;
    if (masked && !through) {
        // The transparent part takes the background colour asked for.
        std::vector<bool> clear(shape.size());
        for (int yy = 0; yy < h; ++yy)
            for (int xx = 0; xx < w; ++xx)
                clear[static_cast<size_t>(yy) * w + xx] = image.transparent[static_cast<size_t>(yy) * list->cx + xx];
        std::vector<bool> opaque(shape.size());
        for (size_t k = 0; k < shape.size(); ++k)
            opaque[k] = !clear[k];
        ShapeFillLocked(*canvas, x, y, w, h, clear, rgbBk);
        MaskedCopyLocked(*canvas, x, y, *image.pixels, 0, 0, w, h, opaque);
        return TRUE;
    }
    MaskedCopyLocked(*canvas, x, y, *image.pixels, 0, 0, w, h, shape);
    return TRUE;
}

extern "C" BOOL WINAPI ImageList_Draw(HIMAGELIST himl, int i, HDC hdcDst, int x, int y, UINT fStyle)
{
    return ImageList_DrawEx(himl, i, hdcDst, x, y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, fStyle);
}

extern "C" HICON WINAPI ImageList_GetIcon(HIMAGELIST himl, int i, UINT flags)
{
    (void)flags;
    auto list = Find(himl);
    if (!list)
        return nullptr;
    Image image;
    {
        auto& table = Lists();
        std::lock_guard<std::mutex> hold(table.lock);
        if (i < 0 || static_cast<size_t>(i) >= list->images.size()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        image = list->images[static_cast<size_t>(i)];
    }
    IconImage icon;
    icon.width = list->cx;
    icon.height = list->cy;
    icon.color = std::make_shared<PixelBuffer>(*image.pixels);
    icon.mask = MakeDeviceBitmap(list->cx, list->cy, 1);
    for (LONG yy = 0; yy < list->cy; ++yy)
        for (LONG xx = 0; xx < list->cx; ++xx)
            if (image.transparent[static_cast<size_t>(yy) * list->cx + xx]) {
                icon.mask->Set(xx, yy, 1);
                icon.color->Set(xx, yy, 0); // black where the destination shows through
            }
    return AddIcon(std::move(icon));
}

extern "C" int WINAPI ImageList_GetImageCount(HIMAGELIST himl)
{
    auto list = Find(himl);
    if (!list)
        return 0;
    auto& table = Lists();
    std::lock_guard<std::mutex> hold(table.lock);
    return static_cast<int>(list->images.size());
}

extern "C" BOOL WINAPI ImageList_GetIconSize(HIMAGELIST himl, int* cx, int* cy)
{
    auto list = Find(himl);
    if (!list || !cx || !cy) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *cx = list->cx;
    *cy = list->cy;
    return TRUE;
}

namespace {

HIMAGELIST LoadedImageList(HBITMAP bitmap, int cx, int cGrow, COLORREF crMask)
{
    if (!bitmap)
        return nullptr;
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    HIMAGELIST list = nullptr;
    if (cx > 0 && info.bmWidth >= cx) {
        const UINT flags = ILC_COLOR24 | (crMask != CLR_NONE ? ILC_MASK : 0);
        list = ImageList_Create(cx, info.bmHeight, flags, info.bmWidth / cx, cGrow);
        const int added = !list ? -1 : crMask != CLR_NONE ? ImageList_AddMasked(list, bitmap, crMask)
                                                          : ImageList_Add(list, bitmap, nullptr);
        if (list && added < 0) {
            ImageList_Destroy(list);
            list = nullptr;
        }
    }
    DeleteObject(bitmap);
    return list;
}

} // namespace

extern "C" HIMAGELIST WINAPI ImageList_LoadImageW(HINSTANCE hi, LPCWSTR lpbmp, int cx, int cGrow, COLORREF crMask,
                                                  UINT uType, UINT uFlags)
{
    if (uType != IMAGE_BITMAP)
        return nullptr;
    auto bitmap = static_cast<HBITMAP>(LoadImageW(hi, lpbmp, IMAGE_BITMAP, 0, 0, uFlags));
    return LoadedImageList(bitmap, cx, cGrow, crMask);
}

extern "C" HIMAGELIST WINAPI ImageList_LoadImageA(HINSTANCE hi, LPCSTR lpbmp, int cx, int cGrow, COLORREF crMask,
                                                  UINT uType, UINT uFlags)
{
    if (uType != IMAGE_BITMAP)
        return nullptr;
    auto bitmap = static_cast<HBITMAP>(LoadImageA(hi, lpbmp, IMAGE_BITMAP, 0, 0, uFlags));
    return LoadedImageList(bitmap, cx, cGrow, crMask);
}
