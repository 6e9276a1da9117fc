// The "Static" class: text aligned left, centred or right, images (SS_BITMAP, SS_ICON) set with
// STM_SETIMAGE or named by the resource number its title carries, SS_SUNKEN's one-pixel edge (the
// control takes WS_EX_STATICEDGE), and SS_NOTIFY: without it the control is transparent to the
// pointer (HTTRANSPARENT); with it a click sends STN_CLICKED and a double click STN_DBLCLK.
#include "controls/Controls.h"
#include "standin/controls.h"

namespace user {
namespace {

struct StaticState : ControlState {
    StaticState() : ControlState(ControlKind::staticText) {}
    HANDLE image = nullptr;
    HINSTANCE module = nullptr; // where an image named by the title is
    WORD resourceId = 0;        // the title's resource number, 0 when it is a name
    std::u16string resourceName;
};

bool IsImage(DWORD type)
{
    return type == SS_BITMAP || type == SS_ICON || type == SS_ENHMETAFILE;
}

// The image type STM_SETIMAGE accepts for the control's style.
bool Accepts(DWORD type, WPARAM imageType)
{
    switch (type) {
    case SS_BITMAP:
        return imageType == IMAGE_BITMAP;
    case SS_ICON:
        return imageType == IMAGE_ICON || imageType == IMAGE_CURSOR;
    case SS_ENHMETAFILE:
        return imageType == IMAGE_ENHMETAFILE;
    default:
        return false;
    }
}

void Create(HWND hwnd, StaticState& state, const CREATESTRUCTW* create)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto window = FindAny(hwnd);
    if (!window)
        return;
    if (window->style & SS_SUNKEN)
        window->exStyle |= WS_EX_STATICEDGE;
    if (!IsImage(window->style & SS_TYPEMASK) || !create || !create->lpszName)
        return;
    // An image control's title names its image: 0xFFFF and a number, or a name.
    state.module = create->hInstance;
    const auto* title = reinterpret_cast<const char16_t*>(create->lpszName);
    if (title[0] == 0xFFFF)
        state.resourceId = static_cast<WORD>(title[1]);
    else
        state.resourceName = title;
    window->text.clear();
}

} // namespace

LRESULT WINAPI StaticProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto made = std::make_shared<StaticState>();
        AttachControlState(hwnd, made);
        const LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
        Create(hwnd, *made, reinterpret_cast<const CREATESTRUCTW*>(lParam));
        return result;
    }
    auto state = ControlStateOf<StaticState>(hwnd, ControlKind::staticText);
    if (!state)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (auto font = FontMessage(*state, hwnd, message, wParam, lParam))
        return *font;
    const DWORD style = StyleOf(hwnd);
    const DWORD type = style & SS_TYPEMASK;
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case WM_NCHITTEST:
        if (!(style & SS_NOTIFY))
            return HTTRANSPARENT;
        break;
    case WM_LBUTTONDOWN:
        if (style & SS_NOTIFY)
            NotifyParent(hwnd, STN_CLICKED);
        return 0;
    case WM_LBUTTONDBLCLK:
        if (style & SS_NOTIFY)
            NotifyParent(hwnd, STN_DBLCLK);
        return 0;
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        if (style & SS_NOTIFY)
            NotifyParent(hwnd, wParam ? STN_ENABLE : STN_DISABLE);
        return 0;
    case WM_SETTEXT: {
        const LRESULT done = DefWindowProcW(hwnd, message, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return done;
    }
    case STM_SETIMAGE: {
        if (!Accepts(type, wParam))
            return 0;
        HANDLE previous = state->image;
        state->image = reinterpret_cast<HANDLE>(lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return reinterpret_cast<LRESULT>(previous);
    }
    case STM_GETIMAGE:
        return Accepts(type, wParam) ? reinterpret_cast<LRESULT>(state->image) : 0;
    case STM_SETICON:
        return StaticProcedure(hwnd, STM_SETIMAGE, IMAGE_ICON, static_cast<LPARAM>(wParam));
    case STM_GETICON:
        return StaticProcedure(hwnd, STM_GETIMAGE, IMAGE_ICON, 0);
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace user

namespace standin {

StaticImage StaticImageOf(HWND hwnd)
{
    auto state = user::ControlStateOf<user::StaticState>(hwnd, user::ControlKind::staticText);
    if (!state)
        return {};
    return StaticImage{state->module, state->resourceId, state->resourceName};
}

} // namespace standin
