// The "Static" class: text aligned left, centred or right, images (SS_BITMAP, SS_ICON) set with
// STM_SETIMAGE or named by the resource number its title carries, SS_SUNKEN's one-pixel edge (the
// control takes WS_EX_STATICEDGE), and SS_NOTIFY: without it the control is transparent to the
// pointer (HTTRANSPARENT); with it a click sends STN_CLICKED and a double click STN_DBLCLK.
#include "controls/ControlPainting.h"
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
    HBITMAP loaded = nullptr; // the bitmap the title names, loaded from the module at the first paint
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

// The bitmap an SS_BITMAP control shows: the one STM_SETIMAGE gave, else the one its title names
// in the module that made it.
HBITMAP BitmapOf(StaticState& state)
{
    if (state.image)
        return static_cast<HBITMAP>(state.image);
    if (!state.loaded && (state.resourceId || !state.resourceName.empty()))
        state.loaded = LoadBitmapW(state.module, state.resourceId
                                                     ? reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(state.resourceId))
                                                     : reinterpret_cast<LPCWSTR>(state.resourceName.c_str()));
    return state.loaded;
}

void Paint(HWND hwnd, StaticState& state, DWORD style, HDC dc, const RECT& client)
{
    const DWORD type = style & SS_TYPEMASK;
    const bool enabled = IsWindowEnabled(hwnd);
    switch (type) {
    case SS_BLACKRECT: FillSystem(dc, client, COLOR_WINDOWFRAME); return;
    case SS_GRAYRECT: FillSystem(dc, client, COLOR_3DSHADOW); return;
    case SS_WHITERECT: FillSystem(dc, client, COLOR_WINDOW); return;
    case SS_BLACKFRAME: FrameRect(dc, &client, GetSysColorBrush(COLOR_WINDOWFRAME)); return;
    case SS_GRAYFRAME: FrameRect(dc, &client, GetSysColorBrush(COLOR_3DSHADOW)); return;
    case SS_WHITEFRAME: FrameRect(dc, &client, GetSysColorBrush(COLOR_WINDOW)); return;
    case SS_ETCHEDHORZ: {
        RECT line = client;
        DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
        return;
    }
    case SS_ETCHEDVERT: {
        RECT line = client;
        DrawEdge(dc, &line, EDGE_ETCHED, BF_LEFT);
        return;
    }
    case SS_ETCHEDFRAME: {
        RECT frame = client;
        DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
        return;
    }
    case SS_OWNERDRAW: {
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_STATIC;
        item.CtlID = static_cast<UINT>(GetWindowLongPtrW(hwnd, GWLP_ID));
        item.itemAction = ODA_DRAWENTIRE;
        item.itemState = enabled ? 0 : ODS_DISABLED;
        item.hwndItem = hwnd;
        item.hDC = dc;
        item.rcItem = client;
        if (HWND parent = GetParent(hwnd))
            SendMessageW(parent, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
        return;
    }
    default:
        break;
    }
    HBRUSH brush = ParentBrush(hwnd, dc, WM_CTLCOLORSTATIC);
    FillRect(dc, &client, brush);
    if (type == SS_BITMAP) {
        HBITMAP bitmap = BitmapOf(state);
        BITMAP info{};
        if (!bitmap || !GetObjectW(bitmap, sizeof info, &info))
            return;
        int x = 0, y = 0;
        if (style & SS_CENTERIMAGE) {
            x = (client.right - info.bmWidth) / 2;
            y = (client.bottom - info.bmHeight) / 2;
        }
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ previous = SelectObject(source, bitmap);
        BitBlt(dc, x, y, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
        SelectObject(source, previous);
        DeleteDC(source);
        return;
    }
    if (type == SS_ICON) {
        if (state.image)
            DrawIconEx(dc, 0, 0, static_cast<HICON>(state.image), 0, 0, 0, nullptr, DI_NORMAL);
        return;
    }
    if (type == SS_ENHMETAFILE)
        return;
    UINT format = DT_NOCLIP | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
    switch (type) {
    case SS_CENTER: format |= DT_CENTER | DT_WORDBREAK; break;
    case SS_RIGHT: format |= DT_RIGHT | DT_WORDBREAK; break;
    case SS_LEFTNOWORDWRAP:
    case SS_SIMPLE: format |= DT_LEFT | DT_SINGLELINE; break;
    default: format |= DT_LEFT | DT_WORDBREAK; break;
    }
    if (style & SS_CENTERIMAGE)
        format = (format & ~static_cast<UINT>(DT_WORDBREAK)) | DT_SINGLELINE | DT_VCENTER;
    DrawLabel(dc, WindowText(hwnd), client, format & ~static_cast<UINT>(DT_NOCLIP), enabled);
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
    case WM_PAINT:
    case WM_PRINTCLIENT:
        PaintControl(hwnd, message, wParam, state->font,
                     [&](HDC dc, const RECT& client) { Paint(hwnd, *state, style, dc, client); });
        return 0;
    case WM_NCDESTROY:
        if (state->loaded) {
            DeleteObject(state->loaded);
            state->loaded = nullptr;
        }
        break;
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
