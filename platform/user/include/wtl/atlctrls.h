// WTL's control wrappers, header-only: each is a window handle (its TBase, ATL::CWindow by default)
// with the control's class name and its messages as member functions. Text goes in the ANSI form.
#pragma once
#include "atl/atlwin.h"
#include "um/commctrl.h"

namespace WTL {

// An image list handle with the image list calls; Destroy frees it (the destructor does not, so a
// list can be handed on).
class CImageList {
public:
    HIMAGELIST m_hImageList = nullptr;

    CImageList(HIMAGELIST hImageList = nullptr) : m_hImageList(hImageList) {}
    CImageList& operator=(HIMAGELIST hImageList)
    {
        m_hImageList = hImageList;
        return *this;
    }
    operator HIMAGELIST() const { return m_hImageList; }
    bool IsNull() const { return m_hImageList == nullptr; }
    void Attach(HIMAGELIST hImageList) { m_hImageList = hImageList; }
    HIMAGELIST Detach()
    {
        HIMAGELIST list = m_hImageList;
        m_hImageList = nullptr;
        return list;
    }

    BOOL Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow)
    {
        m_hImageList = ::ImageList_Create(cx, cy, nFlags, nInitial, nGrow);
        return m_hImageList != nullptr;
    }
    // From a bitmap of the module's resources: images cx wide, crMask transparent.
    BOOL Create(ATL::_U_STRINGorID bitmap, int cx, int nGrow, COLORREF crMask)
    {
        m_hImageList = ::ImageList_LoadImageA(ATL::_pAtlModule ? ATL::_pAtlModule->GetResourceInstance() : ::GetModuleHandleA(nullptr), bitmap.m_lpstr, cx, nGrow, crMask,
                                              IMAGE_BITMAP, LR_CREATEDIBSECTION);
        return m_hImageList != nullptr;
    }
    BOOL Destroy()
    {
        if (!m_hImageList)
            return FALSE;
        const BOOL done = ::ImageList_Destroy(m_hImageList);
        m_hImageList = nullptr;
        return done;
    }
    int GetImageCount() const { return ::ImageList_GetImageCount(m_hImageList); }
    BOOL GetIconSize(int& cx, int& cy) const { return ::ImageList_GetIconSize(m_hImageList, &cx, &cy); }
    BOOL GetIconSize(SIZE& size) const
    {
        int cx = 0, cy = 0;
        const BOOL got = ::ImageList_GetIconSize(m_hImageList, &cx, &cy);
        size = SIZE{cx, cy};
        return got;
    }
    int Add(HBITMAP hBitmap, HBITMAP hBitmapMask = nullptr) { return ::ImageList_Add(m_hImageList, hBitmap, hBitmapMask); }
    int Add(HBITMAP hBitmap, COLORREF crMask) { return ::ImageList_AddMasked(m_hImageList, hBitmap, crMask); }
    BOOL Draw(HDC hDC, int nImage, int x, int y, UINT nStyle) const
    {
        return ::ImageList_Draw(m_hImageList, nImage, hDC, x, y, nStyle);
    }
    BOOL Draw(HDC hDC, int nImage, POINT pt, UINT nStyle) const { return Draw(hDC, nImage, pt.x, pt.y, nStyle); }
    BOOL DrawEx(int nImage, HDC hDC, int x, int y, int dx, int dy, COLORREF rgbBk, COLORREF rgbFg, UINT fStyle) const
    {
        return ::ImageList_DrawEx(m_hImageList, nImage, hDC, x, y, dx, dy, rgbBk, rgbFg, fStyle);
    }
    HICON GetIcon(int nIndex, UINT uFlags = ILD_NORMAL) const { return ::ImageList_GetIcon(m_hImageList, nIndex, uFlags); }
};

