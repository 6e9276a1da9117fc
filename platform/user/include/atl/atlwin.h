// ATL's window classes, header-only, in the ANSI forms: CWindow over a window handle, window
// traits, CWindowImpl (a window class of its own, a superclass of another, or a window of someone
// else subclassed), CDialogImpl over a dialog template of the module's resources, and the message
// maps that route a window's messages to member functions.
//
// A window object is found from its handle through a table of this module; one object of a given
// kind serves a window at a time. The procedure a CWindowImpl puts on its window is WindowProc;
// DefWindowProc calls the procedure that was there before (the superclass's, the subclassed
// window's, or DefWindowProcA). When WM_NCDESTROY has been handled and the outermost message the
// object was handling returns, the object lets go of the window and OnFinalMessage runs once.
#pragma once
#include "atl/atlbase.h"
#include "um/commctrl.h"
#include "um/windows.h"

#include <map>
#include <mutex>
#include <string>

namespace ATL {

class CWindow {
public:
    HWND m_hWnd = nullptr;
    static inline RECT rcDefault{CW_USEDEFAULT, CW_USEDEFAULT, 0, 0};

    CWindow(HWND hWnd = nullptr) : m_hWnd(hWnd) {}
    CWindow& operator=(HWND hWnd)
    {
        m_hWnd = hWnd;
        return *this;
    }
    operator HWND() const { return m_hWnd; }
    static LPCSTR GetWndClassName() { return nullptr; }
    // A rectangle's size for CreateWindowEx; no rectangle (rcDefault) leaves the size to it.
    static SIZE SizeOf(const RECT* rect)
    {
        if (!rect || rect->left == CW_USEDEFAULT)
            return SIZE{CW_USEDEFAULT, CW_USEDEFAULT};
        return SIZE{rect->right - rect->left, rect->bottom - rect->top};
    }

