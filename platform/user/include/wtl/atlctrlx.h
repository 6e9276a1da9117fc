// WTL's bitmap button, header-only: a button drawn from an image list, one image per state
// (normal, pushed, focused or hovered, disabled; -1 falls back to the normal image). Made with
// Create (a superclass of "Button") or put on a dialog's button with SubclassWindow; either way the
// button becomes owner-drawn so that its own painting stays out of the way, and with
// BMPBTN_AUTOSIZE takes the size of one image.
//
// State: pressed while the left button is down over it under its capture, and while the space key
// is down; hovered (BMPBTN_HOVER) from the first move over it until WM_MOUSELEAVE, which
// TrackMouseEvent asks for; focused between WM_SETFOCUS and WM_KILLFOCUS. In hover mode a press and
// release over the button sends BN_CLICKED itself; otherwise the button's own procedure clicks.
// With BMPBTN_HOVER, WM_ERASEBKGND goes to the procedure the button had before; without it nothing
// is erased. The three-dimensional styles draw an edge (and, without hover, a focus rectangle) over
// the image. T may replace DoPaint.
#pragma once
#include "atl/atlwin.h"
#include "wtl/atlctrls.h"

#define BMPBTN_HOVER 0x00000001
#define BMPBTN_AUTO3D_SINGLE 0x00000002
#define BMPBTN_AUTO3D_DOUBLE 0x00000004
#define BMPBTN_AUTOSIZE 0x00000008

namespace WTL {

template <class T, class TBase = CButton, class TWinTraits = ATL::CControlWinTraits>
class CBitmapButtonImpl : public ATL::CWindowImpl<T, TBase, TWinTraits> {
public:
    DECLARE_WND_SUPERCLASS(nullptr, TBase::GetWndClassName())

    enum { _nImageNormal = 0, _nImagePushed, _nImageFocusOrHover, _nImageDisabled, _nImageCount = 4 };

    CImageList m_ImageList;
    int m_nImage[_nImageCount] = {-1, -1, -1, -1};
    DWORD m_dwExtendedStyle;
    bool m_fMouseOver = false;
    bool m_fFocus = false;
    bool m_fPressed = false;

    explicit CBitmapButtonImpl(DWORD dwExtendedStyle = BMPBTN_AUTOSIZE, HIMAGELIST hImageList = nullptr)
        : m_ImageList(hImageList), m_dwExtendedStyle(dwExtendedStyle)
    {
    }