template <class TBase> class CStaticT : public TBase {
public:
    CStaticT(HWND hWnd = nullptr) : TBase(hWnd) {}
    CStaticT& operator=(HWND hWnd)
    {
        this->m_hWnd = hWnd;
        return *this;
    }
    static LPCSTR GetWndClassName() { return "STATIC"; }
    HANDLE SetImage(UINT type, HANDLE image)
    {
        return reinterpret_cast<HANDLE>(this->SendMessage(STM_SETIMAGE, type, reinterpret_cast<LPARAM>(image)));
    }
    HANDLE GetImage(UINT type) const { return reinterpret_cast<HANDLE>(this->SendMessage(STM_GETIMAGE, type, 0)); }
    HBITMAP SetBitmap(HBITMAP bitmap) { return static_cast<HBITMAP>(SetImage(IMAGE_BITMAP, bitmap)); }
    HBITMAP GetBitmap() const { return static_cast<HBITMAP>(GetImage(IMAGE_BITMAP)); }
};
using CStatic = CStaticT<ATL::CWindow>;

template <class TBase> class CButtonT : public TBase {
public:
    CButtonT(HWND hWnd = nullptr) : TBase(hWnd) {}
    CButtonT& operator=(HWND hWnd)
    {
        this->m_hWnd = hWnd;
        return *this;
    }
    static LPCSTR GetWndClassName() { return "BUTTON"; }
    int GetCheck() const { return static_cast<int>(this->SendMessage(BM_GETCHECK)); }
    void SetCheck(int check) { this->SendMessage(BM_SETCHECK, static_cast<WPARAM>(check)); }
    UINT GetState() const { return static_cast<UINT>(this->SendMessage(BM_GETSTATE)); }
    void SetState(BOOL highlight) { this->SendMessage(BM_SETSTATE, static_cast<WPARAM>(highlight)); }
    void SetButtonStyle(UINT style, BOOL redraw = TRUE) { this->SendMessage(BM_SETSTYLE, style, redraw); }
    void Click() { this->SendMessage(BM_CLICK); }
    HBITMAP SetBitmap(HBITMAP bitmap)
    {
        return reinterpret_cast<HBITMAP>(this->SendMessage(BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
    }
};
using CButton = CButtonT<ATL::CWindow>;

template <class TBase> class CEditT : public TBase {
public:
    CEditT(HWND hWnd = nullptr) : TBase(hWnd) {}
    CEditT& operator=(HWND hWnd)
    {
        this->m_hWnd = hWnd;
        return *this;
    }
    static LPCSTR GetWndClassName() { return "EDIT"; }
    void SetSel(int start, int end, BOOL noScroll = FALSE)
    {
        this->SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end);
        (void)noScroll;
    }
    DWORD GetSel() const { return static_cast<DWORD>(this->SendMessage(EM_GETSEL)); }
    void ReplaceSel(LPCSTR text, BOOL canUndo = FALSE)
    {
        this->SendMessage(EM_REPLACESEL, static_cast<WPARAM>(canUndo), reinterpret_cast<LPARAM>(text));
    }
    void SetLimitText(UINT limit) { this->SendMessage(EM_LIMITTEXT, limit); }
    UINT GetLimitText() const { return static_cast<UINT>(this->SendMessage(EM_GETLIMITTEXT)); }
    BOOL GetModify() const { return static_cast<BOOL>(this->SendMessage(EM_GETMODIFY)); }
    void SetModify(BOOL modified = TRUE) { this->SendMessage(EM_SETMODIFY, static_cast<WPARAM>(modified)); }
    BOOL SetReadOnly(BOOL readOnly = TRUE) { return static_cast<BOOL>(this->SendMessage(EM_SETREADONLY, readOnly)); }
};
using CEdit = CEditT<ATL::CWindow>;

template <class TBase> class CComboBoxT : public TBase {
public:
    CComboBoxT(HWND hWnd = nullptr) : TBase(hWnd) {}
    CComboBoxT& operator=(HWND hWnd)
    {
        this->m_hWnd = hWnd;
        return *this;
    }
    static LPCSTR GetWndClassName() { return "COMBOBOX"; }
    int GetCount() const { return static_cast<int>(this->SendMessage(CB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(this->SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int index) { return static_cast<int>(this->SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index))); }
    int AddString(LPCSTR text) { return static_cast<int>(this->SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text))); }
    int InsertString(int index, LPCSTR text)
    {
        return static_cast<int>(this->SendMessage(CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)));
    }
    int DeleteString(UINT index) { return static_cast<int>(this->SendMessage(CB_DELETESTRING, index)); }
    void ResetContent() { this->SendMessage(CB_RESETCONTENT); }
    int GetLBText(int index, LPSTR text) const
    {
        return static_cast<int>(this->SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)));
    }
    int GetLBTextLen(int index) const { return static_cast<int>(this->SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index))); }
    DWORD_PTR GetItemData(int index) const
    {
        return static_cast<DWORD_PTR>(this->SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(index)));
    }
    int SetItemData(int index, DWORD_PTR data)
    {
        return static_cast<int>(this->SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data)));
    }
    int FindStringExact(int start, LPCSTR text) const
    {
        return static_cast<int>(this->SendMessage(CB_FINDSTRINGEXACT, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(text)));
    }
    int SelectString(int start, LPCSTR text)
    {
        return static_cast<int>(this->SendMessage(CB_SELECTSTRING, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(text)));
    }
};
using CComboBox = CComboBoxT<ATL::CWindow>;

