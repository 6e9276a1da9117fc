// The machine with the driver's package and one simulated board (BoardMachine.h).
#include "BoardMachine.h"

namespace toolboot {

namespace fs = std::filesystem;

std::vector<std::string> AllImages()
{
    return {board::StandardImages::kFirmwareFileName, board::StandardImages::kMemoryTesterFileName,
            board::StandardImages::kPciTesterFileName, board::StandardImages::kFpgaFileName};
}

std::vector<platform::DriverFileInstall> DriverPackageFiles(const std::vector<std::string>& images)
{
    std::vector<platform::DriverFileInstall> files;
    files.push_back({TALVEXON_DRIVER_FILE, kInstalledDriverFile});
    for (const std::string& name : images)
        files.push_back({fs::path(TALVEXON_IMAGE_FOLDER) / name,
                         kDriversFolder + std::u16string(name.begin(), name.end())});
    return files;
}

std::unique_ptr<platform::Machine> OpenMachine(const fs::path& folder, platform::MachineOptions options)
{
    return platform::Machine::Open(folder, std::vector<fs::path>{PLATFORM_BASE_MACHINE, TALVEXON_SYSTEM_MACHINE},
                                   std::move(options));
}

BoardMachine OpenBoardMachine(const fs::path& folder, const BoardMachineOptions& options)
{
    platform::MachineOptions machineOptions;
    machineOptions.speedFactor = options.speedFactor;
    machineOptions.driverFiles = DriverPackageFiles(options.images);
    machineOptions.driverFiles.insert(machineOptions.driverFiles.end(), options.moreFiles.begin(),
                                      options.moreFiles.end());
    BoardMachine made;
    made.board = std::make_unique<board::CaptureBoard>(options.location, options.configuration);
    made.board->SetBootOnRelease(options.bootOnRelease);
    made.machine = OpenMachine(folder, std::move(machineOptions));
    return made;
}

BoardMachine BootBoardMachine(const fs::path& folder, const BoardMachineOptions& options)
{
    BoardMachine made = OpenBoardMachine(folder, options);
    if (NT_SUCCESS(made.LoadDriver()))
        made.PlugBoard();
    return made;
}

} // namespace toolboot
