// Bitmaps beyond CreateBitmap: compatible bitmaps, device-independent sections, the DIB
// conversions, and bitmaps loaded from a module's RT_BITMAP resources or from BMP files.
#include "gdi/GdiTable.h"
#include "text/AnsiText.h"
#include "um/errhandlingapi.h"
#include "um/fileapi.h"
#include "um/handleapi.h"
#include "um/libloaderapi.h"
#include "um/winerror.h"

#include <algorithm>
#include <cstring>

namespace user {
namespace {

constexpr size_t kInfoReadable = size_t{1} << 20; // a BITMAPINFO's header and table at most
constexpr DWORD kLargestFile = 64u << 20;

// The pixels converted to another format of the same size, by colour.
std::shared_ptr<PixelBuffer> Converted(const PixelBuffer& from, std::shared_ptr<PixelBuffer> to)
{
    if (!to)
        return nullptr;
    for (LONG y = 0; y < from.height; ++y)
        for (LONG x = 0; x < from.width; ++x)
            to->Set(x, y, to->ValueOf(from.ColorOf(from.Get(x, y))));
    return to;
}

// Nearest stretching to another size, in the same format.
std::shared_ptr<PixelBuffer> Stretched(const PixelBuffer& from, LONG width, LONG height)
{
    auto to = MakePixels(width, height, from.bitsPixel, true, from.bottomUp);
    if (!to)
        return nullptr;
    to->palette = from.palette;
    to->mono = from.mono;
    std::memcpy(to->masks, from.masks, sizeof to->masks);
    for (LONG y = 0; y < height; ++y)
        for (LONG x = 0; x < width; ++x)
            to->Set(x, y,
                    from.Get(static_cast<LONG>((static_cast<int64_t>(2 * x + 1) * from.width) / (2 * width)),
                             static_cast<LONG>((static_cast<int64_t>(2 * y + 1) * from.height) / (2 * height))));
    return to;
}

HBITMAP ScreenBitmap(const PixelBuffer& pixels)
{
    auto& table = Table();
    int depth;
    {
        std::lock_guard<std::mutex> hold(table.lock);
        depth = table.screenDepth;
    }
    auto converted = Converted(pixels, MakeDeviceBitmap(pixels.width, pixels.height, static_cast<WORD>(depth)));
    if (!converted) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard<std::mutex> hold(table.lock);
    return AddBitmapLocked(table, std::move(converted), false);
}

std::shared_ptr<PixelBuffer> ResourceBitmap(HINSTANCE instance, LPCWSTR name)
{
    HRSRC resource = FindResourceW(instance, name, reinterpret_cast<LPCWSTR>(RT_BITMAP));
    if (!resource)
        return nullptr;
    HGLOBAL loaded = LoadResource(instance, resource);
    const DWORD size = SizeofResource(instance, resource);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data)
        return nullptr;
    return ReadBmp(static_cast<const BYTE*>(data), size, false);
}

std::shared_ptr<PixelBuffer> FileBitmap(LPCWSTR path)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    std::vector<BYTE> bytes;
    BYTE chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0 && bytes.size() < kLargestFile)
        bytes.insert(bytes.end(), chunk, chunk + got);
    CloseHandle(file);
    return ReadBmp(bytes.data(), bytes.size(), true);
}

// The palette a DIB of fewer than 16 bits gets from a bitmap of another format: the bitmap's own
// when it has one of that size, black and white, the sixteen standard colours, or a 3-3-2 cube.
std::vector<RGBQUAD> PaletteFor(const PixelBuffer& bitmap, WORD bitsPixel)
{
    if (bitmap.bitsPixel == bitsPixel && !bitmap.palette.empty())
        return bitmap.palette;
    std::vector<RGBQUAD> palette;
    if (bitsPixel == 1)
        return {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    if (bitsPixel == 4) {
        static const COLORREF kStandard[16] = {
            RGB(0, 0, 0),     RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
            RGB(0, 0, 128),   RGB(128, 0, 128), RGB(0, 128, 128), RGB(192, 192, 192),
            RGB(128, 128, 128), RGB(255, 0, 0), RGB(0, 255, 0),   RGB(255, 255, 0),
            RGB(0, 0, 255),   RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255)};
        for (COLORREF c : kStandard)
            palette.push_back(RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0});
        return palette;
    }
    for (int i = 0; i < 256; ++i)
        palette.push_back(RGBQUAD{static_cast<BYTE>((i & 3) * 255 / 3), static_cast<BYTE>(((i >> 2) & 7) * 255 / 7),
                                  static_cast<BYTE>(((i >> 5) & 7) * 255 / 7), 0});
    return palette;
}