    void Attach(HWND hWndNew) { m_hWnd = hWndNew; }
    HWND Detach()
    {
        HWND hWnd = m_hWnd;
        m_hWnd = nullptr;
        return hWnd;
    }
    HWND Create(LPCSTR lpstrWndClass, HWND hWndParent, const RECT* rect = nullptr, LPCSTR szWindowName = nullptr,
                DWORD dwStyle = 0, DWORD dwExStyle = 0, UINT_PTR nID = 0, LPVOID lpCreateParam = nullptr)
    {
        const SIZE size = SizeOf(rect);
        m_hWnd = ::CreateWindowExA(dwExStyle, lpstrWndClass, szWindowName, dwStyle, rect ? rect->left : CW_USEDEFAULT,
                                   rect ? rect->top : CW_USEDEFAULT, size.cx, size.cy, hWndParent,
                                   reinterpret_cast<HMENU>(nID), nullptr, lpCreateParam);
        return m_hWnd;
    }
    BOOL DestroyWindow()
    {
        if (!::DestroyWindow(m_hWnd))
            return FALSE;
        m_hWnd = nullptr;
        return TRUE;
    }

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageA(m_hWnd, message, wParam, lParam);
    }

    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE)); }
    BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0)
    {
        const DWORD style = GetStyle();
        const DWORD wanted = (style & ~dwRemove) | dwAdd;
        if (style == wanted)
            return FALSE;
        ::SetWindowLongPtrA(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(wanted));
        if (nFlags)
            ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
        return TRUE;
    }
    LONG_PTR GetWindowLongPtr(int nIndex) const { return ::GetWindowLongPtrA(m_hWnd, nIndex); }
    LONG_PTR SetWindowLongPtr(int nIndex, LONG_PTR value) { return ::SetWindowLongPtrA(m_hWnd, nIndex, value); }

    BOOL SetWindowText(LPCSTR text) { return ::SetWindowTextA(m_hWnd, text); }
    int GetWindowText(LPSTR text, int nMaxCount) const { return ::GetWindowTextA(m_hWnd, text, nMaxCount); }
    int GetWindowTextLength() const { return ::GetWindowTextLengthA(m_hWnd); }
    void SetFont(HFONT hFont, BOOL bRedraw = TRUE)
    {
        SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(hFont), MAKELPARAM(bRedraw, 0));
    }
    HFONT GetFont() const { return reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)); }

    BOOL IsWindow() const { return ::IsWindow(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    HWND SetFocus() { return ::SetFocus(m_hWnd); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    BOOL IsChild(HWND hWnd) const { return ::IsChild(m_hWnd, hWnd); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }

    BOOL GetClientRect(LPRECT rect) const { return ::GetClientRect(m_hWnd, rect); }
    BOOL GetWindowRect(LPRECT rect) const { return ::GetWindowRect(m_hWnd, rect); }
    BOOL ClientToScreen(LPPOINT point) const { return ::ClientToScreen(m_hWnd, point); }
    BOOL ScreenToClient(LPPOINT point) const { return ::ScreenToClient(m_hWnd, point); }
    BOOL MoveWindow(int x, int y, int width, int height, BOOL bRepaint = TRUE)
    {
        return ::MoveWindow(m_hWnd, x, y, width, height, bRepaint);
    }
    BOOL MoveWindow(const RECT* rect, BOOL bRepaint = TRUE)
    {
        return MoveWindow(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, bRepaint);
    }
    BOOL SetWindowPos(HWND hWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags)
    {
        return ::SetWindowPos(m_hWnd, hWndInsertAfter, x, y, cx, cy, nFlags);
    }
    BOOL Invalidate(BOOL bErase = TRUE) { return ::InvalidateRect(m_hWnd, nullptr, bErase); }
    BOOL InvalidateRect(const RECT* rect, BOOL bErase = TRUE) { return ::InvalidateRect(m_hWnd, rect, bErase); }
    BOOL UpdateWindow() { return ::UpdateWindow(m_hWnd); }
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC proc = nullptr)
    {
        return ::SetTimer(m_hWnd, nIDEvent, nElapse, proc);
    }
    BOOL KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }

    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    BOOL SetDlgItemText(int nID, LPCSTR text) { return ::SetDlgItemTextA(m_hWnd, nID, text); }
    UINT GetDlgItemText(int nID, LPSTR text, int nMaxCount) const { return ::GetDlgItemTextA(m_hWnd, nID, text, nMaxCount); }
    BOOL SetDlgItemInt(int nID, UINT value, BOOL bSigned = TRUE) { return ::SetDlgItemInt(m_hWnd, nID, value, bSigned); }
    UINT GetDlgItemInt(int nID, BOOL* translated = nullptr, BOOL bSigned = TRUE) const
    {
        return ::GetDlgItemInt(m_hWnd, nID, translated, bSigned);
    }
    BOOL CheckDlgButton(int nID, UINT check) { return ::CheckDlgButton(m_hWnd, nID, check); }
    UINT IsDlgButtonChecked(int nID) const { return ::IsDlgButtonChecked(m_hWnd, nID); }
    LRESULT SendDlgItemMessage(int nID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return ::SendMessageA(GetDlgItem(nID), message, wParam, lParam);
    }
};

// A window's styles when the caller gives none.
template <DWORD t_dwStyle = 0, DWORD t_dwExStyle = 0> class CWinTraits {
public:
    static DWORD GetWndStyle(DWORD dwStyle) { return dwStyle == 0 ? t_dwStyle : dwStyle; }
    static DWORD GetWndExStyle(DWORD dwExStyle) { return dwExStyle == 0 ? t_dwExStyle : dwExStyle; }
};
using CControlWinTraits = CWinTraits<WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0>;
using CFrameWinTraits = CWinTraits<WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_APPWINDOW | WS_EX_WINDOWEDGE>;
using CNullTraits = CWinTraits<0, 0>;

// The rectangle or menu-or-id arguments of Create, taken in either form.
class _U_RECT {
public:
    _U_RECT(LPRECT lpRect) : m_lpRect(lpRect) {}
    _U_RECT(RECT& rc) : m_lpRect(&rc) {}
    LPRECT m_lpRect;
};
// A resource named by text or by number.
class _U_STRINGorID {
public:
    _U_STRINGorID(LPCSTR lpString) : m_lpstr(lpString) {}
    _U_STRINGorID(UINT nID) : m_lpstr(MAKEINTRESOURCEA(nID)) {}
    LPCSTR m_lpstr;
};

class _U_MENUorID {
public:
    _U_MENUorID(HMENU hMenu) : m_hMenu(hMenu) {}
    _U_MENUorID(UINT nID) : m_hMenu(reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID))) {}
    HMENU m_hMenu;
};

class CMessageMap {
public:
    virtual BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,
                                      DWORD dwMsgMapID) = 0;
};

