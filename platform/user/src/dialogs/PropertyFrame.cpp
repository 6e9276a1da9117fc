// The OLE property frame over the property sheet: each page object lives in a container page, an
// empty child dialog of the largest page's size, whose procedure drives the object.
#include "standin/frames.h"
#include "text/AnsiText.h"
#include "um/olectl.h"
#include "um/prsht.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <memory>
#include <vector>

namespace {

constexpr LCID kFrameLocale = 1033;

struct FramePage;

// The frame's site for one page: status changes go to the sheet as PSM_CHANGED / PSM_UNCHANGED for
// the page's container.
class PageSite final : public IPropertyPageSite {
public:
    explicit PageSite(FramePage& page) : page_(page) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyPageSite)) {
            *ppv = static_cast<IPropertyPageSite*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; } // lives with its page
    HRESULT STDMETHODCALLTYPE OnStatusChange(DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* pLocaleID) override
    {
        if (!pLocaleID)
            return E_POINTER;
        *pLocaleID = kFrameLocale;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPageContainer(IUnknown** ppUnk) override
    {
        if (ppUnk)
            *ppUnk = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return S_FALSE; }

private:
    FramePage& page_;
    std::atomic<ULONG> refs_{1};
};

struct FramePage {
    FramePage() : site(*this) {}
    IPropertyPage* object = nullptr;
    PageSite site;
    std::u16string title;
    SIZE size{0, 0};
    HWND container = nullptr;
    bool activated = false;
    bool deactivated = false;
};

HRESULT PageSite::OnStatusChange(DWORD dwFlags)
{
    if (!page_.container)
        return S_OK;
    HWND sheet = GetParent(page_.container);
    if (dwFlags & PROPPAGESTATUS_DIRTY)
        SendMessageW(sheet, PSM_CHANGED, reinterpret_cast<WPARAM>(page_.container), 0);
    else if (dwFlags & PROPPAGESTATUS_CLEAN)
        SendMessageW(sheet, PSM_UNCHANGED, reinterpret_cast<WPARAM>(page_.container), 0);
    return S_OK;
}

INT_PTR WINAPI ContainerProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        const auto* record = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
        auto* page = reinterpret_cast<FramePage*>(record->lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, record->lParam);
        page->container = hwnd;
        RECT area{};
        GetClientRect(hwnd, &area);
        page->activated = SUCCEEDED(page->object->Activate(hwnd, &area, TRUE));
        return TRUE;
    }
    auto* page = reinterpret_cast<FramePage*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!page)
        return FALSE;
    if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        LRESULT answer = 0;
        switch (header->code) {
        case PSN_SETACTIVE:
            if (page->activated)
                page->object->Show(SW_SHOW);
            break;
        case PSN_KILLACTIVE:
            // Also sent before Apply and OK, which leave the page where it is: the page is hidden
            // only when its container is (WM_SHOWWINDOW below), as the sheet shows another page.
            break;
        case PSN_APPLY:
            if (page->activated && page->object->IsPageDirty() == S_OK && FAILED(page->object->Apply()))
                answer = PSNRET_INVALID_NOCHANGEPAGE;
            break;
        default:
            return FALSE;
        }
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, answer);
        return TRUE;
    }
    if (message == WM_SHOWWINDOW && !wParam && page->activated) {
        page->object->Show(SW_HIDE);
        return FALSE;
    }
    if (message == WM_DESTROY) {
        // The page's window goes with its container: the page lets go of it first.
        if (!page->deactivated)
            page->object->Deactivate();
        page->deactivated = true;
        page->activated = false;
        page->container = nullptr;
    }
    return FALSE;
}

// An empty child dialog template of `cx` by `cy` dialog units.
std::vector<uint32_t> ContainerTemplate(short cx, short cy)
{
    std::vector<uint32_t> out(8, 0);
    unsigned char bytes[28] = {};
    auto put = [&](size_t at, WORD v) {
        bytes[at] = static_cast<unsigned char>(v);
        bytes[at + 1] = static_cast<unsigned char>(v >> 8);
    };
    put(0, 1);
    put(2, 0xFFFF);
    const DWORD style = WS_CHILD | DS_CONTROL;
    put(12, static_cast<WORD>(style));
    put(14, static_cast<WORD>(style >> 16));
    put(22, static_cast<WORD>(cx));
    put(24, static_cast<WORD>(cy));
    std::memcpy(out.data(), bytes, sizeof bytes);
    return out;
}

void Release(std::vector<std::unique_ptr<FramePage>>& pages)
{
    for (auto& page : pages) {
        if (!page->object)
            continue;
        if (!page->deactivated)
            page->object->Deactivate(); // every page hears it once, shown or not
        page->object->SetObjects(0, nullptr);
        page->object->SetPageSite(nullptr);
        page->object->Release();
        page->object = nullptr;
    }
}

// The pages of a frame, kept until its sheet is gone.
struct Frame {
    std::vector<std::unique_ptr<FramePage>> pages;
    std::vector<uint32_t> containerTemplate;
    WNDPROC sheetProcedure = nullptr;
};

std::mutex& FramesLock()
{
    static std::mutex lock;
    return lock;
}
std::map<HWND, std::unique_ptr<Frame>>& ModelessFrames()
{
    static std::map<HWND, std::unique_ptr<Frame>> frames;
    return frames;
}

