// The page test bench (PageBench.h).
#include "PageBench.h"

#include "SheetHost.h"
#include "standin/actions.h"
#include "standin/frames.h"
#include "standin/windowing.h"
#include "um/cfgmgr32.h"
#include "um/commctrl.h"
#include "um/ks.h"
#include "um/olectl.h"
#include "um/prsht.h"
#include "um/winreg.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <strings.h>

namespace pagebench {

namespace fs = std::filesystem;

namespace {

constexpr char16_t kSystemFolder[] = u"C:\\Windows\\System32\\";

fs::path MakeFolder()
{
    std::string pattern = (fs::temp_directory_path() / "page-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("no temporary folder for the bench's machine");
    // The machine makes its folder from the templates; it must not exist yet.
    fs::remove(pattern);
    return pattern;
}

// The user's side as a new session finds it: no scripted answers left, no key or button held.
void ResetDialogs()
{
    standin::ResetInput();
    standin::ResetMessageBoxes();
    standin::ResetFileDialogs();
    standin::ResetFontDialogs();
}

PageBench::Reply Request(HANDLE filter, const GUID& set, ULONG id, ULONG flags, void* record, ULONG length)
{
    PageBench::Reply reply;
    if (!record || length < sizeof(KSPROPERTY)) {
        reply.result = E_INVALIDARG;
        return reply;
    }
    KSPROPERTY header{};
    header.Set = set;
    header.Id = id;
    header.Flags = flags;
    std::memcpy(record, &header, sizeof header);
    reply.result = KsSynchronousDeviceControl(filter, IOCTL_KS_PROPERTY, record, length, record, length, &reply.returned);
    return reply;
}

// Whether `folder` is `root` or lies below it, both made absolute and free of links and dots.
bool Within(const fs::path& folder, const fs::path& root)
{
    std::error_code ignored;
    const fs::path base = fs::weakly_canonical(root, ignored);
    const fs::path target = fs::weakly_canonical(fs::absolute(folder, ignored), ignored);
    auto b = base.begin();
    auto t = target.begin();
    for (; b != base.end() && !b->empty(); ++b, ++t)
        if (t == target.end() || *b != *t)
            return false;
    return true;
}

// The sources' folder, but for the build's own folder (which may lie inside it).
bool InsideSourceTree(const fs::path& folder)
{
    return Within(folder, PAGE_BENCH_SOURCE_TREE) && !Within(folder, PAGE_BENCH_BUILD_TREE);
}

} // namespace

PageBench::PageBench(BenchOptions options) : folder_(MakeFolder())
{
    toolboot::BoardMachineOptions boot;
    boot.configuration = std::move(options.board);
    boot.speedFactor = options.speedFactor;
    boot.bootOnRelease = true; // a start never waits for the board's thread
    try {
        booted_ = toolboot::BootBoardMachine(folder_, boot);
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
        throw;
    }
    ResetDialogs();
    standin::ClearKsRequests();
    // An earlier machine's shutdown ended every message loop as PostQuitMessage(0) does: this
    // thread's queue still holds that WM_QUIT, which would end each pump at once.
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    comStarted_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

PageBench::~PageBench()
{
    Shutdown();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

std::u16string PageBench::DeviceKey() const
{
    const auto device = booted_.machine ? booted_.machine->Device(*booted_.board) : std::nullopt;
    return device ? u"SYSTEM\\CurrentControlSet\\Control\\Class\\" + device->driverKeyName : std::u16string();
}

bool PageBench::PullCable(uint32_t input)
{
    return Board().Commands().PullCable(input);
}

bool PageBench::PlugCable(uint32_t input)
{
    return Board().Commands().PlugCable(input);
}

bool PageBench::SetStandard(uint32_t input, uint32_t standardBit)
{
    return Board().Commands().SetStandard(input, standardBit);
}

HRESULT PageBench::RegisterPageLibrary(const fs::path& built)
{
    const std::string name = built.filename().string();
    const fs::path installed = folder_ / "C" / "Windows" / "System32" / name;
    std::error_code error;
    fs::create_directories(installed.parent_path(), error);
    fs::copy_file(built, installed, fs::copy_options::overwrite_existing, error);
    if (error)
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    library_ = kSystemFolder + std::u16string(name.begin(), name.end());
    return sheethost::RegisterLibrary(library_);
}

std::vector<CLSID> PageBench::PageClasses() const
{
    return library_.empty() ? std::vector<CLSID>{} : sheethost::PageClassesOf(library_);
}

HRESULT PageBench::OpenSheet(const std::u16string& filter, const std::vector<CLSID>& pages)
{
    CloseSheet();
    filter_ = sheethost::BindFilter(filter);
    if (!filter_)
        return E_FAIL;
    IUnknown* objects[] = {filter_};
    std::vector<CLSID> classes = pages;
    OCPFIPARAMS params{};
    params.cbStructSize = sizeof params;
    params.lpszCaption = reinterpret_cast<LPCOLESTR>(filter.c_str());
    params.cObjects = 1;
    params.lplpUnk = objects;
    params.cPages = static_cast<ULONG>(classes.size());
    params.lpPages = classes.data();
    const HRESULT opened = standin::OpenPropertyFrame(params, &sheet_);
    if (FAILED(opened) || !sheet_) {
        sheet_ = nullptr;
        filter_->Release();
        filter_ = nullptr;
        return FAILED(opened) ? opened : E_FAIL;
    }
    ShowWindow(sheet_, SW_SHOWNORMAL);
    standin::PumpUntilIdle();
    return S_OK;
}

bool PageBench::SheetOpen() const
{
    return sheet_ && IsWindow(sheet_) && SendMessageW(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0) != 0;
}

int PageBench::TabCount() const
{
    HWND tab = sheet_ ? reinterpret_cast<HWND>(SendMessageW(sheet_, PSM_GETTABCONTROL, 0, 0)) : nullptr;
    return tab ? static_cast<int>(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0)) : 0;
}

std::u16string PageBench::TabTitle(int index) const
{
    HWND tab = sheet_ ? reinterpret_cast<HWND>(SendMessageW(sheet_, PSM_GETTABCONTROL, 0, 0)) : nullptr;
    if (!tab)
        return {};
    WCHAR text[256] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 256;
    if (!SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)))
        return {};
    return reinterpret_cast<const char16_t*>(text);
}

bool PageBench::PickTab(int index)
{
    HWND tab = sheet_ ? reinterpret_cast<HWND>(SendMessageW(sheet_, PSM_GETTABCONTROL, 0, 0)) : nullptr;
    if (!tab || !standin::SelectTab(tab, index))
        return false;
    standin::PumpUntilIdle();
    return true;
}

HWND PageBench::Page() const
{
    if (!SheetOpen())
        return nullptr;
    HWND container = reinterpret_cast<HWND>(SendMessageW(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0));
    return container ? GetWindow(container, GW_CHILD) : nullptr;
}

HWND PageBench::Control(int id) const
{
    HWND page = Page();
    return page ? GetDlgItem(page, id) : nullptr;
}

void PageBench::CloseSheet()
{
    if (sheet_ && IsWindow(sheet_))
        DestroyWindow(sheet_);
    sheet_ = nullptr;
    standin::PumpUntilIdle();
    if (filter_)
        filter_->Release();
    filter_ = nullptr;
}

void PageBench::Click(int id)
{
    if (HWND control = Control(id))
        standin::Click(control);
}

void PageBench::Type(int id, const std::string& text)
{
    if (HWND control = Control(id))
        standin::Type(control, text);
}

std::string PageBench::Text(int id) const
{
    HWND control = Control(id);
    if (!control)
        return {};
    char text[1024] = {};
    GetWindowTextA(control, text, sizeof text);
    return text;
}

void PageBench::Slide(int id, int position)
{
    if (HWND control = Control(id))
        standin::Slide(control, position);
}

bool PageBench::Scroll(int id, UINT code, int position)
{
    HWND trackbar = Control(id);
    char name[64] = {};
    if (!trackbar || !GetClassNameA(trackbar, name, sizeof name) || ::strcasecmp(name, TRACKBAR_CLASSA) != 0)
        return false;
    UINT key = 0;
    switch (code) {
    case TB_LINEUP:
        key = VK_LEFT;
        break;
    case TB_LINEDOWN:
        key = VK_RIGHT;
        break;
    case TB_PAGEUP:
        key = VK_PRIOR;
        break;
    case TB_PAGEDOWN:
        key = VK_NEXT;
        break;
    case TB_TOP:
        key = VK_HOME;
        break;
    case TB_BOTTOM:
        key = VK_END;
        break;
    case TB_THUMBTRACK:
    case TB_THUMBPOSITION:
        standin::Slide(trackbar, position);
        return true;
    default:
        return false;
    }
    SetFocus(trackbar);
    standin::PumpUntilIdle();
    standin::PressKey(key);
    standin::PumpUntilIdle();
    standin::ReleaseKey(key);
    standin::PumpUntilIdle();
    return true;
}

bool PageBench::Select(int id, int index)
{
    HWND control = Control(id);
    return control && standin::Select(control, index);
}

void PageBench::Spin(int id, int delta)
{
    if (HWND control = Control(id))
        standin::Spin(control, delta);
}

bool PageBench::PressApply()
{
    return SheetOpen() && standin::PressApply(sheet_);
}

bool PageBench::PressOk()
{
    HWND ok = SheetOpen() ? GetDlgItem(sheet_, IDOK) : nullptr;
    if (!ok || !IsWindowEnabled(ok))
        return false;
    standin::Click(ok);
    return true;
}

bool PageBench::PressCancel()
{
    HWND cancel = SheetOpen() ? GetDlgItem(sheet_, IDCANCEL) : nullptr;
    if (!cancel || !IsWindowEnabled(cancel))
        return false;
    standin::Click(cancel);
    return true;
}

void PageBench::AnswerMessageBoxes(const std::vector<int>& answers)
{
    standin::ScriptMessageBoxAnswers(answers);
}

std::vector<standin::MessageBoxRecord> PageBench::MessageBoxes()
{
    return standin::TakeMessageBoxRecords();
}

void PageBench::AnswerOpenFileDialogs(const std::vector<std::optional<std::string>>& answers)
{
    standin::ScriptOpenFileAnswers(answers);
}

std::vector<standin::FileDialogRecord> PageBench::OpenFileDialogs()
{
    return standin::TakeFileDialogRecords();
}

void PageBench::AnswerFontDialogs(const std::vector<std::optional<standin::FontChoice>>& answers)
{
    standin::ScriptFontAnswers(answers);
}

std::vector<standin::FontDialogRecord> PageBench::FontDialogs()
{
    return standin::TakeFontDialogRecords();
}

HANDLE PageBench::OpenFilter(const std::u16string& friendlyName)
{
    for (const GUID* category : {&KSCATEGORY_CAPTURE, &KSCATEGORY_VIDEO, &KSCATEGORY_CROSSBAR, &KSCATEGORY_AUDIO}) {
        ULONG length = 0;
        if (CM_Get_Device_Interface_List_SizeW(&length, category, nullptr, CM_GET_DEVICE_INTERFACE_LIST_PRESENT) !=
            CR_SUCCESS)
            continue;
        std::vector<WCHAR> list(length + 1);
        if (CM_Get_Device_Interface_ListW(category, nullptr, list.data(), static_cast<ULONG>(list.size()),
                                          CM_GET_DEVICE_INTERFACE_LIST_PRESENT) != CR_SUCCESS)
            continue;
        for (const WCHAR* path = list.data(); *path != 0; path += std::char_traits<char16_t>::length(path) + 1) {
            WCHAR name[256] = {};
            ULONG size = sizeof name;
            DEVPROPTYPE type = 0;
            if (CM_Get_Device_Interface_PropertyW(path, &DEVPKEY_DeviceInterface_FriendlyName, &type,
                                                  reinterpret_cast<PBYTE>(name), &size, 0) != CR_SUCCESS ||
                friendlyName != reinterpret_cast<const char16_t*>(name))
                continue;
            HANDLE handle =
                CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (handle != INVALID_HANDLE_VALUE)
                handles_.push_back(handle);
            return handle;
        }
    }
    return INVALID_HANDLE_VALUE;
}

PageBench::Reply PageBench::Get(HANDLE filter, const GUID& set, ULONG id, void* record, ULONG length)
{
    return Request(filter, set, id, KSPROPERTY_TYPE_GET, record, length);
}

PageBench::Reply PageBench::Set(HANDLE filter, const GUID& set, ULONG id, void* record, ULONG length)
{
    return Request(filter, set, id, KSPROPERTY_TYPE_SET, record, length);
}

std::vector<standin::KsRequestRecord> PageBench::Requests()
{
    return standin::KsRequests();
}

void PageBench::ClearRequests()
{
    standin::ClearKsRequests();
}

std::optional<DWORD> PageBench::RegistryDword(const std::u16string& key, const std::u16string& name)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD value = 0;
    DWORD bytes = sizeof value;
    DWORD type = 0;
    const LONG read =
        RegQueryValueExW(opened, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes);
    RegCloseKey(opened);
    if (read != ERROR_SUCCESS || type != REG_DWORD || bytes != sizeof value)
        return std::nullopt;
    return value;
}