// A view of DIB bits in a layout (top-down or bottom-up rows of the layout's row bytes).
std::shared_ptr<PixelBuffer> DibShape(const DibLayout& layout, LONG height)
{
    auto pixels = std::make_shared<PixelBuffer>();
    pixels->width = layout.width;
    pixels->height = height;
    pixels->bitsPixel = layout.bitsPixel;
    pixels->rowBytes = layout.rowBytes;
    pixels->bottomUp = layout.bottomUp;
    pixels->palette = layout.palette;
    std::memcpy(pixels->masks, layout.masks, sizeof pixels->masks);
    return pixels;
}

} // namespace
} // namespace user

using namespace user;

extern "C" HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    DcState* dc = FindDcLocked(table, hdc, "CreateCompatibleBitmap");
    if (!dc)
        return nullptr;
    if (cx < 0 || cy < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (cx == 0 || cy == 0)
        return static_cast<HBITMAP>(table.stockBitmap);
    // A memory DC's bitmaps are of the format it holds: monochrome for its first bitmap.
    WORD bits = static_cast<WORD>(table.screenDepth);
    if (dc->kind == DcState::memory)
        if (const PixelBuffer* held = TargetLocked(table, *dc); held && held->mono)
            bits = 1;
    auto pixels = MakeDeviceBitmap(cx, cy, bits);
    if (!pixels) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return AddBitmapLocked(table, std::move(pixels), false);
}

extern "C" HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, void** ppvBits,
                                           HANDLE hSection, DWORD offset)
{
    (void)offset;
    if (ppvBits)
        *ppvBits = nullptr;
    const auto layout = ReadDibLayout(reinterpret_cast<const BYTE*>(pbmi), kInfoReadable);
    // Sections over file mappings and palette-index colour tables are not kept here.
    if (!layout || usage != DIB_RGB_COLORS || hSection) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    if (hdc && !FindDcLocked(table, hdc, "CreateDIBSection"))
        return nullptr;
    auto pixels = MakePixels(layout->width, layout->height, layout->bitsPixel, true, layout->bottomUp);
    if (!pixels) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    pixels->palette = layout->palette;
    std::memcpy(pixels->masks, layout->masks, sizeof pixels->masks);
    if (ppvBits)
        *ppvBits = pixels->storage.data();
    return AddBitmapLocked(table, std::move(pixels), true);
}

extern "C" int WINAPI GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, void* lpvBits, BITMAPINFO* lpbmi,
                                UINT usage)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    if (!FindDcLocked(table, hdc, "GetDIBits"))
        return 0;
    auto bitmap = BitmapPixelsLocked(table, hbm, "GetDIBits");
    if (!bitmap || !lpbmi || usage != DIB_RGB_COLORS || lpbmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    BITMAPINFOHEADER& header = lpbmi->bmiHeader;
    auto* table32 = reinterpret_cast<BYTE*>(lpbmi) + header.biSize;
    if (header.biBitCount == 0) {
        // The bitmap's own description.
        if (lpvBits) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        header.biWidth = bitmap->width;
        header.biHeight = bitmap->height;
        header.biPlanes = 1;
        header.biBitCount = bitmap->bitsPixel;
        const bool fields = bitmap->bitsPixel == 16 && bitmap->masks[1] == 0x07E0;
        header.biCompression = fields ? BI_BITFIELDS : BI_RGB;
        const LONG rowBytes = static_cast<LONG>(((static_cast<int64_t>(bitmap->width) * bitmap->bitsPixel + 31) / 32) * 4);
        header.biSizeImage = static_cast<DWORD>(rowBytes) * static_cast<DWORD>(bitmap->height);
        header.biClrUsed = 0;
        header.biClrImportant = 0;
        if (fields)
            std::memcpy(table32, bitmap->masks, sizeof bitmap->masks);
        return 1;
    }
    header.biWidth = bitmap->width;
    if (header.biHeight == 0 || header.biHeight == INT32_MIN)
        header.biHeight = bitmap->height;
    header.biPlanes = 1;
    header.biClrUsed = 0;
    if (header.biBitCount <= 8) {
        const auto palette = PaletteFor(*bitmap, header.biBitCount);
        std::memcpy(table32, palette.data(), std::min<size_t>(palette.size(), size_t{1} << header.biBitCount) * 4);
    }
    auto layout = ReadDibLayout(reinterpret_cast<const BYTE*>(lpbmi), kInfoReadable);
    if (!layout) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    header.biSizeImage = static_cast<DWORD>(layout->rowBytes) * static_cast<DWORD>(layout->height);
    if (!lpvBits)
        return 1;
    // Scan lines count from the bottom of a bottom-up DIB and from the top of a top-down one.
    const LONG height = std::min(layout->height, bitmap->height);
    if (start >= static_cast<UINT>(height))
        return 0;
    const LONG lines = static_cast<LONG>(std::min<UINT>(cLines, static_cast<UINT>(height) - start));
    auto view = DibShape(*layout, lines);
    view->storage.resize(static_cast<size_t>(view->rowBytes) * static_cast<size_t>(lines));
    for (LONG k = 0; k < lines; ++k) {
        const LONG line = static_cast<LONG>(start) + k;
        const LONG imageRow = layout->bottomUp ? height - 1 - line : line;
        const LONG viewRow = layout->bottomUp ? lines - 1 - k : k;
        for (LONG x = 0; x < view->width; ++x)
            view->Set(x, viewRow, view->ValueOf(bitmap->ColorOf(bitmap->Get(x, imageRow))));
    }
    std::memcpy(lpvBits, view->storage.data(), view->storage.size());
    return lines;
}

