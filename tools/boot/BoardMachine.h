// The main job's machine with one simulated board, for the host programs: the driver and the
// board's images installed in the machine's drivers folder (with any further files), the machine
// booted from its folder over the platform's and the system's templates, the driver loaded and the
// board plugged. Header-only: the including target defines TALVEXON_DRIVER_FILE,
// TALVEXON_IMAGE_FOLDER and TALVEXON_SYSTEM_MACHINE, and links platform_machine and board.
#pragma once
#include "board/CaptureBoard.h"
#include "board/StandardImages.h"
#include "km/kernel.h"
#include "platform/machine/Machine.h"

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace toolboot {

struct BoardMachine {
    // Declared before the machine, which unplugs it at shutdown.
    std::unique_ptr<board::CaptureBoard> board;
    std::unique_ptr<platform::Machine> machine;
    NTSTATUS status = STATUS_UNSUCCESSFUL; // the driver's load, then the board's plug
};

// Boots the machine of `folder` and brings the board up (`status` says how far it came). Throws
// std::runtime_error when the machine cannot boot.
inline BoardMachine BootBoardMachine(const std::filesystem::path& folder,
                                     std::vector<platform::DriverFileInstall> moreFiles = {},
                                     bool bootAnnouncement = false)
{
    namespace fs = std::filesystem;
    platform::MachineOptions options;
    options.driverFiles.push_back({TALVEXON_DRIVER_FILE, u"C:\\Windows\\System32\\drivers\\Talvexon_x86.sys"});
    for (const char* image : {board::StandardImages::kFirmwareFileName, board::StandardImages::kMemoryTesterFileName,
                              board::StandardImages::kPciTesterFileName, board::StandardImages::kFpgaFileName}) {
        const std::string name = image;
        options.driverFiles.push_back({fs::path(TALVEXON_IMAGE_FOLDER) / name,
                                       u"C:\\Windows\\System32\\drivers\\" + std::u16string(name.begin(), name.end())});
    }
    options.driverFiles.insert(options.driverFiles.end(), moreFiles.begin(), moreFiles.end());
    board::BoardConfiguration configuration;
    configuration.bootAnnouncement = bootAnnouncement;
    BoardMachine made;
    made.board = std::make_unique<board::CaptureBoard>(platform::PciLocation{1, 0, 0}, configuration);
    made.machine = platform::Machine::Open(folder, std::vector<fs::path>{PLATFORM_BASE_MACHINE, TALVEXON_SYSTEM_MACHINE},
                                           options);
    made.status = made.machine->LoadDriver(u"Talvexon");
    if (NT_SUCCESS(made.status))
        made.status = made.machine->Plug(*made.board);
    return made;
}

} // namespace toolboot
