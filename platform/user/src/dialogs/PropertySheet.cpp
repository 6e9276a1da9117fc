// Property sheets. The sheet is a dialog of a template made here: a tab control along the top, the
// page area under it sized for the largest page, and the buttons "OK", "Cancel" and "Apply" along
// the bottom. Pages are made when first shown, from their template, as children of the sheet.
// Selecting a page asks the current one (PSN_KILLACTIVE) before it hides, and tells the new one
// (PSN_SETACTIVE) before it shows. OK and Apply ask the current page, then send PSN_APPLY to every
// page made; a page answering PSNRET_INVALID* is selected and the sheet stays. Cancel sends
// PSN_RESET to every page made. "Apply" is enabled while a page has reported PSM_CHANGED and not
// PSM_UNCHANGED, and disabled after a successful apply. Removing the current page selects the next
// (the previous when it was last) first; a page may remove itself from its own handlers, even from
// its WM_INITDIALOG.
#include "dialogs/DialogTemplate.h"
#include "text/AnsiText.h"
#include "um/prsht.h"
#include "um/windows.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// What a page handle names: the caller's description, and the page's life in its sheet.
struct _PSP {
    bool wide = false;
    DWORD flags = 0;
    HINSTANCE instance = nullptr;
    const void* indirect = nullptr;
    std::u16string templateName;
    WORD templateId = 0;
    std::u16string title;
    DLGPROC proc = nullptr;
    std::vector<unsigned char> record; // the caller's record, as the page's WM_INITDIALOG gets it
    HWND hwnd = nullptr;
    bool creating = false;
    bool removed = false;
    bool changed = false;
};

namespace user {
namespace {

constexpr int kMargin = 7;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kTabRow = 24; // the tab control's row above the page area, with its frame
constexpr int kBaseX = 6;   // the dialog manager's base units
constexpr int kBaseY = 13;

struct Sheet {
    HWND hwnd = nullptr;
    HWND tab = nullptr;
    HWND apply = nullptr;
    std::vector<std::shared_ptr<_PSP>> pages;
    int current = -1;
    bool modeless = false;
    bool noApply = false;
    bool applied = false;
    HINSTANCE instance = nullptr;
    std::u16string caption;
    UINT startPage = 0;
    RECT area{};
};

std::mutex& SheetsLock()
{
    static std::mutex lock;
    return lock;
}
std::map<HWND, std::shared_ptr<Sheet>>& Sheets()
{
    static std::map<HWND, std::shared_ptr<Sheet>> sheets;
    return sheets;
}
std::shared_ptr<Sheet> SheetOf(HWND hwnd)
{
    std::lock_guard<std::mutex> hold(SheetsLock());
    auto found = Sheets().find(hwnd);
    return found == Sheets().end() ? nullptr : found->second;
}

// The page's template: its own bytes, or its dialog resource.
const void* TemplateOf(const _PSP& page)
{
    if (page.flags & PSP_DLGINDIRECT)
        return page.indirect;
    LPCWSTR name = page.templateName.empty() ? reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(page.templateId))
                                             : reinterpret_cast<LPCWSTR>(page.templateName.c_str());
    HRSRC found = FindResourceW(page.instance, name, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(5)));
    if (!found)
        return nullptr;
    return LockResource(LoadResource(page.instance, found));
}

// The page's size in pixels, from its template.
SIZE PageSize(const _PSP& page)
{
    const void* data = TemplateOf(page);
    auto read = data ? ReadDialogTemplate(data, SIZE_MAX) : std::nullopt;
    if (!read)
        return SIZE{0, 0};
    return SIZE{read->cx * kBaseX / 4, read->cy * kBaseY / 8};
}

std::u16string TitleOf(const _PSP& page)
{
    if (page.flags & PSP_USETITLE)
        return page.title;
    const void* data = TemplateOf(page);
    auto read = data ? ReadDialogTemplate(data, SIZE_MAX) : std::nullopt;
    return read ? read->title : std::u16string();
}

