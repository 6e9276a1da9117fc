// Icons made from a colour bitmap and a mask (copies of both), drawn with the mask ANDed and the
// image XORed in; the "gdi-objects" check counts them with the GDI's objects.
#include "gdi/Icons.h"
#include "gdi/Raster.h"
#include "standin/verifier.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"

#include <map>
#include <mutex>
#include <sstream>

namespace user {
namespace {

struct IconTable {
    std::mutex lock;
    std::map<uintptr_t, IconImage> icons;
    uintptr_t next = 0x7E000000; // apart from the GDI's handles and the system cursors
};

IconTable& Icons()
{
    static IconTable* table = [] {
        auto* made = new IconTable;
        standin::VerifierRegisterLeakCheck("gdi-icons", [made] {
            std::lock_guard<std::mutex> hold(made->lock);
            std::vector<std::string> lines;
            for (const auto& entry : made->icons) {
                std::ostringstream line;
                line << "icon 0x" << std::hex << entry.first << " was never destroyed";
                lines.push_back(line.str());
            }
            return lines;
        });
        return made;
    }();
    return *table;
}

std::shared_ptr<PixelBuffer> Copy(const std::shared_ptr<PixelBuffer>& from)
{
    return from ? std::make_shared<PixelBuffer>(*from) : nullptr;
}

} // namespace

std::optional<IconImage> FindIcon(HICON icon)
{
    auto& table = Icons();
    std::lock_guard<std::mutex> hold(table.lock);
    const auto found = table.icons.find(reinterpret_cast<uintptr_t>(icon));
    if (found == table.icons.end())
        return std::nullopt;
    return found->second;
}

HICON AddIcon(IconImage image)
{
    auto& table = Icons();
    std::lock_guard<std::mutex> hold(table.lock);
    const uintptr_t handle = table.next;
    table.next += 4;
    table.icons[handle] = std::move(image);
    return reinterpret_cast<HICON>(handle);
}

std::vector<bool> IconShape(const IconImage& image)
{
    std::vector<bool> shape(static_cast<size_t>(image.width) * image.height, false);
    for (LONG y = 0; y < image.height; ++y)
        for (LONG x = 0; x < image.width; ++x)
            shape[static_cast<size_t>(y) * image.width + x] =
                image.mask->ColorOf(image.mask->Get(x, y)) != RGB(255, 255, 255);
    return shape;
}

} // namespace user

using namespace user;

extern "C" HICON WINAPI CreateIconIndirect(PICONINFO piconinfo)
{
    if (!piconinfo || !piconinfo->hbmMask) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    IconImage image;
    {
        auto& table = Table();
        std::lock_guard<std::mutex> hold(table.lock);
        image.mask = Copy(BitmapPixelsLocked(table, piconinfo->hbmMask, "CreateIconIndirect"));
        if (piconinfo->hbmColor)
            image.color = Copy(BitmapPixelsLocked(table, piconinfo->hbmColor, "CreateIconIndirect"));
    }
    if (!image.mask || (piconinfo->hbmColor && !image.color)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    image.width = image.mask->width;
    image.height = image.color ? image.color->height : image.mask->height / 2;
    if (image.color && (image.color->width != image.width || image.mask->height < image.height)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return AddIcon(std::move(image));
}

extern "C" BOOL WINAPI DestroyIcon(HICON hIcon)
{
    auto& table = Icons();
    std::lock_guard<std::mutex> hold(table.lock);
    if (!table.icons.erase(reinterpret_cast<uintptr_t>(hIcon))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

extern "C" BOOL WINAPI DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth,
                                  UINT istepIfAniCur, HBRUSH hbrFlickerFreeDraw, UINT diFlags)
{
    (void)istepIfAniCur;
    const auto icon = FindIcon(hIcon);
    if (!icon) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int w = cxWidth ? cxWidth : icon->width;
    const int h = cyWidth ? cyWidth : icon->height;
    if (hbrFlickerFreeDraw) {
        const RECT all{xLeft, yTop, xLeft + w, yTop + h};
        FillRect(hdc, &all, hbrFlickerFreeDraw);
    }
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto canvas = CanvasLocked(table, hdc, "DrawIconEx");
    if (!canvas)
        return FALSE;
    // The mask meets colours as black (0) and white (1) whatever the DC's colours.
    DcState& dc = *canvas->dc;
    const COLORREF text = dc.text, background = dc.background;
    dc.text = RGB(0, 0, 0);
    dc.background = RGB(255, 255, 255);
    const BlitSource mask{icon->mask.get(), RGB(255, 255, 255)};
    const int flags = diFlags & DI_NORMAL;
    if (flags & DI_MASK)
        BlitLocked(*canvas, xLeft, yTop, w, h, &mask, 0, 0, icon->width, icon->height, std::nullopt, SRCAND);
    if (flags & DI_IMAGE) {
        const DWORD rop = (flags & DI_MASK) ? SRCINVERT : SRCCOPY;
        if (icon->color) {
            const BlitSource color{icon->color.get(), RGB(255, 255, 255)};
            BlitLocked(*canvas, xLeft, yTop, w, h, &color, 0, 0, icon->width, icon->height, std::nullopt, rop);
        } else {
            BlitLocked(*canvas, xLeft, yTop, w, h, &mask, 0, icon->height, icon->width, icon->height, std::nullopt, rop);
        }
    }
    dc.text = text;
    dc.background = background;
    return TRUE;
}