template <class TBase> class CListBoxT : public TBase {
public:
    CListBoxT(HWND hWnd = nullptr) : TBase(hWnd) {}
    CListBoxT& operator=(HWND hWnd)
    {
        this->m_hWnd = hWnd;
        return *this;
    }
    static LPCSTR GetWndClassName() { return "LISTBOX"; }
    int GetCount() const { return static_cast<int>(this->SendMessage(LB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(this->SendMessage(LB_GETCURSEL)); }
    int SetCurSel(int index) { return static_cast<int>(this->SendMessage(LB_SETCURSEL, static_cast<WPARAM>(index))); }
    int AddString(LPCSTR text) { return static_cast<int>(this->SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text))); }
    int InsertString(int index, LPCSTR text)
    {
        return static_cast<int>(this->SendMessage(LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)));
    }
    int DeleteString(UINT index) { return static_cast<int>(this->SendMessage(LB_DELETESTRING, index)); }
    void ResetContent() { this->SendMessage(LB_RESETCONTENT); }
    int GetText(int index, LPSTR text) const
    {
        return static_cast<int>(this->SendMessage(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)));
    }
    int GetTextLen(int index) const { return static_cast<int>(this->SendMessage(LB_GETTEXTLEN, static_cast<WPARAM>(index))); }
    int GetTopIndex() const { return static_cast<int>(this->SendMessage(LB_GETTOPINDEX)); }
    int SetTopIndex(int index) { return static_cast<int>(this->SendMessage(LB_SETTOPINDEX, static_cast<WPARAM>(index))); }
    DWORD_PTR GetItemData(int index) const
    {
        return static_cast<DWORD_PTR>(this->SendMessage(LB_GETITEMDATA, static_cast<WPARAM>(index)));
    }
    int SetItemData(int index, DWORD_PTR data)
    {
        return static_cast<int>(this->SendMessage(LB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data)));
    }
};
using CListBox = CListBoxT<ATL::CWindow>;