// A page's answer to a notification: the DWLP_MSGRESULT its procedure left.
LRESULT NotifyPage(const Sheet& sheet, const _PSP& page, UINT code)
{
    if (!page.hwnd)
        return 0;
    PSHNOTIFY notify{};
    notify.hdr.hwndFrom = sheet.hwnd;
    notify.hdr.idFrom = 0;
    notify.hdr.code = code;
    return SendMessageW(page.hwnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notify));
}

void UpdateApply(const Sheet& sheet)
{
    if (!sheet.apply)
        return;
    const bool any = std::any_of(sheet.pages.begin(), sheet.pages.end(), [](const auto& p) { return p->changed; });
    EnableWindow(sheet.apply, any);
}

// Makes the page's window; false when it could not be made (or removed itself meanwhile).
bool MakePage(Sheet& sheet, const std::shared_ptr<_PSP>& page)
{
    if (page->hwnd)
        return true;
    const void* data = TemplateOf(*page);
    if (!data)
        return false;
    page->creating = true;
    const auto param = reinterpret_cast<LPARAM>(page->record.data());
    HWND made = page->wide
                    ? CreateDialogIndirectParamW(page->instance, static_cast<LPCDLGTEMPLATEW>(data), sheet.hwnd, page->proc, param)
                    : CreateDialogIndirectParamA(page->instance, static_cast<LPCDLGTEMPLATEA>(data), sheet.hwnd, page->proc, param);
    page->creating = false;
    if (page->removed) {
        if (made)
            DestroyWindow(made);
        return false;
    }
    if (!made)
        return false;
    page->hwnd = made;
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(made, GWL_STYLE));
    SetWindowLongPtrW(made, GWL_STYLE, static_cast<LONG_PTR>((style & ~(WS_POPUP | WS_CAPTION | WS_THICKFRAME)) | WS_CHILD));
    SetWindowPos(made, nullptr, sheet.area.left, sheet.area.top, sheet.area.right - sheet.area.left,
                 sheet.area.bottom - sheet.area.top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    return true;
}

int IndexOf(const Sheet& sheet, const _PSP* page)
{
    for (size_t i = 0; i < sheet.pages.size(); ++i)
        if (sheet.pages[i].get() == page)
            return static_cast<int>(i);
    return -1;
}

