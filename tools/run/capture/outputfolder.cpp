#include "outputfolder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace capture {

bool CheckOutputFolder(const std::filesystem::path& folder, std::string* error)
{
    namespace fs = std::filesystem;
    std::error_code code;
    const fs::file_status status = fs::status(folder, code);
    if (fs::exists(status) && !fs::is_directory(status)) {
        *error = folder.string() + " is not a folder";
        return false;
    }
    if (!fs::exists(status) && !fs::create_directories(folder, code)) {
        *error = "cannot create " + folder.string() + ": " + code.message();
        return false;
    }
    const fs::path probe = folder / (".talvexon-run-" + std::to_string(::getpid()));
    std::FILE* file = std::fopen(probe.string().c_str(), "wb");
    if (file == nullptr) {
        *error = "cannot create a file in " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    std::fclose(file);
    fs::remove(probe, code);
    return true;
}

} // namespace capture