// The window class a CWindowImpl registers: its own, or a superclass of an existing class whose
// procedure becomes the object's default one. Names are generated ("ATL:<address>") when not given.
struct CWndClassInfo {
    WNDCLASSEXA m_wc;
    LPCSTR m_lpszOrigName;
    WNDPROC pWndProc;
    LPCSTR m_lpszCursorID;
    BOOL m_bSystemCursor;
    ATOM m_atom;
    char m_szAutoName[32];

    // Registers the class once, with `start` as its procedure; a superclass's original procedure
    // goes to *pProc.
    ATOM Register(WNDPROC* pProc, WNDPROC start)
    {
        static std::mutex lock;
        std::lock_guard<std::mutex> hold(lock);
        if (m_atom == 0) {
            if (m_lpszOrigName) {
                // A superclass: the original class's description, our name and procedure.
                WNDCLASSEXA original{};
                original.cbSize = sizeof original;
                if (!::GetClassInfoExA(nullptr, m_lpszOrigName, &original) &&
                    !::GetClassInfoExA(m_wc.hInstance, m_lpszOrigName, &original))
                    return 0;
                pWndProc = original.lpfnWndProc;
                LPCSTR name = m_wc.lpszClassName;
                HINSTANCE module = m_wc.hInstance;
                m_wc = original;
                m_wc.cbSize = sizeof m_wc;
                m_wc.lpszClassName = name;
                m_wc.hInstance = module;
                m_wc.style &= ~CS_GLOBALCLASS;
            } else if (m_lpszCursorID && !m_wc.hCursor) {
                m_wc.hCursor = ::LoadCursorA(m_bSystemCursor ? nullptr : m_wc.hInstance, m_lpszCursorID);
            }
            if (!m_wc.lpszClassName) {
                auto address = reinterpret_cast<ULONG_PTR>(&m_wc);
                char* out = m_szAutoName;
                for (char c : {'A', 'T', 'L', ':'})
                    *out++ = c;
                for (int shift = static_cast<int>(sizeof address * 8) - 4; shift >= 0; shift -= 4)
                    *out++ = "0123456789ABCDEF"[(address >> shift) & 0xF];
                *out = 0;
                m_wc.lpszClassName = m_szAutoName;
            }
            m_wc.lpfnWndProc = start;
            WNDCLASSEXA existing{};
            existing.cbSize = sizeof existing;
            m_atom = static_cast<ATOM>(::GetClassInfoExA(m_wc.hInstance, m_wc.lpszClassName, &existing));
            if (!m_atom)
                m_atom = ::RegisterClassExA(&m_wc);
        }
        if (m_lpszOrigName && pProc)
            *pProc = pWndProc;
        return m_atom;
    }
};

// The class a CWindowImpl registers: its name, or NULL for a generated one.
#define DECLARE_WND_CLASS(WndClassName)                                                                      \
    static ::ATL::CWndClassInfo& GetWndClassInfo()                                                           \
    {                                                                                                        \
        static ::ATL::CWndClassInfo wc = {{sizeof(WNDCLASSEXA), CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, nullptr,     \
                                           0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, \
                                           WndClassName, nullptr},                                          \
                                          nullptr, nullptr, IDC_ARROW, TRUE, 0, ""};                         \
        return wc;                                                                                           \
    }
// A superclass of OrigWndClassName: its look, our name (NULL: generated) and our procedure first.
#define DECLARE_WND_SUPERCLASS(WndClassName, OrigWndClassName)                                               \
    static ::ATL::CWndClassInfo& GetWndClassInfo()                                                           \
    {                                                                                                        \
        static ::ATL::CWndClassInfo wc = {{sizeof(WNDCLASSEXA), 0, nullptr, 0, 0, nullptr, nullptr,          \
                                           nullptr, nullptr, nullptr, WndClassName, nullptr},               \
                                          OrigWndClassName, nullptr, nullptr, TRUE, 0, ""};                  \
        return wc;                                                                                           \
    }