// Shows the page at `index`; the page that was shown hides. The sheet's pages may change while
// the new page is made.
bool Show(Sheet& sheet, int index)
{
    if (index < 0 || index >= static_cast<int>(sheet.pages.size()))
        return false;
    auto page = sheet.pages[static_cast<size_t>(index)];
    if (sheet.current >= 0 && sheet.pages[static_cast<size_t>(sheet.current)] == page)
        return true;
    if (!MakePage(sheet, page)) {
        // Removed while it was made: show what now stands at its place.
        const int at = IndexOf(sheet, page.get());
        if (at < 0 && !sheet.pages.empty() && sheet.current < 0)
            return Show(sheet, std::min(index, static_cast<int>(sheet.pages.size()) - 1));
        return false;
    }
    const int at = IndexOf(sheet, page.get());
    if (at < 0)
        return false;
    HWND previous = sheet.current >= 0 ? sheet.pages[static_cast<size_t>(sheet.current)]->hwnd : nullptr;
    sheet.current = at;
    SendMessageW(sheet.tab, TCM_SETCURSEL, static_cast<WPARAM>(at), 0);
    NotifyPage(sheet, *page, PSN_SETACTIVE);
    if (previous && previous != page->hwnd)
        ShowWindow(previous, SW_HIDE);
    // The shown page lies over the tab control's display area: on top of its siblings, so that
    // the pointer reaches its controls and not the tab control beneath.
    if (page->hwnd) {
        SetWindowPos(page->hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        ShowWindow(page->hwnd, SW_SHOW);
    }
    return true;
}

// Asks the current page whether it may be left; true when it may.
bool LeaveCurrent(Sheet& sheet)
{
    if (sheet.current < 0)
        return true;
    return NotifyPage(sheet, *sheet.pages[static_cast<size_t>(sheet.current)], PSN_KILLACTIVE) == FALSE;
}

// PSN_APPLY to every page made; true when all accepted.
bool ApplyAll(Sheet& sheet)
{
    if (!LeaveCurrent(sheet))
        return false;
    auto pages = sheet.pages; // a page may change the list from its handler
    for (const auto& page : pages) {
        if (!page->hwnd || page->removed)
            continue;
        const LRESULT answer = NotifyPage(sheet, *page, PSN_APPLY);
        if (answer == PSNRET_INVALID || answer == PSNRET_INVALID_NOCHANGEPAGE) {
            Show(sheet, IndexOf(sheet, page.get()));
            return false;
        }
    }
    for (const auto& page : sheet.pages)
        page->changed = false;
    sheet.applied = true;
    UpdateApply(sheet);
    return true;
}

void DestroyPages(Sheet& sheet)
{
    for (const auto& page : sheet.pages)
        if (page->hwnd) {
            HWND hwnd = page->hwnd;
            page->hwnd = nullptr;
            DestroyWindow(hwnd);
        }
    sheet.current = -1;
}

void Close(Sheet& sheet, INT_PTR result)
{
    if (sheet.modeless) {
        DestroyPages(sheet); // PSM_GETCURRENTPAGEHWND now answers NULL: the owner destroys the sheet
        return;
    }
    EndDialog(sheet.hwnd, result);
}

void Remove(Sheet& sheet, int index)
{
    if (index < 0 || index >= static_cast<int>(sheet.pages.size()))
        return;
    auto page = sheet.pages[static_cast<size_t>(index)];
    if (sheet.current == index) {
        // The next page, or the previous one when this was the last, shows first.
        const int other = index + 1 < static_cast<int>(sheet.pages.size()) ? index + 1 : index - 1;
        if (other >= 0) {
            Show(sheet, other);
        } else {
            sheet.current = -1;
        }
    }
    const int at = IndexOf(sheet, page.get()); // showing may have changed the list
    if (at < 0)
        return;
    page->removed = true;
    sheet.pages.erase(sheet.pages.begin() + at);
    if (sheet.current > at)
        --sheet.current;
    else if (sheet.current == at)
        sheet.current = -1;
    SendMessageW(sheet.tab, TCM_DELETEITEM, static_cast<WPARAM>(at), 0);
    if (sheet.current >= 0)
        SendMessageW(sheet.tab, TCM_SETCURSEL, static_cast<WPARAM>(sheet.current), 0);
    if (page->hwnd && !page->creating) {
        HWND hwnd = page->hwnd;
        page->hwnd = nullptr;
        DestroyWindow(hwnd);
    }
    UpdateApply(sheet);
}

void AddTab(Sheet& sheet, const _PSP& page, int index)
{
    std::u16string title = TitleOf(page);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = title.data();
    SendMessageW(sheet.tab, TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

// Places the children for a page area of `size`, and sizes the sheet around them.
void Layout(Sheet& sheet, SIZE size)
{
    const int width = std::max<int>(size.cx + 2 * kMargin + 8, 3 * kButtonWidth + 4 * kMargin);
    const int tabHeight = kTabRow + size.cy + 8;
    MoveWindow(sheet.tab, kMargin, kMargin, width - 2 * kMargin, tabHeight, FALSE);
    RECT area{0, 0, width - 2 * kMargin, tabHeight};
    SendMessageW(sheet.tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    area.left += kMargin;
    area.right += kMargin;
    area.top += kMargin;
    area.bottom += kMargin;
    sheet.area = area;
    const int buttonsTop = kMargin + tabHeight + kMargin;
    int x = width - kMargin - kButtonWidth;
    for (int id : {ID_APPLY_NOW, IDCANCEL, IDOK}) {
        if (HWND button = GetDlgItem(sheet.hwnd, id)) {
            MoveWindow(button, x, buttonsTop, kButtonWidth, kButtonHeight, FALSE);
            x -= kButtonWidth + kMargin;
        }
    }
    // The frame keeps its width around the client area that holds all this.
    RECT outer{};
    RECT inner{};
    GetWindowRect(sheet.hwnd, &outer);
    GetClientRect(sheet.hwnd, &inner);
    const int frameX = (outer.right - outer.left) - inner.right;
    const int frameY = (outer.bottom - outer.top) - inner.bottom;
    SetWindowPos(sheet.hwnd, nullptr, 0, 0, width + frameX, buttonsTop + kButtonHeight + kMargin + frameY,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND Button(HWND sheet, const char16_t* text, int id, DWORD style)
{
    return CreateWindowExW(0, u"Button", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, 0, kButtonWidth,
                           kButtonHeight, sheet, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

void Initialize(HWND hwnd, const std::shared_ptr<Sheet>& sheet)
{
    sheet->hwnd = hwnd;
    {
        std::lock_guard<std::mutex> hold(SheetsLock());
        Sheets()[hwnd] = sheet;
    }
    SetWindowTextW(hwnd, sheet->caption.c_str());
    sheet->tab = CreateWindowExW(0, WC_TABCONTROLW, u"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, 0, 0, 10,
                                 10, hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDD_PROPSHEET_TAB)), nullptr,
                                 nullptr);
    Button(hwnd, u"OK", IDOK, BS_DEFPUSHBUTTON);
    Button(hwnd, u"Cancel", IDCANCEL, BS_PUSHBUTTON);
    if (!sheet->noApply) {
        sheet->apply = Button(hwnd, u"Apply", ID_APPLY_NOW, BS_PUSHBUTTON);
        EnableWindow(sheet->apply, FALSE);
    }
    // The frame's controls take the frame's font.
    const WPARAM font = static_cast<WPARAM>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageW(child, WM_SETFONT, font, FALSE);
    SIZE largest{0, 0};
    for (size_t i = 0; i < sheet->pages.size(); ++i) {
        AddTab(*sheet, *sheet->pages[i], static_cast<int>(i));
        const SIZE size = PageSize(*sheet->pages[i]);
        largest.cx = std::max(largest.cx, size.cx);
        largest.cy = std::max(largest.cy, size.cy);
    }
    Layout(*sheet, largest);
    const int start = sheet->startPage < sheet->pages.size() ? static_cast<int>(sheet->startPage) : 0;
    Show(*sheet, start);
}

INT_PTR Answer(HWND hwnd, LRESULT value)
{
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, value);
    return TRUE;
}

INT_PTR WINAPI SheetProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        Initialize(hwnd, *reinterpret_cast<std::shared_ptr<Sheet>*>(lParam));
        return TRUE;
    }
    auto sheet = SheetOf(hwnd);
    if (!sheet)
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (ApplyAll(*sheet))
                Close(*sheet, 1);
            return TRUE;
        case IDCANCEL: {
            auto pages = sheet->pages;
            for (const auto& page : pages)
                if (page->hwnd && !page->removed)
                    NotifyPage(*sheet, *page, PSN_RESET);
            Close(*sheet, sheet->applied ? 1 : 0);
            return TRUE;
        }
        case ID_APPLY_NOW:
            if (HIWORD(wParam) == BN_CLICKED)
                ApplyAll(*sheet);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (!header || header->hwndFrom != sheet->tab)
            return FALSE;
        if (header->code == TCN_SELCHANGING)
            return Answer(hwnd, LeaveCurrent(*sheet) ? FALSE : TRUE);
        if (header->code == TCN_SELCHANGE)
            Show(*sheet, static_cast<int>(SendMessageW(sheet->tab, TCM_GETCURSEL, 0, 0)));
        return Answer(hwnd, 0);
    }
    case PSM_SETCURSEL: {
        int index = static_cast<int>(wParam);
        if (lParam)
            index = IndexOf(*sheet, reinterpret_cast<const _PSP*>(lParam));
        if (index < 0 || index >= static_cast<int>(sheet->pages.size()) || !LeaveCurrent(*sheet))
            return Answer(hwnd, FALSE);
        return Answer(hwnd, Show(*sheet, index));
    }
    case PSM_ADDPAGE: {
        auto* raw = reinterpret_cast<_PSP*>(lParam);
        if (!raw || IndexOf(*sheet, raw) >= 0)
            return Answer(hwnd, FALSE);
        sheet->pages.emplace_back(raw);
        AddTab(*sheet, *raw, static_cast<int>(sheet->pages.size()) - 1);
        if (sheet->current < 0)
            Show(*sheet, static_cast<int>(sheet->pages.size()) - 1);
        return Answer(hwnd, TRUE);
    }
    case PSM_REMOVEPAGE: {
        int index = static_cast<int>(wParam);
        if (lParam)
            index = IndexOf(*sheet, reinterpret_cast<const _PSP*>(lParam));
        Remove(*sheet, index);
        return Answer(hwnd, 0);
    }
    case PSM_CHANGED:
    case PSM_UNCHANGED:
        for (const auto& page : sheet->pages)
            if (page->hwnd && page->hwnd == reinterpret_cast<HWND>(wParam))
                page->changed = message == PSM_CHANGED;
        UpdateApply(*sheet);
        return Answer(hwnd, 0);
    case PSM_APPLY:
        return Answer(hwnd, ApplyAll(*sheet));
    case PSM_PRESSBUTTON: {
        const int id = wParam == PSBTN_OK ? IDOK : wParam == PSBTN_CANCEL ? IDCANCEL : wParam == PSBTN_APPLYNOW ? ID_APPLY_NOW : 0;
        if (HWND button = id ? GetDlgItem(hwnd, id) : nullptr)
            if (IsWindowEnabled(button))
                PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        return Answer(hwnd, 0);
    }
    case PSM_GETTABCONTROL:
        return Answer(hwnd, reinterpret_cast<LRESULT>(sheet->tab));
    case PSM_GETCURRENTPAGEHWND:
        return Answer(hwnd, sheet->current >= 0 ? reinterpret_cast<LRESULT>(sheet->pages[static_cast<size_t>(sheet->current)]->hwnd) : 0);
    case WM_NCDESTROY: {
        std::lock_guard<std::mutex> hold(SheetsLock());
        Sheets().erase(hwnd);
        return FALSE;
    }
    default:
        return FALSE;
    }
}

// The sheet's own template: a captioned popup dialog with no controls, sized when it starts.
std::vector<uint32_t> SheetTemplate(bool visible)
{
    std::vector<unsigned char> bytes;
    auto word = [&](WORD v) { bytes.insert(bytes.end(), {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)}); };
    auto dword = [&](DWORD v) {
        word(static_cast<WORD>(v));
        word(static_cast<WORD>(v >> 16));
    };
    word(1);
    word(0xFFFF);
    dword(0);
    dword(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
    dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | (visible ? WS_VISIBLE : 0));
    for (int i = 0; i < 5; ++i)
        word(0); // no items, at 0,0, no size yet
    word(0);     // menu
    word(0);     // class
    word(0);     // title
    word(8);     // the dialogs' font: 8 points, regular
    word(FW_NORMAL);
    bytes.push_back(0); // not italic
    bytes.push_back(DEFAULT_CHARSET);
    for (char16_t c : std::u16string_view(u"MS Shell Dlg"))
        word(c);
    word(0);
    std::vector<uint32_t> aligned(bytes.size() / 4 + 1, 0);
    std::memcpy(aligned.data(), bytes.data(), bytes.size());
    return aligned;
}