template <class TBase> class CTrackBarCtrlT : public TBase {
public:
    CTrackBarCtrlT(HWND hWnd = nullptr) : TBase(hWnd) {}
    CTrackBarCtrlT& operator=(HWND hWnd)
    {
        this->m_hWnd = hWnd;
        return *this;
    }
    static LPCSTR GetWndClassName() { return TRACKBAR_CLASSA; }
    int GetPos() const { return static_cast<int>(this->SendMessage(TBM_GETPOS)); }
    void SetPos(int pos) { this->SendMessage(TBM_SETPOS, TRUE, pos); }
    int GetRangeMin() const { return static_cast<int>(this->SendMessage(TBM_GETRANGEMIN)); }
    int GetRangeMax() const { return static_cast<int>(this->SendMessage(TBM_GETRANGEMAX)); }
    void GetRange(int& minimum, int& maximum) const
    {
        minimum = GetRangeMin();
        maximum = GetRangeMax();
    }
    void SetRangeMin(int minimum, BOOL redraw = FALSE) { this->SendMessage(TBM_SETRANGEMIN, redraw, minimum); }
    void SetRangeMax(int maximum, BOOL redraw = FALSE) { this->SendMessage(TBM_SETRANGEMAX, redraw, maximum); }
    void SetRange(int minimum, int maximum, BOOL redraw = TRUE)
    {
        this->SendMessage(TBM_SETRANGE, redraw, MAKELPARAM(minimum, maximum));
    }
    void SetTicFreq(int frequency) { this->SendMessage(TBM_SETTICFREQ, static_cast<WPARAM>(frequency)); }
    int GetNumTics() const { return static_cast<int>(this->SendMessage(TBM_GETNUMTICS)); }
    int SetLineSize(int size) { return static_cast<int>(this->SendMessage(TBM_SETLINESIZE, 0, size)); }
    int GetLineSize() const { return static_cast<int>(this->SendMessage(TBM_GETLINESIZE)); }
    int SetPageSize(int size) { return static_cast<int>(this->SendMessage(TBM_SETPAGESIZE, 0, size)); }
    int GetPageSize() const { return static_cast<int>(this->SendMessage(TBM_GETPAGESIZE)); }
};
using CTrackBarCtrl = CTrackBarCtrlT<ATL::CWindow>;

template <class TBase> class CUpDownCtrlT : public TBase {
public:
    CUpDownCtrlT(HWND hWnd = nullptr) : TBase(hWnd) {}
    CUpDownCtrlT& operator=(HWND hWnd)
    {
        this->m_hWnd = hWnd;
        return *this;
    }
    static LPCSTR GetWndClassName() { return UPDOWN_CLASSA; }
    HWND SetBuddy(HWND buddy) { return reinterpret_cast<HWND>(this->SendMessage(UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy))); }
    HWND GetBuddy() const { return reinterpret_cast<HWND>(this->SendMessage(UDM_GETBUDDY)); }
    BOOL SetAccel(int count, const UDACCEL* accel)
    {
        return static_cast<BOOL>(this->SendMessage(UDM_SETACCEL, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(accel)));
    }
    UINT GetAccel(int count, UDACCEL* accel) const
    {
        return static_cast<UINT>(this->SendMessage(UDM_GETACCEL, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(accel)));
    }
    int SetBase(int base) { return static_cast<int>(this->SendMessage(UDM_SETBASE, static_cast<WPARAM>(base))); }
    UINT GetBase() const { return static_cast<UINT>(this->SendMessage(UDM_GETBASE)); }
    void SetRange32(int lower, int upper) { this->SendMessage(UDM_SETRANGE32, static_cast<WPARAM>(lower), upper); }
    void GetRange32(int& lower, int& upper) const
    {
        this->SendMessage(UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower), reinterpret_cast<LPARAM>(&upper));
    }
    int SetPos32(int pos) { return static_cast<int>(this->SendMessage(UDM_SETPOS32, 0, pos)); }
    int GetPos32(LPBOOL error = nullptr) const
    {
        return static_cast<int>(this->SendMessage(UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(error)));
    }
};
using CUpDownCtrl = CUpDownCtrlT<ATL::CWindow>;

