// Cursors: the system cursors of LoadCursor(NULL, IDC_...), and the one current cursor of the
// process, the arrow at start.
#include "um/errhandlingapi.h"
#include "um/winerror.h"
#include "windows/WindowManager.h"

namespace user {
namespace {

struct SystemCursor {
    WORD id;
    const char* name;
};

constexpr SystemCursor kCursors[] = {
    {32512, "IDC_ARROW"},     {32513, "IDC_IBEAM"},   {32514, "IDC_WAIT"},   {32515, "IDC_CROSS"},
    {32516, "IDC_UPARROW"},   {32642, "IDC_SIZENWSE"}, {32643, "IDC_SIZENESW"}, {32644, "IDC_SIZEWE"},
    {32645, "IDC_SIZENS"},    {32646, "IDC_SIZEALL"}, {32648, "IDC_NO"},     {32649, "IDC_HAND"},
    {32650, "IDC_APPSTARTING"}, {32651, "IDC_HELP"},
};

// System cursor handles lie far from window handles.
constexpr uintptr_t kCursorBase = 0x7FFF0000;

} // namespace

HCURSOR SystemCursorHandle(WORD id)
{
    for (const auto& cursor : kCursors)
        if (cursor.id == id)
            return reinterpret_cast<HCURSOR>(kCursorBase + id);
    return nullptr;
}

std::string SystemCursorName(HCURSOR cursor)
{
    const auto value = reinterpret_cast<uintptr_t>(cursor);
    for (const auto& each : kCursors)
        if (value == kCursorBase + each.id)
            return each.name;
    return cursor ? "" : "none";
}

HCURSOR CurrentCursorLocked()
{
    auto& manager = WindowManager::Instance();
    return manager.cursorSet ? manager.cursor : SystemCursorHandle(32512);
}

} // namespace user

using namespace user;

extern "C" HCURSOR WINAPI LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName)
{
    // Cursors of modules are not modelled: only the system's.
    if (!hInstance && IS_INTRESOURCE(lpCursorName))
        if (HCURSOR cursor = SystemCursorHandle(static_cast<WORD>(reinterpret_cast<uintptr_t>(lpCursorName))))
            return cursor;
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

extern "C" HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName)
{
    if (!IS_INTRESOURCE(lpCursorName)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return LoadCursorW(hInstance, reinterpret_cast<LPCWSTR>(lpCursorName));
}

extern "C" HCURSOR WINAPI SetCursor(HCURSOR hCursor)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    const HCURSOR previous = CurrentCursorLocked();
    manager.cursor = hCursor;
    manager.cursorSet = true;
    return previous;
}

extern "C" HCURSOR WINAPI GetCursor()
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    return CurrentCursorLocked();
}