template <typename Page>
_PSP* MakeHandle(const Page* source, bool wide)
{
    if (!source || source->dwSize < offsetof(Page, pfnCallback) || source->dwSize > 4096) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* page = new _PSP;
    page->wide = wide;
    page->flags = source->dwFlags;
    page->instance = source->hInstance;
    page->proc = source->pfnDlgProc;
    auto text = [&](auto* value) -> std::u16string {
        if constexpr (std::is_same_v<std::decay_t<decltype(*value)>, char16_t>)
            return value ? std::u16string(value) : std::u16string();
        else
            return value ? WideFromAnsi(value) : std::u16string();
    };
    if (source->dwFlags & PSP_DLGINDIRECT) {
        page->indirect = source->pResource;
    } else if (reinterpret_cast<ULONG_PTR>(source->pszTemplate) >> 16 == 0) {
        page->templateId = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(source->pszTemplate));
    } else {
        page->templateName = text(source->pszTemplate);
    }
    if ((source->dwFlags & PSP_USETITLE) && source->pszTitle) {
        if (reinterpret_cast<ULONG_PTR>(source->pszTitle) >> 16 == 0) {
            char16_t buffer[256] = {};
            LoadStringW(source->hInstance, static_cast<UINT>(reinterpret_cast<ULONG_PTR>(source->pszTitle)),
                        reinterpret_cast<LPWSTR>(buffer), 256);
            page->title = buffer;
        } else {
            page->title = text(source->pszTitle);
        }
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(source);
    page->record.assign(bytes, bytes + source->dwSize);
    return page;
}

