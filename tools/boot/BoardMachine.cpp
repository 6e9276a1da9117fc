// The machine with the driver's package and one simulated board (BoardMachine.h).
#include "BoardMachine.h"

#include "BoardPackage.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

namespace toolboot {

namespace fs = std::filesystem;

namespace {

// A file of the host's temporary folder that lives as long as the object: the source of a file the
// machine copies onto its drives while it boots.
class StagedFile {
public:
    explicit StagedFile(const std::string& text)
    {
        std::string pattern = (fs::temp_directory_path() / "board-package-XXXXXX.inf").string();
        const int fd = ::mkstemps(pattern.data(), 4);
        if (fd < 0)
            throw std::runtime_error("cannot make a file for the board's driver package: " +
                                     std::string(std::strerror(errno)));
        ::close(fd);
        path_ = pattern;
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            Remove();
            throw std::runtime_error("cannot write the board's driver package to " + pattern);
        }
    }
    ~StagedFile() { Remove(); }
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    const fs::path& Path() const { return path_; }

private:
    void Remove()
    {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    fs::path path_;
};

std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + file.string());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

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

BoardMachine OpenBoardMachine(const fs::path& folder)
{
    const BoardMachineOptions options;
    return OpenBoardMachine(folder, options);
}

BoardMachine OpenBoardMachine(const fs::path& folder, const BoardMachineOptions& options)
{
    // Refused before anything is made: the package could not describe the board.
    CheckBoardInputs(options.configuration);
    // The package installed over whatever an earlier boot left, so that a board installed now gets
    // the inputs it carries; the default board's is the system's own file.
    std::optional<StagedFile> package;
    if (!HasDefaultInputs(options.configuration))
        package.emplace(BoardPackageText(ReadFile(SystemDriverPackage()), options.configuration));

    platform::MachineOptions machineOptions;
    machineOptions.speedFactor = options.speedFactor;
    machineOptions.driverFiles = DriverPackageFiles(options.images);
    machineOptions.driverFiles.push_back({package ? package->Path() : SystemDriverPackage(), kInstalledPackageFile});
    machineOptions.driverFiles.insert(machineOptions.driverFiles.end(), options.moreFiles.begin(),
                                      options.moreFiles.end());
    BoardMachine made;
    made.board = std::make_unique<board::CaptureBoard>(options.location, options.configuration);
    made.board->SetBootOnRelease(options.bootOnRelease);
    made.machine = OpenMachine(folder, std::move(machineOptions));
    return made;
}

BoardMachine BootBoardMachine(const fs::path& folder)
{
    const BoardMachineOptions options;
    return BootBoardMachine(folder, options);
}

BoardMachine BootBoardMachine(const fs::path& folder, const BoardMachineOptions& options)
{
    BoardMachine made = OpenBoardMachine(folder, options);
    if (NT_SUCCESS(made.LoadDriver()))
        made.PlugBoard();
    return made;
}

} // namespace toolboot