    DWORD GetBitmapButtonExtendedStyle() const { return m_dwExtendedStyle; }
    // The styles of dwMask (all when 0) take dwExtendedStyle's; the previous styles.
    DWORD SetBitmapButtonExtendedStyle(DWORD dwExtendedStyle, DWORD dwMask = 0)
    {
        const DWORD previous = m_dwExtendedStyle;
        m_dwExtendedStyle = dwMask ? (m_dwExtendedStyle & ~dwMask) | (dwExtendedStyle & dwMask) : dwExtendedStyle;
        return previous;
    }
    HIMAGELIST GetImageList() const { return m_ImageList; }
    HIMAGELIST SetImageList(HIMAGELIST hImageList)
    {
        HIMAGELIST previous = m_ImageList;
        m_ImageList = hImageList;
        if ((m_dwExtendedStyle & BMPBTN_AUTOSIZE) && ::IsWindow(this->m_hWnd))
            SizeToImage();
        return previous;
    }
    // The images of the four states; -1 leaves a state to the normal image.
    void SetImages(int nNormal, int nPushed = -1, int nFocusOrHover = -1, int nDisabled = -1)
    {
        m_nImage[_nImageNormal] = nNormal;
        m_nImage[_nImagePushed] = nPushed;
        m_nImage[_nImageFocusOrHover] = nFocusOrHover;
        m_nImage[_nImageDisabled] = nDisabled;
    }
    // The button as large as one image.
    BOOL SizeToImage()
    {
        int cx = 0, cy = 0;
        if (m_ImageList.IsNull() || !m_ImageList.GetIconSize(cx, cy))
            return FALSE;
        return this->SetWindowPos(nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    BOOL SubclassWindow(HWND hWnd)
    {
        if (!ATL::CWindowImpl<T, TBase, TWinTraits>::SubclassWindow(hWnd))
            return FALSE;
        Init();
        return TRUE;
    }

    // The image of the state, at the offset of a pressed three-dimensional button, greyed when the
    // button is disabled and has only its normal image to show; then the edge and focus rectangle.
    void DoPaint(HDC dc)
    {
        const bool hover = (m_dwExtendedStyle & BMPBTN_HOVER) != 0;
        const bool enabled = this->IsWindowEnabled() != FALSE;
        int image;
        if (m_fPressed)
            image = m_nImage[_nImagePushed];
        else if ((hover && !m_fMouseOver) || (!hover && !m_fFocus))
            image = enabled ? m_nImage[_nImageNormal] : m_nImage[_nImageDisabled];
        else
            image = m_nImage[_nImageFocusOrHover];
        if (image == -1)
            image = m_nImage[_nImageNormal];
        const DWORD threeD = m_dwExtendedStyle & (BMPBTN_AUTO3D_SINGLE | BMPBTN_AUTO3D_DOUBLE);
        int offset = 0;
        if (m_fPressed && threeD && m_nImage[_nImagePushed] == -1)
            offset = (m_dwExtendedStyle & BMPBTN_AUTO3D_SINGLE) ? 1 : 2;
        if (!enabled && image == m_nImage[_nImageNormal]) {
            if (HICON icon = m_ImageList.GetIcon(image, ILD_NORMAL)) {
                ::DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, offset, offset, 0, 0,
                             DST_ICON | DSS_DISABLED);
                ::DestroyIcon(icon);
            }
        } else {
            m_ImageList.Draw(dc, image, offset, offset, ILD_NORMAL);
        }
        if (threeD) {
            RECT rect{};
            this->GetClientRect(&rect);
            const bool single = (m_dwExtendedStyle & BMPBTN_AUTO3D_SINGLE) != 0;
            if (m_fPressed)
                ::DrawEdge(dc, &rect, single ? BDR_SUNKENOUTER : EDGE_SUNKEN, BF_RECT);
            else
                ::DrawEdge(dc, &rect, single ? BDR_RAISEDINNER : EDGE_RAISED, BF_RECT);
            if (!hover && m_fFocus) {
                ::InflateRect(&rect, -2 * ::GetSystemMetrics(SM_CXEDGE), -2 * ::GetSystemMetrics(SM_CYEDGE));
                ::DrawFocusRect(dc, &rect);
            }
        }
    }

    BEGIN_MSG_MAP(CBitmapButtonImpl)
        MESSAGE_HANDLER(WM_CREATE, OnCreate)
        MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBackground)
        MESSAGE_HANDLER(WM_PAINT, OnPaint)
        MESSAGE_HANDLER(WM_PRINTCLIENT, OnPaint)
        MESSAGE_HANDLER(WM_SETFOCUS, OnFocus)
        MESSAGE_HANDLER(WM_KILLFOCUS, OnFocus)
        MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLButtonDown)
        MESSAGE_HANDLER(WM_LBUTTONDBLCLK, OnLButtonDown)
        MESSAGE_HANDLER(WM_LBUTTONUP, OnLButtonUp)
        MESSAGE_HANDLER(WM_CAPTURECHANGED, OnCaptureChanged)
        MESSAGE_HANDLER(WM_ENABLE, OnEnable)
        MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
        MESSAGE_HANDLER(WM_MOUSELEAVE, OnMouseLeave)
        MESSAGE_HANDLER(WM_KEYDOWN, OnKey)
        MESSAGE_HANDLER(WM_KEYUP, OnKey)
    END_MSG_MAP()

    LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL& bHandled)
    {
        Init();
        bHandled = FALSE;
        return 0;
    }
    LRESULT OnEraseBackground(UINT, WPARAM, LPARAM, BOOL& bHandled)
    {
        if (m_dwExtendedStyle & BMPBTN_HOVER)
            bHandled = FALSE;
        return 1;
    }
    LRESULT OnPaint(UINT, WPARAM wParam, LPARAM, BOOL&)
    {
        if (wParam) {
            static_cast<T*>(this)->DoPaint(reinterpret_cast<HDC>(wParam));
        } else {
            PAINTSTRUCT ps{};
            HDC dc = ::BeginPaint(this->m_hWnd, &ps);
            static_cast<T*>(this)->DoPaint(dc);
            ::EndPaint(this->m_hWnd, &ps);
        }
        return 0;
    }
    LRESULT OnFocus(UINT uMsg, WPARAM, LPARAM, BOOL& bHandled)
    {
        m_fFocus = uMsg == WM_SETFOCUS;
        this->Invalidate();
        bHandled = FALSE;
        return 1;
    }
    LRESULT OnLButtonDown(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&)
    {
        LRESULT result = 0;
        if (m_dwExtendedStyle & BMPBTN_HOVER)
            ::SetCapture(this->m_hWnd);
        else
            result = this->DefWindowProc(uMsg, wParam, lParam);
        if (::GetCapture() == this->m_hWnd) {
            m_fPressed = true;
            this->Invalidate();
        }
        return result;
    }
    LRESULT OnLButtonUp(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&)
    {
        LRESULT result = 0;
        const bool hover = (m_dwExtendedStyle & BMPBTN_HOVER) != 0;
        if (!hover)
            result = this->DefWindowProc(uMsg, wParam, lParam);
        if (::GetCapture() == this->m_hWnd) {
            if (hover && m_fPressed)
                ::SendMessageA(this->GetParent(), WM_COMMAND, MAKEWPARAM(this->GetDlgCtrlID(), BN_CLICKED),
                               reinterpret_cast<LPARAM>(this->m_hWnd));
            ::ReleaseCapture();
        }
        return result;
    }
    LRESULT OnCaptureChanged(UINT, WPARAM, LPARAM, BOOL& bHandled)
    {
        if (m_fPressed) {
            m_fPressed = false;
            this->Invalidate();
        }
        bHandled = FALSE;
        return 1;
    }
    LRESULT OnEnable(UINT, WPARAM, LPARAM, BOOL& bHandled)
    {
        this->Invalidate();
        bHandled = FALSE;
        return 1;
    }
    LRESULT OnMouseMove(UINT, WPARAM, LPARAM lParam, BOOL& bHandled)
    {
        if (::GetCapture() == this->m_hWnd) {
            // Pressed while the pointer stays over the button.
            RECT client{};
            this->GetClientRect(&client);
            const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            const bool inside = at.x >= client.left && at.x < client.right && at.y >= client.top && at.y < client.bottom;
            if (inside != m_fPressed) {
                m_fPressed = inside;
                this->Invalidate();
            }
        } else if ((m_dwExtendedStyle & BMPBTN_HOVER) && !m_fMouseOver) {
            m_fMouseOver = true;
            this->Invalidate();
            TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, this->m_hWnd, 0};
            ::TrackMouseEvent(&track);
        }
        bHandled = FALSE;
        return 1;
    }
    LRESULT OnMouseLeave(UINT, WPARAM, LPARAM, BOOL&)
    {
        if (m_fMouseOver) {
            m_fMouseOver = false;
            this->Invalidate();
        }
        return 0;
    }
    // The space key presses the button while it is down; the button's own procedure clicks.
    LRESULT OnKey(UINT uMsg, WPARAM wParam, LPARAM, BOOL& bHandled)
    {
        if (wParam == VK_SPACE) {
            const bool down = uMsg == WM_KEYDOWN;
            if (down != m_fPressed) {
                m_fPressed = down;
                this->Invalidate();
            }
        }
        bHandled = FALSE;
        return 1;
    }

private:
    // Owner-drawn, so that the button's own painting stays out of the way; one image large with
    // BMPBTN_AUTOSIZE.
    void Init()
    {
        this->ModifyStyle(BS_TYPEMASK, BS_OWNERDRAW);
        if (m_dwExtendedStyle & BMPBTN_AUTOSIZE)
            SizeToImage();
    }
};

// A bitmap button of no class of its own.
class CBitmapButton : public CBitmapButtonImpl<CBitmapButton> {
public:
    DECLARE_WND_SUPERCLASS("WTL_BitmapButton", CButton::GetWndClassName())
    explicit CBitmapButton(DWORD dwExtendedStyle = BMPBTN_AUTOSIZE, HIMAGELIST hImageList = nullptr)
        : CBitmapButtonImpl<CBitmapButton>(dwExtendedStyle, hImageList)
    {
    }
};

} // namespace WTL