// The table from window handles to the objects that serve them, and the object being created on
// each thread until its window's first message arrives.
class CWindowTable {
public:
    static void Bind(HWND hWnd, CMessageMap* object)
    {
        std::lock_guard<std::mutex> hold(Lock());
        Map()[hWnd] = object;
    }
    static void Unbind(HWND hWnd, CMessageMap* object)
    {
        std::lock_guard<std::mutex> hold(Lock());
        auto found = Map().find(hWnd);
        if (found != Map().end() && found->second == object)
            Map().erase(found);
    }
    static CMessageMap* Find(HWND hWnd)
    {
        std::lock_guard<std::mutex> hold(Lock());
        auto found = Map().find(hWnd);
        return found == Map().end() ? nullptr : found->second;
    }
    static inline thread_local CMessageMap* creating = nullptr;

private:
    static std::mutex& Lock()
    {
        static std::mutex lock;
        return lock;
    }
    static std::map<HWND, CMessageMap*>& Map()
    {
        static std::map<HWND, CMessageMap*> map;
        return map;
    }
};

template <class TBase = CWindow> class CWindowImplRoot : public TBase, public CMessageMap {
public:
    enum { WINSTATE_DESTROYED = 0x00000001 };
    const MSG* m_pCurrentMsg = nullptr;
    DWORD m_dwState = 0;

    // An object that goes while its window lives no longer serves it: the window's later messages
    // go to DefWindowProcA instead of a dead object.
    virtual ~CWindowImplRoot()
    {
        if (this->m_hWnd)
            CWindowTable::Unbind(this->m_hWnd, this);
    }
    const MSG* GetCurrentMessage() const { return m_pCurrentMsg; }

protected:
    // Runs the map for one message, nested messages keeping their outer one.
    BOOL Route(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult, const MSG*& outer)
    {
        MSG current{hWnd, uMsg, wParam, lParam, 0, {0, 0}};
        outer = m_pCurrentMsg;
        m_pCurrentMsg = &current;
        const BOOL handled = this->ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult, 0);
        m_pCurrentMsg = outer;
        return handled;
    }
    // Once the window is destroyed and the outermost message returns: the object lets go of the
    // window; true when the final message is due.
    bool Finished(HWND hWnd, const MSG* outer)
    {
        if (!(m_dwState & WINSTATE_DESTROYED) || outer)
            return false;
        m_dwState &= ~WINSTATE_DESTROYED;
        CWindowTable::Unbind(hWnd, this);
        this->m_hWnd = nullptr;
        return true;
    }
};

template <class TBase = CWindow, class TWinTraits = CControlWinTraits>
class CWindowImplBaseT : public CWindowImplRoot<TBase> {
public:
    WNDPROC m_pfnSuperWindowProc = ::DefWindowProcA;

    static DWORD GetWndStyle(DWORD dwStyle) { return TWinTraits::GetWndStyle(dwStyle); }
    static DWORD GetWndExStyle(DWORD dwExStyle) { return TWinTraits::GetWndExStyle(dwExStyle); }

    virtual WNDPROC GetWindowProc() { return WindowProc; }
    virtual void OnFinalMessage(HWND) {}