std::optional<std::u16string> PageBench::RegistryString(const std::u16string& key, const std::u16string& name)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<WCHAR> text(2048, 0);
    DWORD bytes = static_cast<DWORD>((text.size() - 1) * sizeof(WCHAR));
    DWORD type = 0;
    const LONG read =
        RegQueryValueExW(opened, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes);
    RegCloseKey(opened);
    if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    return std::u16string(reinterpret_cast<const char16_t*>(text.data()));
}

standin::WindowPixels PageBench::Pixels(HWND hwnd)
{
    return standin::ReadWindowPixels(hwnd);
}

bool PageBench::SavePicture(HWND hwnd, const fs::path& folder, const std::string& name)
{
    if (folder.empty() || name.empty() || InsideSourceTree(folder))
        return false;
    std::error_code error;
    fs::create_directories(folder, error);
    return standin::SaveWindowPng(hwnd, (folder / (name + ".png")).string());
}

bool PageBench::WaitUntil(const std::function<bool()>& done)
{
    return testsupport::WaitUntil([&] {
        standin::PumpUntilIdle();
        return done();
    });
}

platform::UnloadReport PageBench::Shutdown()
{
    if (report_)
        return *report_;
    CloseSheet();
    for (HANDLE handle : handles_)
        CloseHandle(handle);
    handles_.clear();
    if (comStarted_)
        CoUninitialize();
    comStarted_ = false;
    ResetDialogs();
    report_ = booted_.machine ? booted_.machine->Shutdown() : platform::UnloadReport{};
    return *report_;
}

} // namespace pagebench