// A modeless frame's sheet: its pages are let go of as the sheet goes.
LRESULT WINAPI ModelessSheetProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Frame* frame = nullptr;
    {
        std::lock_guard<std::mutex> hold(FramesLock());
        auto found = ModelessFrames().find(hwnd);
        if (found == ModelessFrames().end())
            return DefDlgProcW(hwnd, message, wParam, lParam);
        frame = found->second.get();
    }
    const LRESULT result = CallWindowProcW(frame->sheetProcedure, hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        std::unique_ptr<Frame> ended;
        {
            std::lock_guard<std::mutex> hold(FramesLock());
            auto found = ModelessFrames().find(hwnd);
            ended = std::move(found->second);
            ModelessFrames().erase(found);
        }
        Release(ended->pages);
    }
    return result;
}

// The frame's sheet: modal (returns when it closes, 0 for its window) or modeless (its window).
HRESULT RunFrame(const OCPFIPARAMS* params, bool modeless, HWND* sheetWindow)
{
    if (!params || params->cbStructSize != sizeof(OCPFIPARAMS) || (params->cPages && !params->lpPages) ||
        (params->cObjects && !params->lplpUnk))
        return E_INVALIDARG;
    auto frame = std::make_unique<Frame>();
    auto& pages = frame->pages;
    SIZE largest{0, 0};
    for (ULONG i = 0; i < params->cPages; ++i) {
        auto page = std::make_unique<FramePage>();
        HRESULT made = CoCreateInstance(params->lpPages[i], nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                        reinterpret_cast<void**>(&page->object));
        if (FAILED(made)) {
            Release(pages);
            return made;
        }
        page->object->SetPageSite(&page->site);
        page->object->SetObjects(params->cObjects, params->lplpUnk);
        PROPPAGEINFO info{};
        info.cb = sizeof info;
        if (SUCCEEDED(page->object->GetPageInfo(&info))) {
            if (info.pszTitle)
                page->title = reinterpret_cast<const char16_t*>(info.pszTitle);
            page->size = info.size;
            CoTaskMemFree(info.pszTitle);
            CoTaskMemFree(info.pszDocString);
            CoTaskMemFree(info.pszHelpFile);
        }
        largest.cx = std::max(largest.cx, page->size.cx);
        largest.cy = std::max(largest.cy, page->size.cy);
        pages.push_back(std::move(page));
    }
    // Every container takes the largest page's size, in dialog units rounded up.
    const LONG units = GetDialogBaseUnits();
    frame->containerTemplate =
        ContainerTemplate(static_cast<short>((largest.cx * 4 + LOWORD(units) - 1) / LOWORD(units)),
                          static_cast<short>((largest.cy * 8 + HIWORD(units) - 1) / HIWORD(units)));
    std::vector<HPROPSHEETPAGE> handles;
    for (auto& page : pages) {
        PROPSHEETPAGEW record{};
        record.dwSize = sizeof record;
        record.dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
        record.pResource = reinterpret_cast<LPCDLGTEMPLATEW>(frame->containerTemplate.data());
        record.pszTitle = reinterpret_cast<LPCWSTR>(page->title.c_str());
        record.pfnDlgProc = ContainerProcedure;
        record.lParam = reinterpret_cast<LPARAM>(page.get());
        handles.push_back(CreatePropertySheetPageW(&record));
    }
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof header;
    header.dwFlags = modeless ? PSH_MODELESS : PSH_DEFAULT;
    header.hwndParent = params->hWndOwner;
    header.pszCaption = params->lpszCaption;
    header.nPages = static_cast<UINT>(handles.size());
    header.phpage = handles.data();
    const INT_PTR shown = PropertySheetW(&header);
    if (modeless) {
        HWND sheet = reinterpret_cast<HWND>(shown);
        if (!sheet) {
            Release(pages);
            return E_FAIL;
        }
        frame->sheetProcedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(sheet, GWLP_WNDPROC));
        {
            std::lock_guard<std::mutex> hold(FramesLock());
            ModelessFrames()[sheet] = std::move(frame);
        }
        SetWindowLongPtrW(sheet, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ModelessSheetProcedure));
        *sheetWindow = sheet;
        return S_OK;
    }
    Release(pages);
    return shown < 0 ? E_FAIL : S_OK;
}

} // namespace

extern "C" HRESULT STDAPICALLTYPE OleCreatePropertyFrameIndirect(LPOCPFIPARAMS params)
{
    HWND unused = nullptr;
    return RunFrame(params, false, &unused);
}

namespace standin {

HRESULT OpenPropertyFrame(const OCPFIPARAMS& params, HWND* sheet)
{
    if (!sheet)
        return E_POINTER;
    *sheet = nullptr;
    return RunFrame(&params, true, sheet);
}

} // namespace standin


extern "C" HRESULT STDAPICALLTYPE OleCreatePropertyFrame(HWND hwndOwner, UINT x, UINT y, LPCOLESTR lpszCaption,
                                                         ULONG cObjects, LPUNKNOWN* ppUnk, ULONG cPages,
                                                         LPCLSID pPageClsID, LCID lcid, DWORD, LPVOID)
{
    OCPFIPARAMS params{};
    params.cbStructSize = sizeof params;
    params.hWndOwner = hwndOwner;
    params.x = static_cast<int>(x);
    params.y = static_cast<int>(y);
    params.lpszCaption = lpszCaption;
    params.cObjects = cObjects;
    params.lplpUnk = ppUnk;
    params.cPages = cPages;
    params.lpPages = pPageClsID;
    params.lcid = lcid;
    return OleCreatePropertyFrameIndirect(&params);
}
