// Pictures of windows for tests and tools: the screen's depth, a window's pixels as it painted
// them, and PNG files of them. Stand-in facilities, not Windows functions.
#pragma once
#include "um/windows.h"

#include <string>
#include <vector>

namespace standin {

// The depth the screen reports (GetDeviceCaps BITSPIXEL) and compatible bitmaps take: 32 (the
// default) or 16. Windows' own surfaces stay 32-bit. False for any other depth.
bool SetScreenDepth(int bitsPerPixel);

// A window's rectangle (frame included) of its top-level window's surface.
struct WindowPixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels; // rows top first
    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
// Both first paint what the window's tree has pending (WM_NCPAINT, WM_PAINT), on the windows' own
// threads. An empty picture (false) for a handle that names no window.
WindowPixels ReadWindowPixels(HWND hwnd);
// An 8-bit RGB PNG at `path` (a path of this computer, not of the machine's drives).
bool SaveWindowPng(HWND hwnd, const std::string& path);
// The same of any picture (a tool's or test's composition); false for an empty one.
bool SavePixelsPng(const WindowPixels& picture, const std::string& path);

} // namespace standin
