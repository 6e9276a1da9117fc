// Pictures of windows: the screen's depth, the pending paints of a window tree, a window's pixels
// and their PNG files (libpng).
#include "gdi/GdiTable.h"
#include "standin/pictures.h"
#include "windows/WindowManager.h"

#include <png.h>

#include <cstdio>

namespace user {
namespace {

constexpr int kPaintRounds = 100;

// The tree's windows, parents before children.
void Collect(HWND hwnd, std::vector<HWND>& out)
{
    auto window = FindLive(hwnd);
    if (!window)
        return;
    out.push_back(hwnd);
    for (auto it = window->children.rbegin(); it != window->children.rend(); ++it)
        Collect(*it, out);
}

// Paints what the tree of a window waits for, each window on its own thread (SendMessage), until
// nothing waits (a window that never validates is left after a bound of rounds).
void PaintPending(HWND hwnd)
{
    for (int round = 0; round < kPaintRounds; ++round) {
        std::vector<std::pair<HWND, UINT>> pending;
        {
            auto& manager = WindowManager::Instance();
            std::lock_guard<std::recursive_mutex> hold(manager.lock);
            std::vector<HWND> tree;
            Collect(TopLevelOf(hwnd), tree);
            for (HWND each : tree) {
                auto window = FindLive(each);
                if (!window || !window->redraw || !VisibleLocked(*window))
                    continue;
                if (window->hasUpdate)
                    pending.emplace_back(each, WM_PAINT);
                else if (window->frameDirty) {
                    window->frameDirty = false;
                    pending.emplace_back(each, WM_NCPAINT);
                }
            }
        }
        if (pending.empty())
            return;
        for (const auto& [each, message] : pending)
            Send(each, message, message == WM_NCPAINT ? 1 : 0, 0);
    }
}

void WriteRows(png_structp png, png_infop info, FILE* file, const standin::WindowPixels& picture, png_byte* row)
{
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const COLORREF c = picture.At(x, y);
            row[3 * x] = GetRValue(c);
            row[3 * x + 1] = GetGValue(c);
            row[3 * x + 2] = GetBValue(c);
        }
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
}

// libpng's errors come back here through longjmp: nothing of this frame changes after setjmp.
bool WritePng(png_structp png, png_infop info, FILE* file, const standin::WindowPixels& picture, png_byte* row)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    WriteRows(png, info, file, picture, row);
    return true;
}

} // namespace
} // namespace user

using namespace user;

namespace standin {

bool SetScreenDepth(int bitsPerPixel)
{
    if (bitsPerPixel != 16 && bitsPerPixel != 32)
        return false;
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    table.screenDepth = bitsPerPixel;
    return true;
}

WindowPixels ReadWindowPixels(HWND hwnd)
{
    PaintPending(hwnd);
    WindowPixels picture;
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto window = FindLive(hwnd);
    auto top = window ? FindLive(TopLevelOf(hwnd)) : nullptr;
    if (!top)
        return picture;
    auto surface = SurfaceOfLocked(top->handle, top->rect.right - top->rect.left, top->rect.bottom - top->rect.top);
    const POINT at{WindowOrigin(*window).x - WindowOrigin(*top).x, WindowOrigin(*window).y - WindowOrigin(*top).y};
    picture.width = window->rect.right - window->rect.left;
    picture.height = window->rect.bottom - window->rect.top;
    picture.pixels.assign(static_cast<size_t>(picture.width) * picture.height, 0);
    auto& table = Table();
    std::lock_guard<std::mutex> holdTable(table.lock);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const LONG sx = at.x + x, sy = at.y + y;
            if (surface && sx >= 0 && sy >= 0 && sx < surface->width && sy < surface->height)
                picture.pixels[static_cast<size_t>(y) * picture.width + x] = surface->ColorOf(surface->Get(sx, sy));
        }
    return picture;
}

bool SaveWindowPng(HWND hwnd, const std::string& path)
{
    return SavePixelsPng(ReadWindowPixels(hwnd), path);
}

bool SavePixelsPng(const WindowPixels& picture, const std::string& path)
{
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height))
        return false;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_byte> row(static_cast<size_t>(picture.width) * 3);
    const bool written = png && info && WritePng(png, info, file, picture, row.data());
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    return std::fclose(file) == 0 && written;
}

} // namespace standin