template <typename Header, typename Page>
INT_PTR Run(const Header* header, bool wide)
{
    if (!header || header->dwSize < offsetof(Header, pfnCallback)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    auto sheet = std::make_shared<Sheet>();
    sheet->modeless = (header->dwFlags & PSH_MODELESS) != 0;
    sheet->noApply = (header->dwFlags & PSH_NOAPPLYNOW) != 0;
    sheet->instance = header->hInstance;
    sheet->startPage = (header->dwFlags & PSH_USEPSTARTPAGE) ? 0 : header->nStartPage;
    if (header->pszCaption && reinterpret_cast<ULONG_PTR>(header->pszCaption) >> 16) {
        if constexpr (std::is_same_v<Header, PROPSHEETHEADERW>)
            sheet->caption = header->pszCaption;
        else
            sheet->caption = WideFromAnsi(header->pszCaption);
    }
    for (UINT i = 0; i < header->nPages; ++i) {
        _PSP* page = nullptr;
        if (header->dwFlags & PSH_PROPSHEETPAGE) {
            const auto* base = reinterpret_cast<const unsigned char*>(header->ppsp);
            size_t offset = 0;
            for (UINT j = 0; j < i; ++j)
                offset += reinterpret_cast<const Page*>(base + offset)->dwSize;
            page = MakeHandle(reinterpret_cast<const Page*>(base + offset), wide);
        } else {
            page = header->phpage ? header->phpage[i] : nullptr;
        }
        if (!page) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return -1;
        }
        sheet->pages.emplace_back(page);
    }
    const auto sheetTemplate = SheetTemplate(sheet->modeless);
    const auto* bytes = reinterpret_cast<LPCDLGTEMPLATEW>(sheetTemplate.data());
    const auto param = reinterpret_cast<LPARAM>(&sheet);
    if (sheet->modeless) {
        HWND hwnd = CreateDialogIndirectParamW(header->hInstance, bytes, header->hwndParent, SheetProcedure, param);
        return reinterpret_cast<INT_PTR>(hwnd);
    }
    return DialogBoxIndirectParamW(header->hInstance, bytes, header->hwndParent, SheetProcedure, param);
}

} // namespace
} // namespace user

extern "C" HPROPSHEETPAGE WINAPI CreatePropertySheetPageA(LPCPROPSHEETPAGEA page)
{
    return user::MakeHandle(page, false);
}

extern "C" HPROPSHEETPAGE WINAPI CreatePropertySheetPageW(LPCPROPSHEETPAGEW page)
{
    return user::MakeHandle(page, true);
}

extern "C" BOOL WINAPI DestroyPropertySheetPage(HPROPSHEETPAGE page)
{
    if (!page)
        return FALSE;
    if (page->hwnd)
        DestroyWindow(page->hwnd);
    delete page;
    return TRUE;
}

extern "C" INT_PTR WINAPI PropertySheetA(LPCPROPSHEETHEADERA header)
{
    return user::Run<PROPSHEETHEADERA, PROPSHEETPAGEA>(header, false);
}

extern "C" INT_PTR WINAPI PropertySheetW(LPCPROPSHEETHEADERW header)
{
    return user::Run<PROPSHEETHEADERW, PROPSHEETPAGEW>(header, true);
}
