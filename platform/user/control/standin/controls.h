// The standard controls' state that only their painting reads, for tests and tools. Stand-in
// facilities, not Windows functions.
#pragma once
#include "um/windows.h"

#include <string>

namespace standin {

// The image a static with SS_BITMAP, SS_ICON or SS_ENHMETAFILE was made with: the module of its
// creation and the resource its title named (a number, else a name); all empty for another window.
struct StaticImage {
    HINSTANCE module = nullptr;
    WORD id = 0;
    std::u16string name;
};
StaticImage StaticImageOf(HWND hwnd);

} // namespace standin