    HWND Create(HWND hWndParent, _U_RECT rect, LPCSTR szWindowName, DWORD dwStyle, DWORD dwExStyle,
                _U_MENUorID MenuOrID, ATOM atom, LPVOID lpCreateParam = nullptr)
    {
        if (atom == 0 || this->m_hWnd)
            return nullptr;
        const RECT* r = rect.m_lpRect;
        const SIZE size = CWindow::SizeOf(r);
        CWindowTable::creating = this;
        HWND hWnd = ::CreateWindowExA(dwExStyle, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(atom)), szWindowName,
                                      dwStyle, r ? r->left : CW_USEDEFAULT, r ? r->top : CW_USEDEFAULT, size.cx, size.cy,
                                      hWndParent, MenuOrID.m_hMenu, nullptr, lpCreateParam);
        CWindowTable::creating = nullptr;
        return hWnd;
    }
    BOOL DestroyWindow() { return ::DestroyWindow(this->m_hWnd); }

    // Puts our procedure on a window someone else made; no WM_CREATE comes.
    BOOL SubclassWindow(HWND hWnd)
    {
        if (this->m_hWnd || !::IsWindow(hWnd) || CWindowTable::Find(hWnd))
            return FALSE;
        this->m_hWnd = hWnd;
        CWindowTable::Bind(hWnd, this);
        const auto previous =
            reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GetWindowProc())));
        if (!previous) {
            CWindowTable::Unbind(hWnd, this);
            this->m_hWnd = nullptr;
            return FALSE;
        }
        m_pfnSuperWindowProc = previous;
        return TRUE;
    }
    // Gives the window its previous procedure back; NULL when another procedure sits above ours
    // (unless forced) or nothing is subclassed.
    HWND UnsubclassWindow(BOOL bForce = FALSE)
    {
        if (!this->m_hWnd)
            return nullptr;
        const auto current = reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(this->m_hWnd, GWLP_WNDPROC));
        if (current != GetWindowProc() && !bForce)
            return nullptr;
        ::SetWindowLongPtrA(this->m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuperWindowProc));
        m_pfnSuperWindowProc = ::DefWindowProcA;
        CWindowTable::Unbind(this->m_hWnd, this);
        HWND hWnd = this->m_hWnd;
        this->m_hWnd = nullptr;
        return hWnd;
    }

    LRESULT DefWindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        return ::CallWindowProcA(m_pfnSuperWindowProc, this->m_hWnd, uMsg, wParam, lParam);
    }
    LRESULT DefWindowProc()
    {
        const MSG* msg = this->m_pCurrentMsg;
        return msg ? DefWindowProc(msg->message, msg->wParam, msg->lParam) : 0;
    }

    // The class's procedure: binds the window being created to its object, then serves it.
    static LRESULT WINAPI StartWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        auto* self = static_cast<CWindowImplBaseT*>(CWindowTable::creating);
        if (!self)
            return ::DefWindowProcA(hWnd, uMsg, wParam, lParam);
        CWindowTable::creating = nullptr;
        self->m_hWnd = hWnd;
        CWindowTable::Bind(hWnd, self);
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(self->GetWindowProc()));
        return self->GetWindowProc()(hWnd, uMsg, wParam, lParam);
    }

    static LRESULT WINAPI WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        auto* self = static_cast<CWindowImplBaseT*>(CWindowTable::Find(hWnd));
        if (!self)
            return ::DefWindowProcA(hWnd, uMsg, wParam, lParam);
        const MSG* outer = nullptr;
        LRESULT lResult = 0;
        const BOOL handled = self->Route(hWnd, uMsg, wParam, lParam, lResult, outer);
        if (uMsg == WM_NCDESTROY) {
            if (!handled)
                lResult = self->DefWindowProc(uMsg, wParam, lParam);
            // The window is gone: its previous procedure back if ours is still the one on it.
            if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(hWnd, GWLP_WNDPROC)) == self->GetWindowProc())
                ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(self->m_pfnSuperWindowProc));
            self->m_dwState |= CWindowImplRoot<TBase>::WINSTATE_DESTROYED;
        } else if (!handled) {
            lResult = self->DefWindowProc(uMsg, wParam, lParam);
        }
        if (self->Finished(hWnd, outer)) {
            self->m_pfnSuperWindowProc = ::DefWindowProcA;
            self->OnFinalMessage(hWnd);
        }
        return lResult;
    }
};

template <class T, class TBase = CWindow, class TWinTraits = CControlWinTraits>
class CWindowImpl : public CWindowImplBaseT<TBase, TWinTraits> {
public:
    DECLARE_WND_CLASS(nullptr)

    HWND Create(HWND hWndParent, _U_RECT rect = nullptr, LPCSTR szWindowName = nullptr, DWORD dwStyle = 0,
                DWORD dwExStyle = 0, _U_MENUorID MenuOrID = 0U, LPVOID lpCreateParam = nullptr)
    {
        const ATOM atom = T::GetWndClassInfo().Register(&this->m_pfnSuperWindowProc, this->StartWindowProc);
        dwStyle = T::GetWndStyle(dwStyle);
        dwExStyle = T::GetWndExStyle(dwExStyle);
        return CWindowImplBaseT<TBase, TWinTraits>::Create(hWndParent, rect, szWindowName, dwStyle, dwExStyle, MenuOrID,
                                                          atom, lpCreateParam);
    }
};

