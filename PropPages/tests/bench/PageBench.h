// The page test bench: what every test of a property page stands on. It boots a machine folder of
// its own from the committed templates, installs the driver and plugs a simulated board of the given
// configuration; registers a page library; opens the OLE property frame on a filter found by its
// friendly name with the page classes a test names; acts as the user does (clicks, typing, slides
// with each scroll code, choices, spins, tabs, Apply, OK, Cancel) and answers message boxes and the
// file and font dialogs from a script; plays a second application with a filter handle of its own
// (GET and SET); and lets a test read the request log, the registry, the board and the pictures.
// Its teardown closes everything and shuts the machine down, with the leak checks' report.
//
// One bench at a time in a process (one after the other is fine), made and used on one thread (the
// pages' window thread, in a COM apartment). Checks of states that other threads bring about go
// through WaitUntil.
#pragma once
#include "BoardMachine.h"
#include "standin/dialogs.h"
#include "standin/ksrequests.h"
#include "standin/pictures.h"
#include "testsupport/WaitUntil.h"
#include "um/dshow.h"
#include "um/windows.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pagebench {

// The board's friendly filter names as the driver registers them for the first board.
inline constexpr char16_t kVideoFilter[] = u"Talvexon HD Video Device 1";
inline constexpr char16_t kCrossbarFilter[] = u"Talvexon HD Crossbar Device 1";

struct BenchOptions {
    board::BoardConfiguration board;
    // The start's fixed pauses (about two seconds) pass in one.
    double speedFactor = 2.0;
};

class PageBench {
public:
    // Throws std::runtime_error when the machine cannot boot; a board that does not start is
    // BoardStatus(), so that a test can look at why.
    explicit PageBench(BenchOptions options = {});
    ~PageBench();
    PageBench(const PageBench&) = delete;
    PageBench& operator=(const PageBench&) = delete;

    // ---- the machine and the board ----
    NTSTATUS BoardStatus() const { return booted_.status; }
    platform::Machine& Machine() { return *booted_.machine; }
    board::CaptureBoard& Board() { return *booted_.board; }
    const std::filesystem::path& Folder() const { return folder_; }
    // The board's driver key under HKEY_LOCAL_MACHINE ("SYSTEM\CurrentControlSet\Control\Class\...").
    std::u16string DeviceKey() const;
    // The board's actions on its inputs' signals (false for an input it does not have).
    bool PullCable(uint32_t input);
    bool PlugCable(uint32_t input);
    bool SetStandard(uint32_t input, uint32_t standardBit);

    // ---- the page library ----
    // Installs the built library in C:\Windows\System32 of the machine and registers it
    // (DllRegisterServer); the registration's result.
    HRESULT RegisterPageLibrary(const std::filesystem::path& built);
    // The classes the registered library serves (HKCR\CLSID\{...}\InprocServer32).
    std::vector<CLSID> PageClasses() const;

    // ---- the property frame ----
    // The frame opened (modeless) on the filter of that friendly name with the pages, shown and
    // pumped until idle. A frame still open is closed first. E_FAIL when no filter of that name
    // binds; otherwise the frame's own failure.
    HRESULT OpenSheet(const std::u16string& filter, const std::vector<CLSID>& pages);
    HWND Sheet() const { return sheet_; }
    // True while the frame is there and neither OK nor Cancel has closed it.
    bool SheetOpen() const;
    int TabCount() const;
    std::u16string TabTitle(int index) const;
    bool PickTab(int index);
    // The current page's own window (inside its container), and a control of it by id.
    HWND Page() const;
    HWND Control(int id) const;
    // Destroys the frame (its pages deactivated and released) and lets go of the filter.
    void CloseSheet();

    // ---- the user ----
    void Click(int id);
    void Type(int id, const std::string& text);
    std::string Text(int id) const;
    // The trackbar's thumb dragged to the position.
    void Slide(int id, int position);
    // The input that makes the trackbar send `code` (TB_LINEUP to TB_BOTTOM; TB_THUMBTRACK and
    // TB_THUMBPOSITION by a drag to `position`, which also sends the other): the arrow, page and
    // Home and End keys, each followed by TB_ENDTRACK as the key goes up. False for another code or
    // a control that is no trackbar.
    bool Scroll(int id, UINT code, int position = 0);
    bool Select(int id, int index);
    void Spin(int id, int delta);
    bool PressApply();
    bool PressOk();
    bool PressCancel();
    // The scripted answers of the modal dialogs the pages open, and what they were asked.
    static void AnswerMessageBoxes(const std::vector<int>& answers);
    static std::vector<standin::MessageBoxRecord> MessageBoxes();
    static void AnswerOpenFileDialogs(const std::vector<std::optional<std::string>>& answers);
    static std::vector<standin::FileDialogRecord> OpenFileDialogs();
    static void AnswerFontDialogs(const std::vector<std::optional<standin::FontChoice>>& answers);
    static std::vector<standin::FontDialogRecord> FontDialogs();

    // ---- a second application ----
    // A handle of its own on the filter of that friendly name (any category), opened now and
    // closed at teardown; INVALID_HANDLE_VALUE when there is none.
    HANDLE OpenFilter(const std::u16string& friendlyName);
    // A property record (its 24-byte header first) sent as the request and the data buffer, as
    // the pages send it, with the header's set, id and flags written here: the request's HRESULT
    // and the bytes returned.
    struct Reply {
        HRESULT result = E_FAIL;
        ULONG returned = 0;
    };
    static Reply Get(HANDLE filter, const GUID& set, ULONG id, void* record, ULONG length);
    static Reply Set(HANDLE filter, const GUID& set, ULONG id, void* record, ULONG length);
    template <class Record> static Reply Get(HANDLE filter, const GUID& set, Record& record, ULONG id = 0)
    {
        return Get(filter, set, id, &record, sizeof record);
    }
    template <class Record> static Reply Set(HANDLE filter, const GUID& set, Record& record, ULONG id = 0)
    {
        return Set(filter, set, id, &record, sizeof record);
    }

    // ---- what a test reads ----
    static std::vector<standin::KsRequestRecord> Requests();
    static void ClearRequests();
    // A value of a key under HKEY_LOCAL_MACHINE; nullopt when it is not there or of another type.
    static std::optional<DWORD> RegistryDword(const std::u16string& key, const std::u16string& name);
    static std::optional<std::u16string> RegistryString(const std::u16string& key, const std::u16string& name);
    // A window's pixels as it painted them.
    static standin::WindowPixels Pixels(HWND hwnd);
    // "<folder>/<name>.png" of the window; false for an empty folder, a folder inside the source
    // tree but outside the build's folder (pictures go only where a test or a tool says, never
    // among the sources) or a failed write.
    static bool SavePicture(HWND hwnd, const std::filesystem::path& folder, const std::string& name);

    // Pumps the calling thread's queue until `done()` holds; false when it still does not after
    // testsupport::kCrossThreadTimeOut.
    static bool WaitUntil(const std::function<bool()>& done);

    // ---- teardown ----
    // Closes the frame and the second application's handles, leaves the COM apartment and shuts the
    // machine down: the report of its leak checks. A second call gives the first report again.
    platform::UnloadReport Shutdown();

private:
    std::filesystem::path folder_;
    toolboot::BoardMachine booted_;
    bool comStarted_ = false;
    std::u16string library_;
    IBaseFilter* filter_ = nullptr;
    HWND sheet_ = nullptr;
    std::vector<HANDLE> handles_;
    std::optional<platform::UnloadReport> report_;
};

} // namespace pagebench
