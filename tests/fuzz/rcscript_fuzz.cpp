// Resource scripts through the resource compiler: the bytes are written as a script beside a
// header, a bitmap and a user-type file it may name, and compiled. The compiler either writes a
// table or refuses with one line "<script>:<line>: error: ..." and no table; it never dies of an
// uncaught fault (a Python traceback) and never leaves a table behind a refusal.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

const fs::path& WorkDirectory()
{
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("rcscript-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(d);
        std::ofstream(d / "names.h") << "#define IDD_PAGE 114\n#define IDC_ONE 1001\n";
        std::ofstream(d / "logo.bmp", std::ios::binary) << std::string("BM\16\0\0\0\0\0\0\0\16\0\0\0XY", 16);
        std::ofstream(d / "page.rgs") << "HKCR { }";
        std::atexit([] { fs::remove_all(WorkDirectory()); });
        return d;
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fs::path& dir = WorkDirectory();
    const fs::path script = dir / "input.rc";
    const fs::path table = dir / "input.cpp";
    const fs::path errors = dir / "errors.txt";
    fs::remove(table);
    {
        std::ofstream out(script, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const std::string command = std::string(RCGEN_PYTHON) + " " + RCGEN_SCRIPT + " " + script.string() +
                                " --source " + table.string() + " 2>" + errors.string();
    const int status = std::system(command.c_str());
    const std::string message = ReadAll(errors);
    Check(message.find("Traceback") == std::string::npos);
    if (status == 0) {
        Check(message.empty());
        Check(ReadAll(table).find("StandinResourceTableCount") != std::string::npos);
    } else {
        Check(!fs::exists(table));
        Check(message.rfind(script.string() + ":", 0) == 0);
        Check(message.find(": error: ") != std::string::npos);
        Check(message.find('\n') == message.size() - 1);
    }
    return 0;
}
