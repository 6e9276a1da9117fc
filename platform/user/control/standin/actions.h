// A user's actions on controls for tests and tools, each made of the pointer and key input a hand
// would give and pumped until the calling thread's queue is idle. Stand-in facilities, not Windows
// functions.
#pragma once
#include "um/windows.h"

#include <string>

namespace standin {

// The left button pressed and released at a client point of the window (its centre by default).
void Click(HWND hwnd);
void Click(HWND hwnd, int x, int y);
// The left button pressed at one client point, moved in `steps` moves to another, released there.
void Drag(HWND hwnd, POINT from, POINT to, int steps = 1);
// The focus to the window, everything in it selected (an edit's), then each character typed: the
// text is ANSI (Windows-1252); a character with a key of the US layout by that key (with shift
// where it needs it), any other as Alt held while its code, led by a zero, is typed on the
// numeric pad.
void Type(HWND hwnd, const std::string& text);
// A line chosen: a list box's line clicked (scrolled to first), a combo box's by the keys (Home,
// then Down); false for an index the control does not have.
bool Select(HWND hwnd, int index);
// An up-down's arrows clicked: `delta` clicks on the up arrow (negative: the down arrow).
void Spin(HWND upDown, int delta);
// A trackbar's thumb dragged to the position's place in the channel; Home and End for its limits
// when `keys` (TB_TOP, TB_BOTTOM).
void Slide(HWND trackbar, int position, bool keys = false);
// A tab control's tab clicked; false for an index it does not have.
bool SelectTab(HWND tab, int index);
// The property sheet's "Apply" clicked; false when it has none or it is disabled.
bool PressApply(HWND sheet);

} // namespace standin