extern "C" int WINAPI SetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, const void* lpBits,
                                const BITMAPINFO* lpbmi, UINT ColorUse)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    if (hdc && !FindDcLocked(table, hdc, "SetDIBits"))
        return 0;
    auto bitmap = BitmapPixelsLocked(table, hbm, "SetDIBits");
    const auto layout = ReadDibLayout(reinterpret_cast<const BYTE*>(lpbmi), kInfoReadable);
    if (!bitmap || !layout || !lpBits || ColorUse != DIB_RGB_COLORS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (start >= static_cast<UINT>(layout->height))
        return 0;
    const LONG lines = static_cast<LONG>(std::min<UINT>(cLines, static_cast<UINT>(layout->height) - start));
    auto view = DibShape(*layout, lines);
    view->storage.assign(static_cast<const BYTE*>(lpBits),
                         static_cast<const BYTE*>(lpBits) + static_cast<size_t>(view->rowBytes) * lines);
    const LONG width = std::min(view->width, bitmap->width);
    for (LONG k = 0; k < lines; ++k) {
        const LONG line = static_cast<LONG>(start) + k;
        const LONG imageRow = layout->bottomUp ? layout->height - 1 - line : line;
        const LONG viewRow = layout->bottomUp ? lines - 1 - k : k;
        if (imageRow < 0 || imageRow >= bitmap->height)
            continue;
        for (LONG x = 0; x < width; ++x)
            bitmap->Set(x, imageRow, bitmap->ValueOf(view->ColorOf(view->Get(x, viewRow))));
    }
    return lines;
}

extern "C" HBITMAP WINAPI LoadBitmapW(HINSTANCE hInstance, LPCWSTR lpBitmapName)
{
    auto pixels = ResourceBitmap(hInstance, lpBitmapName);
    if (!pixels) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    return ScreenBitmap(*pixels);
}

extern "C" HBITMAP WINAPI LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName)
{
    if (IS_INTRESOURCE(lpBitmapName))
        return LoadBitmapW(hInstance, reinterpret_cast<LPCWSTR>(lpBitmapName));
    const std::u16string name = WideFromAnsi(lpBitmapName);
    return LoadBitmapW(hInstance, name.c_str());
}

extern "C" HANDLE WINAPI LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int cx, int cy, UINT fuLoad)
{
    // Bitmaps only: icons and cursors of modules and files are not kept here.
    if (type != IMAGE_BITMAP || !name || cx < 0 || cy < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<PixelBuffer> pixels;
    if (fuLoad & LR_LOADFROMFILE)
        pixels = IS_INTRESOURCE(name) ? nullptr : FileBitmap(name);
    else
        pixels = ResourceBitmap(hInst, name);
    if (!pixels) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    const LONG width = cx ? cx : pixels->width;
    const LONG height = cy ? cy : pixels->height;
    if (width != pixels->width || height != pixels->height)
        pixels = Stretched(*pixels, width, height);
    if (!pixels) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!(fuLoad & LR_CREATEDIBSECTION))
        return ScreenBitmap(*pixels);
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    return AddBitmapLocked(table, std::move(pixels), true);
}

extern "C" HANDLE WINAPI LoadImageA(HINSTANCE hInst, LPCSTR name, UINT type, int cx, int cy, UINT fuLoad)
{
    if (!name || IS_INTRESOURCE(name))
        return LoadImageW(hInst, reinterpret_cast<LPCWSTR>(name), type, cx, cy, fuLoad);
    const std::u16string wide = WideFromAnsi(name);
    return LoadImageW(hInst, wide.c_str(), type, cx, cy, fuLoad);
}
