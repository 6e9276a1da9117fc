// sheet-host: boots a machine folder as the main job does, installs the page library in
// C:\Windows\System32 and registers it when the machine lacks it, plugs one simulated board, and
// writes a PNG of every page of the library's page classes on every filter of the board:
//
//   sheet-host --machine DIR --out DIR [--filter NAME] [--library FILE]
//
// --library names the built page library to install (its file name is kept); a machine that has
// the library already needs none. Exit status 0 when every page was written; 1 when the machine or
// the board does not come up, no page class is found, or a page could not be written; 2 with the
// usage for bad arguments.
#include "SheetHost.h"

#include "board/CaptureBoard.h"
#include "board/StandardImages.h"
#include "km/kernel.h"
#include "platform/machine/Machine.h"
#include "um/windows.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr char16_t kService[] = u"Talvexon";
constexpr char16_t kInstalledDriver[] = u"C:\\Windows\\System32\\drivers\\Talvexon_x86.sys";
constexpr char16_t kDriversFolder[] = u"C:\\Windows\\System32\\drivers\\";
constexpr char16_t kSystemFolder[] = u"C:\\Windows\\System32\\";
constexpr char kDefaultLibraryName[] = "Talvexon_x86.ax";

struct Options {
    fs::path machine;
    fs::path out;
    std::u16string filter;
    fs::path library;
};

void Usage()
{
    std::fprintf(stderr, "usage: sheet-host --machine DIR --out DIR [--filter NAME] [--library FILE]\n"
                         "  --machine DIR   the machine's folder (made from the templates when new)\n"
                         "  --out DIR       where the pictures go, \"<filter> - <title>.png\" each\n"
                         "  --filter NAME   only the filter of this friendly name\n"
                         "  --library FILE  the page library to install when the machine lacks it\n");
}

std::u16string Wide(const std::string& text)
{
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80 || i + 1 >= text.size()) {
            out += c;
        } else if ((c & 0xE0) == 0xC0) {
            out += static_cast<char16_t>((c & 0x1F) << 6 | (text[++i] & 0x3F));
        } else if ((c & 0xF0) == 0xE0 && i + 2 < text.size()) {
            const char16_t high = static_cast<char16_t>((c & 0x0F) << 12 | (text[i + 1] & 0x3F) << 6);
            out += static_cast<char16_t>(high | (text[i + 2] & 0x3F));
            i += 2;
        } else {
            out += u'?';
        }
    }
    return out;
}

bool ParseArguments(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc)
            return false;
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--machine")
            options->machine = value;
        else if (name == "--out")
            options->out = value;
        else if (name == "--filter")
            options->filter = Wide(value);
        else if (name == "--library")
            options->library = value;
        else
            return false;
    }
    return !options->machine.empty() && !options->out.empty();
}

using RegisterServer = HRESULT(STDAPICALLTYPE*)();

// Registers the library when no class names it as its server yet; its classes.
std::vector<CLSID> RegisteredPages(const std::u16string& library)
{
    std::vector<CLSID> pages = sheethost::PageClassesOf(library);
    if (!pages.empty())
        return pages;
    HMODULE module = LoadLibraryW(library.c_str());
    if (!module) {
        std::fprintf(stderr, "sheet-host: the page library does not load (error %lu)\n",
                     static_cast<unsigned long>(GetLastError()));
        return pages;
    }
    auto registerServer = reinterpret_cast<RegisterServer>(GetProcAddress(module, "DllRegisterServer"));
    const HRESULT registered = registerServer ? registerServer() : E_NOINTERFACE;
    if (FAILED(registered))
        std::fprintf(stderr, "sheet-host: the page library does not register (0x%08X)\n",
                     static_cast<unsigned>(registered));
    FreeLibrary(module);
    return sheethost::PageClassesOf(library);
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseArguments(argc, argv, &options)) {
        Usage();
        return 2;
    }
    std::error_code made;
    fs::create_directories(options.out, made);
    if (!fs::is_directory(options.out)) {
        std::fprintf(stderr, "sheet-host: %s is no folder\n", options.out.string().c_str());
        return 1;
    }

    platform::MachineOptions machineOptions;
    machineOptions.driverFiles.push_back({TALVEXON_DRIVER_FILE, kInstalledDriver});
    for (const char* image : {board::StandardImages::kFirmwareFileName, board::StandardImages::kMemoryTesterFileName,
                              board::StandardImages::kPciTesterFileName, board::StandardImages::kFpgaFileName}) {
        const std::string name = image;
        machineOptions.driverFiles.push_back(
            {fs::path(TALVEXON_IMAGE_FOLDER) / name, kDriversFolder + std::u16string(name.begin(), name.end())});
    }
    // The page library: the machine's own copy, else the one given, installed.
    const std::string libraryName =
        options.library.empty() ? std::string(kDefaultLibraryName) : options.library.filename().string();
    const std::u16string library = kSystemFolder + Wide(libraryName);
    const bool present = fs::exists(options.machine / "C" / "Windows" / "System32" / libraryName);
    if (!present) {
        if (options.library.empty()) {
            std::fprintf(stderr, "sheet-host: the machine has no %s: give --library\n", libraryName.c_str());
            return 1;
        }
        machineOptions.driverFiles.push_back({options.library, library});
    }
    // Declared before the machine, which unplugs it at shutdown.
    board::BoardConfiguration configuration;
    board::CaptureBoard captureBoard(platform::PciLocation{1, 0, 0}, configuration);

    std::unique_ptr<platform::Machine> machine;
    try {
        machine = platform::Machine::Open(
            options.machine, std::vector<fs::path>{PLATFORM_BASE_MACHINE, TALVEXON_SYSTEM_MACHINE}, machineOptions);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sheet-host: the machine in %s cannot boot: %s\n", options.machine.string().c_str(),
                     e.what());
        return 1;
    }
    int result = 1;
    const NTSTATUS loaded = machine->LoadDriver(kService);
    const NTSTATUS plugged = NT_SUCCESS(loaded) ? machine->Plug(captureBoard) : loaded;
    if (!NT_SUCCESS(plugged)) {
        std::fprintf(stderr, "sheet-host: the board did not come up: 0x%08X\n", static_cast<unsigned>(plugged));
    } else if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "sheet-host: no COM apartment\n");
    } else {
        const std::vector<CLSID> pages = RegisteredPages(library);
        if (pages.empty()) {
            std::fprintf(stderr, "sheet-host: no page class names %s as its server\n", libraryName.c_str());
        } else {
            std::vector<std::string> errors;
            const auto pictures = sheethost::WriteSheets({pages, options.out, options.filter}, &errors);
            for (const auto& picture : pictures)
                std::printf("%s (%d x %d)\n", picture.file.string().c_str(), picture.width, picture.height);
            for (const auto& error : errors)
                std::fprintf(stderr, "sheet-host: %s\n", error.c_str());
            result = errors.empty() && !pictures.empty() ? 0 : 1;
        }
        CoUninitialize();
    }
    const platform::UnloadReport report = machine->Shutdown();
    if (report.leaks != 0) {
        std::fprintf(stderr, "sheet-host: %zu leak(s) reported at shutdown\n", report.leaks);
        result = 1;
    }
    return result;
}
