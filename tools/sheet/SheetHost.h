// The sheet host's core: the pages of a page library that each filter of the board names, each page
// pictured as a PNG file, as a user would open each filter's property sheet and look at each tab.
#pragma once
#include "um/dshow.h"
#include "um/windows.h"

#include <filesystem>
#include <string>
#include <vector>

namespace sheethost {

// The classes HKCR\CLSID names whose InprocServer32 default value is `module` (case ignored), in
// the order the registry enumerates them.
std::vector<CLSID> PageClassesOf(const std::u16string& module);

// The filter of that friendly name among the capture sources, crossbars and audio devices the
// system device enumerator lists, bound (a reference for the caller); null when none binds. The
// caller's thread must be in a COM apartment.
IBaseFilter* BindFilter(const std::u16string& friendlyName);

// Loads the library (a Win32 path of the machine), runs its DllRegisterServer and unloads it: the
// registration's result, or the HRESULT of the Win32 error when it does not load, E_NOINTERFACE
// when it exports no DllRegisterServer.
HRESULT RegisterLibrary(const std::u16string& library);

struct PagePicture {
    std::u16string filter;
    std::u16string title;
    std::filesystem::path file;
    int width = 0;
    int height = 0;
};

struct SheetRequest {
    std::vector<CLSID> pages;   // the page classes that may be shown (the library's)
    std::filesystem::path out;  // an existing folder of this computer
    std::u16string filter;      // only the filter of this friendly name; every filter when empty
};

// For each filter the system device enumerator lists as a capture source, a crossbar or an audio
// device (each friendly name once): binds it, opens the OLE property frame on it (modeless) with the
// pages the filter names through ISpecifyPropertyPages that are among `pages`, in the filter's order
// (a filter naming none of them has no sheet), selects each tab in turn, pumps until the page has painted, and writes
// "<filter> - <title>.png" of the page's own window ('\', '/', ':' and the like become '_'), then
// closes the frame. The caller's thread must be in a COM apartment. Message boxes the pages show
// take their default button. Failures (a filter that does not bind, a frame that does not open, a
// file not written) go to `errors` and the next filter.
std::vector<PagePicture> WriteSheets(const SheetRequest& request, std::vector<std::string>* errors);

} // namespace sheethost