template <class TBase> class CTabCtrlT : public TBase {
public:
    CTabCtrlT(HWND hWnd = nullptr) : TBase(hWnd) {}
    CTabCtrlT& operator=(HWND hWnd)
    {
        this->m_hWnd = hWnd;
        return *this;
    }
    static LPCSTR GetWndClassName() { return WC_TABCONTROLA; }
    int GetItemCount() const { return static_cast<int>(this->SendMessage(TCM_GETITEMCOUNT)); }
    BOOL GetItem(int index, TCITEMA* item) const
    {
        return static_cast<BOOL>(this->SendMessage(TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(item)));
    }
    BOOL SetItem(int index, const TCITEMA* item)
    {
        return static_cast<BOOL>(this->SendMessage(TCM_SETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(item)));
    }
    int InsertItem(int index, const TCITEMA* item)
    {
        return static_cast<int>(this->SendMessage(TCM_INSERTITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(item)));
    }
    int InsertItem(int index, LPCSTR text)
    {
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<LPSTR>(text);
        return InsertItem(index, &item);
    }
    BOOL DeleteItem(int index) { return static_cast<BOOL>(this->SendMessage(TCM_DELETEITEM, static_cast<WPARAM>(index))); }
    BOOL DeleteAllItems() { return static_cast<BOOL>(this->SendMessage(TCM_DELETEALLITEMS)); }
    int GetCurSel() const { return static_cast<int>(this->SendMessage(TCM_GETCURSEL)); }
    int SetCurSel(int index) { return static_cast<int>(this->SendMessage(TCM_SETCURSEL, static_cast<WPARAM>(index))); }
    void AdjustRect(BOOL larger, LPRECT rect) { this->SendMessage(TCM_ADJUSTRECT, larger, reinterpret_cast<LPARAM>(rect)); }
};
using CTabCtrl = CTabCtrlT<ATL::CWindow>;

template <class TBase> class CTreeViewCtrlT : public TBase {
public:
    CTreeViewCtrlT(HWND hWnd = nullptr) : TBase(hWnd) {}
    CTreeViewCtrlT& operator=(HWND hWnd)
    {
        this->m_hWnd = hWnd;
        return *this;
    }
    static LPCSTR GetWndClassName() { return WC_TREEVIEWA; }
    HTREEITEM InsertItem(const TVINSERTSTRUCTA* insert)
    {
        return reinterpret_cast<HTREEITEM>(this->SendMessage(TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(insert)));
    }
    HTREEITEM InsertItem(LPCSTR text, HTREEITEM parent, HTREEITEM after)
    {
        TVINSERTSTRUCTA insert{};
        insert.hParent = parent;
        insert.hInsertAfter = after;
        insert.item.mask = TVIF_TEXT;
        insert.item.pszText = const_cast<LPSTR>(text);
        return InsertItem(&insert);
    }
    BOOL DeleteItem(HTREEITEM item) { return static_cast<BOOL>(this->SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item))); }
    BOOL DeleteAllItems() { return DeleteItem(TVI_ROOT); }
    BOOL Expand(HTREEITEM item, UINT code = TVE_EXPAND)
    {
        return static_cast<BOOL>(this->SendMessage(TVM_EXPAND, code, reinterpret_cast<LPARAM>(item)));
    }
    HTREEITEM GetNextItem(HTREEITEM item, UINT code) const
    {
        return reinterpret_cast<HTREEITEM>(this->SendMessage(TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
    }
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetChildItem(HTREEITEM item) const { return GetNextItem(item, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXT); }
    HTREEITEM GetParentItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PARENT); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
    BOOL SelectItem(HTREEITEM item) { return static_cast<BOOL>(this->SendMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item))); }
    BOOL GetItem(TVITEMA* item) const { return static_cast<BOOL>(this->SendMessage(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(item))); }
    BOOL SetItem(const TVITEMA* item) { return static_cast<BOOL>(this->SendMessage(TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(item))); }
    UINT GetCount() const { return static_cast<UINT>(this->SendMessage(TVM_GETCOUNT)); }
    COLORREF SetBkColor(COLORREF color) { return static_cast<COLORREF>(this->SendMessage(TVM_SETBKCOLOR, 0, static_cast<LPARAM>(color))); }
    COLORREF GetBkColor() const { return static_cast<COLORREF>(this->SendMessage(TVM_GETBKCOLOR)); }
};
using CTreeViewCtrl = CTreeViewCtrlT<ATL::CWindow>;

} // namespace WTL