// The dialog procedure of CDialogImpl: the message map's answer goes back through DWLP_MSGRESULT,
// except for the messages whose answer is the procedure's own return value.
template <class TBase = CWindow> class CDialogImplBaseT : public CWindowImplRoot<TBase> {
public:
    virtual DLGPROC GetDialogProc() { return DialogProc; }
    virtual void OnFinalMessage(HWND) {}

    static INT_PTR WINAPI StartDialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        auto* self = static_cast<CDialogImplBaseT*>(CWindowTable::creating);
        if (!self)
            return FALSE;
        CWindowTable::creating = nullptr;
        self->m_hWnd = hWnd;
        CWindowTable::Bind(hWnd, self);
        ::SetWindowLongPtrA(hWnd, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(self->GetDialogProc()));
        return self->GetDialogProc()(hWnd, uMsg, wParam, lParam);
    }

    static INT_PTR WINAPI DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        auto* self = static_cast<CDialogImplBaseT*>(CWindowTable::Find(hWnd));
        if (!self)
            return FALSE;
        const MSG* outer = nullptr;
        LRESULT lResult = 0;
        const BOOL handled = self->Route(hWnd, uMsg, wParam, lParam, lResult, outer);
        INT_PTR answer = FALSE;
        if (handled) {
            switch (uMsg) {
            case WM_INITDIALOG:
            case WM_COMPAREITEM:
            case WM_VKEYTOITEM:
            case WM_CHARTOITEM:
            case WM_QUERYDRAGICON:
            case WM_CTLCOLORMSGBOX:
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORLISTBOX:
            case WM_CTLCOLORBTN:
            case WM_CTLCOLORDLG:
            case WM_CTLCOLORSCROLLBAR:
            case WM_CTLCOLORSTATIC:
                answer = static_cast<INT_PTR>(lResult);
                break;
            default:
                if (uMsg != WM_NCDESTROY)
                    ::SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, lResult);
                answer = TRUE;
                break;
            }
        }
        if (uMsg == WM_NCDESTROY)
            self->m_dwState |= CWindowImplRoot<TBase>::WINSTATE_DESTROYED;
        if (self->Finished(hWnd, outer))
            self->OnFinalMessage(hWnd);
        return answer;
    }
};

// A dialog of the template T::IDD in the module's resources (the ATL module's resource instance,
// or the program's): modal with DoModal and EndDialog, modeless with Create and DestroyWindow.
template <class T, class TBase = CWindow> class CDialogImpl : public CDialogImplBaseT<TBase> {
public:
    INT_PTR DoModal(HWND hWndParent = ::GetActiveWindow(), LPARAM dwInitParam = 0)
    {
        if (this->m_hWnd)
            return -1;
        CWindowTable::creating = this;
        const INT_PTR result = ::DialogBoxParamA(ResourceInstance(), MAKEINTRESOURCEA(static_cast<T*>(this)->IDD),
                                                 hWndParent, this->StartDialogProc, dwInitParam);
        CWindowTable::creating = nullptr;
        return result;
    }
    BOOL EndDialog(INT_PTR nRetCode) { return ::EndDialog(this->m_hWnd, nRetCode); }
    HWND Create(HWND hWndParent, LPARAM dwInitParam = 0)
    {
        if (this->m_hWnd)
            return nullptr;
        CWindowTable::creating = this;
        HWND hWnd = ::CreateDialogParamA(ResourceInstance(), MAKEINTRESOURCEA(static_cast<T*>(this)->IDD), hWndParent,
                                         this->StartDialogProc, dwInitParam);
        CWindowTable::creating = nullptr;
        return hWnd;
    }
    HWND Create(HWND hWndParent, RECT&, LPARAM dwInitParam = 0) { return Create(hWndParent, dwInitParam); }
    BOOL DestroyWindow() { return ::DestroyWindow(this->m_hWnd); }

private:
    static HINSTANCE ResourceInstance()
    {
        return _pAtlModule ? _pAtlModule->GetResourceInstance() : ::GetModuleHandleA(nullptr);
    }
};

} // namespace ATL

