// The machine of the fuzz harnesses that talk to the driver: a simulated board plugged once
// through the driver file, and its video capture, audio capture and crossbar filters opened. It
// is shut down at exit, before the program's static objects are destroyed: the handles a harness
// handed to Keep and the filters closed (which stops their streams), the machine shut down (the
// driver unloaded, the board unplugged) and the board model ended, so that no driver or board
// thread still runs while the tables it reads go away.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "BoardMachine.h"
#include "board/CaptureBoard.h"
#include "board/StandardImages.h"
#include "board/VideoStandards.h"
#include "km/kernel.h"
#include "platform/machine/Machine.h"
#include "shared/kscategories.h"
#include "um/cfgmgr32.h"
#include "um/windows.h"

namespace fuzzrig {

struct Rig {
    std::filesystem::path folder;
    std::unique_ptr<board::CaptureBoard> board;
    std::unique_ptr<platform::Machine> machine;
    HANDLE filters[3] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
    std::vector<HANDLE> kept; // pins and other handles a harness keeps open across inputs

    // A handle the rig closes at exit, before the filters.
    void Keep(HANDLE handle) { kept.push_back(handle); }

    void ShutDown()
    {
        for (auto at = kept.rbegin(); at != kept.rend(); ++at)
            CloseHandle(*at);
        kept.clear();
        for (HANDLE& filter : filters) {
            if (filter != INVALID_HANDLE_VALUE)
                CloseHandle(filter);
            filter = INVALID_HANDLE_VALUE;
        }
        if (machine)
            machine->Shutdown();
        machine.reset();
        board.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

inline HANDLE OpenFirst(const GUID& category, const std::u16string& name)
{
    ULONG length = 0;
    CM_Get_Device_Interface_List_SizeW(&length, &category, nullptr, CM_GET_DEVICE_INTERFACE_LIST_PRESENT);
    std::vector<WCHAR> list(length + 1);
    if (CM_Get_Device_Interface_ListW(&category, nullptr, list.data(), static_cast<ULONG>(list.size()),
                                      CM_GET_DEVICE_INTERFACE_LIST_PRESENT) != CR_SUCCESS)
        return INVALID_HANDLE_VALUE;
    for (const WCHAR* path = list.data(); *path != 0; path += std::char_traits<char16_t>::length(path) + 1) {
        WCHAR friendly[256] = {};
        ULONG size = sizeof(friendly);
        DEVPROPTYPE type = 0;
        if (CM_Get_Device_Interface_PropertyW(path, &DEVPKEY_DeviceInterface_FriendlyName, &type,
                                              reinterpret_cast<PBYTE>(friendly), &size, 0) == CR_SUCCESS &&
            name == friendly)
            return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    return INVALID_HANDLE_VALUE;
}

// Brought up once for the whole run and shut down at exit. `name` names its temporary machine
// folder.
inline Rig& TheRig(const char* name)
{
    static Rig* rig = [name] {
        // The tables of the board model that streams read are made before the exit handler is
        // registered, so that they are destroyed after it has run.
        board::VideoStandards::All();
        auto* made = new Rig;
        std::random_device random;
        made->folder = std::filesystem::temp_directory_path() /
                       (std::string(name) + "-fuzz-" + std::to_string(random()));
        toolboot::BoardMachineOptions options;
        options.images = {board::StandardImages::kFirmwareFileName, board::StandardImages::kFpgaFileName};
        options.speedFactor = 20.0;
        options.bootOnRelease = true; // the start finds the DSP booted when it waits
        toolboot::BoardMachine booted = toolboot::BootBoardMachine(made->folder, options);
        if (!NT_SUCCESS(booted.status))
            std::abort();
        made->board = std::move(booted.board);
        made->machine = std::move(booted.machine);
        made->filters[0] = OpenFirst(KSCATEGORY_VIDEO, u"Talvexon HD Video Device 1");
        made->filters[1] = OpenFirst(KSCATEGORY_AUDIO, u"SDI Audio 1 (Talvexon HD 1)");
        made->filters[2] = OpenFirst(KSCATEGORY_CROSSBAR, u"Talvexon HD Crossbar Device 1");
        for (HANDLE filter : made->filters)
            if (filter == INVALID_HANDLE_VALUE)
                std::abort();
        // On a thread of its own: the exit has already ended the main thread's own records of the
        // kernel side (its thread-local objects), which a wait on this thread would use.
        static Rig* shutDown = made;
        std::atexit([] { std::thread([] { shutDown->ShutDown(); }).join(); });
        return made;
    }();
    return *rig;
}

} // namespace fuzzrig
