// talvexon-imagegen: writes the board's image files (main firmware, memory tester, PCI tester and
// FPGA image) into a folder. The build runs it, and the main job installs its output on the
// machine's drive where "DriversPath" points.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "board/StandardImages.h"

namespace {

namespace fs = std::filesystem;

// Through a temporary name, so that an interrupted run never leaves half a file under the real one.
bool WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    const fs::path temporary = path.string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            std::fprintf(stderr, "talvexon-imagegen: cannot write %s\n", temporary.string().c_str());
            return false;
        }
    }
    std::error_code error;
    fs::rename(temporary, path, error);
    if (error) {
        std::fprintf(stderr, "talvexon-imagegen: cannot rename %s: %s\n", temporary.string().c_str(),
                     error.message().c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: talvexon-imagegen OUTPUT_FOLDER\n");
        return 2;
    }
    using board::Personality;
    using board::StandardImages;
    const fs::path folder = argv[1];
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "talvexon-imagegen: cannot make %s: %s\n", folder.string().c_str(), error.message().c_str());
        return 1;
    }
    const bool ok = WriteFile(folder / StandardImages::kFirmwareFileName,
                              StandardImages::DspImage(Personality::MainFirmware).Serialize()) &&
                    WriteFile(folder / StandardImages::kMemoryTesterFileName,
                              StandardImages::DspImage(Personality::MemoryTester).Serialize()) &&
                    WriteFile(folder / StandardImages::kPciTesterFileName,
                              StandardImages::DspImage(Personality::PciTester).Serialize()) &&
                    WriteFile(folder / StandardImages::kFpgaFileName, StandardImages::Fpga().Serialize());
    return ok ? 0 : 1;
}