// Message maps: ProcessWindowMessage tries each entry in order; a handler that leaves bHandled TRUE
// ends the search with its answer, one that sets it FALSE lets the next entries and then the
// default procedure have the message.
#define BEGIN_MSG_MAP(theClass)                                                                              \
public:                                                                                                      \
    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,          \
                              DWORD dwMsgMapID = 0) override                                                 \
    {                                                                                                        \
        BOOL bHandled = TRUE;                                                                                \
        (void)hWnd;                                                                                          \
        (void)uMsg;                                                                                          \
        (void)wParam;                                                                                        \
        (void)lParam;                                                                                        \
        (void)lResult;                                                                                       \
        (void)bHandled;                                                                                      \
        switch (dwMsgMapID) {                                                                                \
        case 0:
#define ALT_MSG_MAP(msgMapID)                                                                                \
    break;                                                                                                   \
    case msgMapID:
#define MESSAGE_HANDLER(msg, func)                                                                           \
    if (uMsg == (msg)) {                                                                                     \
        bHandled = TRUE;                                                                                     \
        lResult = func(uMsg, wParam, lParam, bHandled);                                                      \
        if (bHandled)                                                                                        \
            return TRUE;                                                                                     \
    }
#define MESSAGE_RANGE_HANDLER(msgFirst, msgLast, func)                                                       \
    if (uMsg >= (msgFirst) && uMsg <= (msgLast)) {                                                           \
        bHandled = TRUE;                                                                                     \
        lResult = func(uMsg, wParam, lParam, bHandled);                                                      \
        if (bHandled)                                                                                        \
            return TRUE;                                                                                     \
    }
#define COMMAND_HANDLER(id, code, func)                                                                      \
    if (uMsg == WM_COMMAND && LOWORD(wParam) == (id) && HIWORD(wParam) == (code)) {                          \
        bHandled = TRUE;                                                                                     \
        lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled);            \
        if (bHandled)                                                                                        \
            return TRUE;                                                                                     \
    }
#define COMMAND_ID_HANDLER(id, func)                                                                         \
    if (uMsg == WM_COMMAND && LOWORD(wParam) == (id)) {                                                      \
        bHandled = TRUE;                                                                                     \
        lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled);            \
        if (bHandled)                                                                                        \
            return TRUE;                                                                                     \
    }
#define COMMAND_CODE_HANDLER(code, func)                                                                     \
    if (uMsg == WM_COMMAND && HIWORD(wParam) == (code)) {                                                    \
        bHandled = TRUE;                                                                                     \
        lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled);            \
        if (bHandled)                                                                                        \
            return TRUE;                                                                                     \
    }
#define COMMAND_RANGE_HANDLER(idFirst, idLast, func)                                                         \
    if (uMsg == WM_COMMAND && LOWORD(wParam) >= (idFirst) && LOWORD(wParam) <= (idLast)) {                   \
        bHandled = TRUE;                                                                                     \
        lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled);            \
        if (bHandled)                                                                                        \
            return TRUE;                                                                                     \
    }
#define NOTIFY_HANDLER(id, cd, func)                                                                         \
    if (uMsg == WM_NOTIFY && reinterpret_cast<LPNMHDR>(lParam)->idFrom == static_cast<UINT_PTR>(id) &&       \
        reinterpret_cast<LPNMHDR>(lParam)->code == static_cast<UINT>(cd)) {                                  \
        bHandled = TRUE;                                                                                     \
        lResult = func(static_cast<int>(wParam), reinterpret_cast<LPNMHDR>(lParam), bHandled);               \
        if (bHandled)                                                                                        \
            return TRUE;                                                                                     \
    }
#define NOTIFY_ID_HANDLER(id, func)                                                                          \
    if (uMsg == WM_NOTIFY && reinterpret_cast<LPNMHDR>(lParam)->idFrom == static_cast<UINT_PTR>(id)) {       \
        bHandled = TRUE;                                                                                     \
        lResult = func(static_cast<int>(wParam), reinterpret_cast<LPNMHDR>(lParam), bHandled);               \
        if (bHandled)                                                                                        \
            return TRUE;                                                                                     \
    }
#define NOTIFY_CODE_HANDLER(cd, func)                                                                        \
    if (uMsg == WM_NOTIFY && reinterpret_cast<LPNMHDR>(lParam)->code == static_cast<UINT>(cd)) {             \
        bHandled = TRUE;                                                                                     \
        lResult = func(static_cast<int>(wParam), reinterpret_cast<LPNMHDR>(lParam), bHandled);               \
        if (bHandled)                                                                                        \
            return TRUE;                                                                                     \
    }
// Another class's map (a base's) has the message next; its answer ends the search when it takes it.
#define CHAIN_MSG_MAP(theChainClass)                                                                         \
    if (theChainClass::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult))                            \
        return TRUE;
#define CHAIN_MSG_MAP_MEMBER(theChainMember)                                                                 \
    if ((theChainMember).ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult))                          \
        return TRUE;
#define END_MSG_MAP()                                                                                        \
    break;                                                                                                   \
    default:                                                                                                 \
        break;                                                                                               \
        }                                                                                                    \
        return FALSE;                                                                                        \
    }
