// The machine of the host programs and the tests that run the driver file: the driver and the
// board's images installed in the machine's drivers folder (with any further files), the machine
// booted from its folder over the platform's and the system's templates, the driver loaded and a
// simulated board of a given configuration plugged. Library `board_machine`; its users link it and
// need no paths of the build.
#pragma once
#include "board/CaptureBoard.h"
#include "board/StandardImages.h"
#include "km/kernel.h"
#include "platform/machine/Machine.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace toolboot {

inline constexpr char16_t kDriverService[] = u"Talvexon";
inline constexpr char16_t kDriversFolder[] = u"C:\\Windows\\System32\\drivers\\";
inline constexpr char16_t kInstalledDriverFile[] = u"C:\\Windows\\System32\\drivers\\Talvexon_x86.sys";

// The board's image files the drivers folder takes: every shipped image by default.
std::vector<std::string> AllImages();

// The built driver file and the named images (file names of board::StandardImages), as the machine
// installs them in its drivers folder.
std::vector<platform::DriverFileInstall> DriverPackageFiles(const std::vector<std::string>& images = AllImages());

// Opens the machine of `folder` (made from the platform's base machine and the system's layer when
// new) with `options` as given. Throws std::runtime_error when it cannot boot.
std::unique_ptr<platform::Machine> OpenMachine(const std::filesystem::path& folder,
                                               platform::MachineOptions options = {});

struct BoardMachineOptions {
    board::BoardConfiguration configuration;
    platform::PciLocation location{1, 0, 0};
    std::vector<std::string> images = AllImages();
    std::vector<platform::DriverFileInstall> moreFiles; // after the driver and the images
    double speedFactor = 1.0;
    // The release doorbell boots the DSP before its write returns (CaptureBoard::SetBootOnRelease),
    // so that a start never waits for the board's thread; the main job keeps the thread's boot.
    bool bootOnRelease = false;
};

struct BoardMachine {
    // Declared before the machine, which unplugs it at shutdown.
    std::unique_ptr<board::CaptureBoard> board;
    std::unique_ptr<platform::Machine> machine;
    NTSTATUS status = STATUS_UNSUCCESSFUL; // the driver's load, then the board's plug

    NTSTATUS LoadDriver() { return status = machine->LoadDriver(kDriverService); }
    NTSTATUS PlugBoard() { return status = machine->Plug(*board); }
};

// The board made and the machine booted with the driver's package installed; nothing loaded or
// plugged yet (a caller that reports each step, or sets the board up first). The package in
// C:\Windows\INF describes the configuration's inputs (BoardPackage.h): the system's own file for
// the default board's, else a copy of it with the board's inputs; a file of `moreFiles` at the same
// place goes over it. Throws std::invalid_argument, before anything is made, for inputs the package
// cannot describe (CheckBoardInputs), std::runtime_error when the machine cannot boot.
BoardMachine OpenBoardMachine(const std::filesystem::path& folder, const BoardMachineOptions& options);
// The default board's options (an overload rather than a default argument, whose temporary the
// optimiser reads as uninitialised at every call).
BoardMachine OpenBoardMachine(const std::filesystem::path& folder);

// The same, then the driver loaded and the board plugged (`status` says how far it came).
BoardMachine BootBoardMachine(const std::filesystem::path& folder, const BoardMachineOptions& options);
BoardMachine BootBoardMachine(const std::filesystem::path& folder); // the default board

} // namespace toolboot
