// sheet-host: boots a machine folder as the main job does, installs the page library in
// C:\Windows\System32 and registers it when the machine lacks it, plugs one simulated board, and
// writes a PNG of every page of the library that each filter of the board names as its own:
//
//   sheet-host --machine DIR --out DIR [--filter NAME] [--library FILE]
//
// --library names the built page library to install (its file name is kept); a machine that has
// the library already needs none. Exit status 0 when every page was written; 1 when the machine or
// the board does not come up, no page class is found, or a page could not be written; 2 with the
// usage for bad arguments.
#include "SheetHost.h"

#include "BoardMachine.h"
#include "um/windows.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;

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
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(std::max(size, 0)), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), reinterpret_cast<LPWSTR>(out.data()),
                        size);
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

// Registers the library when no class names it as its server yet; its classes.
std::vector<CLSID> RegisteredPages(const std::u16string& library)
{
    std::vector<CLSID> pages = sheethost::PageClassesOf(library);
    if (!pages.empty())
        return pages;
    const HRESULT registered = sheethost::RegisterLibrary(library);
    if (FAILED(registered))
        std::fprintf(stderr, "sheet-host: the page library does not register (0x%08X)\n",
                     static_cast<unsigned>(registered));
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

    // The page library: the machine's own copy, else the one given, installed.
    const std::string libraryName =
        options.library.empty() ? std::string(kDefaultLibraryName) : options.library.filename().string();
    const std::u16string library = kSystemFolder + Wide(libraryName);
    std::vector<platform::DriverFileInstall> install;
    if (!fs::exists(options.machine / "C" / "Windows" / "System32" / libraryName)) {
        if (options.library.empty()) {
            std::fprintf(stderr, "sheet-host: the machine has no %s: give --library\n", libraryName.c_str());
            return 1;
        }
        install.push_back({options.library, library});
    }
    toolboot::BoardMachine booted;
    try {
        toolboot::BoardMachineOptions bootOptions;
        bootOptions.moreFiles = install;
        booted = toolboot::BootBoardMachine(options.machine, bootOptions);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sheet-host: the machine in %s cannot boot: %s\n", options.machine.string().c_str(),
                     e.what());
        return 1;
    }
    int result = 1;
    if (!NT_SUCCESS(booted.status)) {
        std::fprintf(stderr, "sheet-host: the board did not come up: 0x%08X\n", static_cast<unsigned>(booted.status));
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
    const platform::UnloadReport report = booted.machine->Shutdown();
    if (report.leaks != 0) {
        std::fprintf(stderr, "sheet-host: %zu leak(s) reported at shutdown\n", report.leaks);
        result = 1;
    }
    return result;
}
