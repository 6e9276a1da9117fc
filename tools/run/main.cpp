// The main job: boots the machine in ./machine (made on first use from the platform's base machine
// with the system's layer, tools/run/machine, over it), installs the capture driver and the board's
// image files, loads the driver, plugs one simulated board and shows its bring-up: the board's
// instance id and "DeviceDesc", the running firmware, the FPGA and its register 34, the EEPROM's
// serial number and production date, and every filter interface by category with its
// "FriendlyName" as user mode finds it. Then the "Parameters" the driver completed, the trace log
// it wrote and the event-log entries of this run; last it shuts the machine down, which unloads the
// driver. With --crash the run ends without a shutdown, as a crash would,
// and the next run shows the driver appending to the old log instead of starting it anew.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "BoardMachine.h"
#include "board/CaptureBoard.h"
#include "km/kernel.h"
#include "capturejob.h"
#include "filterdirectory.h"
#include "outputfolder.h"
#include "platform/machine/Machine.h"
#include "shared/kscategories.h"
#include "standin/debugger.h"
#include "standin/registry.h"
#include "um/cfgmgr32.h"

namespace {

namespace fs = std::filesystem;

constexpr char16_t kParameters[] =
    u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\Talvexon\\Parameters";
constexpr char kShutdownValue[] = "\"DriverShutdownSuccessfull\"=dword:";

struct Options {
    fs::path folder = "machine";
    fs::path out = ".";   // where the capture's files go
    int seconds = 3;      // of capture
    bool crash = false;
    std::string stopAt; // "loaded", "plugged" or "shown": wait there to be killed (tests of a crash)
};

// Where --stop-at holds the run: it says so and waits, for a test to kill it there.
void StopIfAt(const Options& options, const char* point)
{
    if (options.stopAt != point)
        return;
    std::printf("stopped at %s: waiting to be killed\n", point);
    std::fflush(stdout);
    for (;;)
        pause();
}

// A whole number of seconds from 1 to an hour.
bool ParseSeconds(const char* text, int* seconds)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != 0 || value < 1 || value > 3600)
        return false;
    *seconds = static_cast<int>(value);
    return true;
}

bool ParseArguments(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--crash") == 0) {
            options->crash = true;
        } else if (std::strcmp(argv[i], "--machine") == 0 && i + 1 < argc) {
            options->folder = argv[++i];
        } else if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
            options->out = argv[++i];
        } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc && ParseSeconds(argv[i + 1], &options->seconds)) {
            ++i;
        } else if (std::strcmp(argv[i], "--stop-at") == 0 && i + 1 < argc &&
                   (std::strcmp(argv[i + 1], "loaded") == 0 || std::strcmp(argv[i + 1], "plugged") == 0 ||
                    std::strcmp(argv[i + 1], "shown") == 0)) {
            options->stopAt = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: talvexon-run [--machine FOLDER] [--out FOLDER] [--seconds N] [--crash]\n"
                         "                    [--stop-at loaded|plugged|shown]\n"
                         "  --machine FOLDER  the machine's folder (default ./machine, made from the templates)\n"
                         "  --out FOLDER      where the capture's files go (default the current folder; made\n"
                         "                    when missing)\n"
                         "  --seconds N       seconds of capture, 1 to 3600 (default 3)\n"
                         "  --crash           end the run without shutting down, as a crash would\n"
                         "  --stop-at POINT   wait at POINT (driver loaded, board plugged, all shown) until\n"
                         "                    killed, so that a test can kill the run there\n");
            return false;
        }
    }
    return true;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The "Parameters" values as .reg lines ("Name"=type:value), one a line.
std::vector<std::string> ParameterLines()
{
    std::string text;
    std::vector<std::string> lines;
    if (!standin::ExportRegistryText(kParameters, &text))
        return lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '"')
            lines.push_back(line);
    }
    return lines;
}

// One value as "Name  REG_DWORD  10" or "Name  REG_SZ  "text"" (large DWORDs in hex, small
// negative ones signed).
std::string FormatParameter(const std::string& line)
{
    const size_t close = line.find("\"=");
    if (close == std::string::npos)
        return {};
    const std::string name = line.substr(1, close - 1);
    const std::string value = line.substr(close + 2);
    char text[200];
    if (value.rfind("dword:", 0) == 0) {
        const unsigned long number = std::stoul(value.substr(6), nullptr, 16);
        const int32_t signedNumber = static_cast<int32_t>(number);
        if (signedNumber < 0 && signedNumber > -0xFFFF)
            std::snprintf(text, sizeof(text), "%-30s REG_DWORD %d", name.c_str(), signedNumber);
        else if (number > 0xFFFF)
            std::snprintf(text, sizeof(text), "%-30s REG_DWORD 0x%lx", name.c_str(), number);
        else
            std::snprintf(text, sizeof(text), "%-30s REG_DWORD %lu", name.c_str(), number);
        return text;
    }
    // The .reg form doubles backslashes inside quotes.
    std::string plain;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size())
            ++i;
        plain += value[i];
    }
    std::snprintf(text, sizeof(text), "%-30s REG_SZ    %s", name.c_str(), plain.c_str());
    return text;
}

// Two values a line, so that the whole key fits a screen.
void PrintParameters()
{
    const std::vector<std::string> lines = ParameterLines();
    for (size_t i = 0; i < lines.size(); i += 2) {
        const std::string left = FormatParameter(lines[i]);
        const std::string right = i + 1 < lines.size() ? FormatParameter(lines[i + 1]) : std::string();
        std::printf("  %-58s %s\n", left.c_str(), right.c_str());
    }
}

std::string ShutdownFlag()
{
    for (const std::string& line : ParameterLines())
        if (line.rfind(kShutdownValue, 0) == 0)
            return line.substr(std::strlen(kShutdownValue));
    return {};
}

// The log file the driver writes: "c:\Quillmar.log" unless "LogFileName" says otherwise; drive
// folders and names are matched without regard to case.
fs::path FindFile(const fs::path& root, const std::string& windowsPath)
{
    std::string rest = windowsPath;
    if (rest.size() < 3 || rest[1] != ':')
        return {};
    fs::path current = root;
    std::vector<std::string> parts{std::string(1, static_cast<char>(std::toupper(rest[0])))};
    std::istringstream in(rest.substr(3));
    std::string part;
    while (std::getline(in, part, '\\'))
        if (!part.empty())
            parts.push_back(part);
    for (const std::string& name : parts) {
        fs::path found;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(current, error)) {
            std::string candidate = entry.path().filename().string();
            if (candidate.size() == name.size() &&
                std::equal(candidate.begin(), candidate.end(), name.begin(),
                           [](char a, char b) { return std::tolower(a) == std::tolower(b); }))
                found = entry.path();
        }
        if (found.empty())
            return {};
        current = found;
    }
    return current;
}

std::string LogFileName()
{
    for (const std::string& line : ParameterLines()) {
        if (line.rfind("\"LogFileName\"=\"", 0) == 0) {
            std::string value = line.substr(15, line.size() - 16);
            std::string plain;
            for (size_t i = 0; i < value.size(); ++i) {
                if (value[i] == '\\' && i + 1 < value.size())
                    ++i;
                plain += value[i];
            }
            return plain;
        }
    }
    return "c:\\Quillmar.log";
}

void PrintIndented(const std::string& text, size_t maximumLines)
{
    std::istringstream in(text);
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    const size_t skip = lines.size() > maximumLines ? lines.size() - maximumLines : 0;
    if (skip != 0)
        std::printf("  ... (%zu earlier lines)\n", skip);
    for (size_t i = skip; i < lines.size(); ++i)
        std::printf("  %s\n", lines[i].c_str());
}

std::string Narrow(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// A value of a key as its .reg line gives it (the text after "Name"=), or empty.
std::string RegistryValue(const std::u16string& key, const std::string& name)
{
    std::string text;
    if (!standin::ExportRegistryText(key, &text))
        return {};
    std::istringstream in(text);
    std::string line;
    const std::string prefix = "\"" + name + "\"=";
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind(prefix, 0) == 0) {
            std::string value = line.substr(prefix.size());
            if (value.size() >= 2 && value.front() == '"')
                value = value.substr(1, value.size() - 2);
            return value;
        }
    }
    return {};
}

const char* RunningProgram(board::Personality personality)
{
    switch (personality) {
    case board::Personality::MainFirmware: return "the main firmware";
    case board::Personality::MemoryTester: return "the memory tester";
    case board::Personality::PciTester: return "the PCI tester";
    default: return "nothing (the DSP is silent)";
    }
}

// The board as the model sees it after the driver brought it up.
void PrintBoard(board::CaptureBoard& captureBoard)
{
    std::printf("  DSP running: %s\n", RunningProgram(captureBoard.CurrentPersonality()));
    board::FpgaModel& fpga = captureBoard.Fpga();
    if (fpga.Configured())
        std::printf("  FPGA: configured (design version 0x%08X), register 34 = 0x%02X\n", fpga.DesignVersion(),
                    fpga.Register(34));
    else
        std::printf("  FPGA: not configured\n");
    board::Eeprom& eeprom = captureBoard.Eeprom();
    std::string serial;
    for (uint32_t i = 14; i < 24; ++i)
        serial += static_cast<char>(eeprom.Word(i) & 0xFF);
    std::printf("  EEPROM: serial number \"%s\", made %04u-%02u-%02u %02u:%02u:%02u\n", serial.c_str(),
                eeprom.Word(26), eeprom.Word(27), eeprom.Word(28), eeprom.Word(29), eeprom.Word(30), eeprom.Word(31));
}

// Every enabled interface of a category with its "FriendlyName", as an application finds them.
void PrintInterfaces(const char* label, const GUID& category)
{
    ULONG length = 0;
    if (CM_Get_Device_Interface_List_SizeW(&length, &category, nullptr, CM_GET_DEVICE_INTERFACE_LIST_PRESENT) !=
        CR_SUCCESS)
        return;
    std::vector<WCHAR> list(length + 1);
    if (CM_Get_Device_Interface_ListW(&category, nullptr, list.data(), static_cast<ULONG>(list.size()),
                                      CM_GET_DEVICE_INTERFACE_LIST_PRESENT) != CR_SUCCESS)
        return;
    for (const WCHAR* path = list.data(); *path != 0; path += std::char_traits<char16_t>::length(path) + 1) {
        WCHAR name[256] = {};
        ULONG size = sizeof(name);
        DEVPROPTYPE type = 0;
        const CONFIGRET result = CM_Get_Device_Interface_PropertyW(
            path, &DEVPKEY_DeviceInterface_FriendlyName, &type, reinterpret_cast<PBYTE>(name), &size, 0);
        std::printf("  %-9s \"%s\"\n", label,
                    result == CR_SUCCESS ? Narrow(name).c_str() : "(no FriendlyName)");
    }
}

// The board's keys: its instance id in its driver key and its "DeviceDesc" in its Enum key.
void PrintDeviceKeys(platform::Machine& machine, board::CaptureBoard& captureBoard)
{
    const auto plugged = machine.Device(captureBoard);
    if (!plugged)
        return;
    const std::u16string control = u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\";
    const std::string id = RegistryValue(control + u"Control\\Class\\" + plugged->driverKeyName, "InstanceId");
    std::printf("  instance id: %s\n",
                id.rfind("dword:", 0) == 0 ? std::to_string(std::stoul(id.substr(6), nullptr, 16)).c_str() : "(none)");
    std::printf("  \"DeviceDesc\": \"%s\"\n",
                RegistryValue(control + u"Enum\\" + plugged->instancePath, "DeviceDesc").c_str());
}

// The board's filters by the names the property pages build; false when one is missing.
bool PrintFiltersByName()
{
    const std::vector<FilterInterface> capture = FilterDirectory::List(KSCATEGORY_CAPTURE);
    DeviceNames names;
    if (capture.empty() || !FilterDirectory::ReadDeviceNames(capture.front().path, &names)) {
        std::printf("  the device configuration cannot be read from a capture filter\n");
        return false;
    }
    std::printf("  name prefix \"%s\", device number %u\n", Narrow(names.prefix).c_str(), names.number);
    bool complete = true;
    auto show = [&](const char* what, const GUID& category, const std::u16string& name) {
        const bool found = !FilterDirectory::FindByName(category, name).empty();
        std::printf("  %-24s \"%s\" %s\n", what, Narrow(name).c_str(), found ? "found" : "MISSING");
        complete = complete && found;
    };
    show("video capture filter", KSCATEGORY_CAPTURE, names.Video());
    show("crossbar filter", KSCATEGORY_CROSSBAR, names.Crossbar());
    bool input0 = false;
    for (const FilterInterface& audio : FilterDirectory::List(KSCATEGORY_AUDIO)) {
        uint32_t index = 0;
        std::u16string input;
        if (FilterDirectory::ReadAudioInput(audio.path, &index, &input) && index == 0) {
            show("audio filter of input 0", KSCATEGORY_AUDIO, names.Audio(input));
            input0 = true;
            break;
        }
    }
    if (!input0) {
        std::printf("  no audio filter answers for input 0\n");
        complete = false;
    }
    return complete;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseArguments(argc, argv, &options))
        return 2;
    // The capture's files must have a place before anything runs.
    std::string outError;
    if (!capture::CheckOutputFolder(options.out, &outError)) {
        std::fprintf(stderr, "talvexon-run: the output folder cannot be written: %s\n", outError.c_str());
        return 1;
    }

    // The firmware announces the input state at boot, so a started board reports it at once.
    toolboot::BoardMachineOptions bootOptions;
    bootOptions.configuration.bootAnnouncement = true;
    const fs::path eventLogPath = options.folder / platform::Machine::kEventLogFile;
    std::error_code error;
    const uintmax_t eventLogStart = fs::exists(eventLogPath) ? fs::file_size(eventLogPath, error) : 0;

    toolboot::BoardMachine booted;
    try {
        booted = toolboot::OpenBoardMachine(options.folder, bootOptions);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "talvexon-run: the machine in %s cannot boot: %s\n", options.folder.string().c_str(),
                     e.what());
        return 1;
    }
    board::CaptureBoard& captureBoard = *booted.board;
    std::unique_ptr<platform::Machine>& machine = booted.machine;
    // The records that only tests read stay small: the board's access log off, the mailbox's
    // command log and the debugger's record of printed texts a few hundred entries, so that a long
    // capture holds no more memory after its first seconds than at its start.
    captureBoard.SetAccessLogEnabled(false);
    captureBoard.Mailbox().SetCommandLogCapacity(256);
    standin::SetDebugOutputCapacity(256);
    std::printf("machine: %s\n", fs::absolute(options.folder).string().c_str());

    const std::string flag = ShutdownFlag();
    if (flag.empty())
        std::printf("previous run: none recorded (\"DriverShutdownSuccessfull\" missing, counts as clean)\n");
    else if (flag == "00000001")
        std::printf("previous run: ended cleanly (\"DriverShutdownSuccessfull\" = 1): the trace log starts anew\n");
    else
        std::printf("previous run: ended without shutdown (\"DriverShutdownSuccessfull\" = 0): the trace log is "
                    "appended to\n");

    const NTSTATUS status = booted.LoadDriver();
    std::printf("driver: Talvexon_x86.sys loaded, DriverEntry returned 0x%08X\n", static_cast<unsigned>(status));
    if (!NT_SUCCESS(status)) {
        machine->Shutdown();
        return 1;
    }

    StopIfAt(options, "loaded");

    const NTSTATUS plugged = booted.PlugBoard();
    std::printf("board: plugged at bus 1, device 0 (PCI\\VEN_7A1E&DEV_0001), start returned 0x%08X\n",
                static_cast<unsigned>(plugged));
    PrintDeviceKeys(*machine, captureBoard);
    PrintBoard(captureBoard);
    StopIfAt(options, "plugged");
    std::printf("\nfilter interfaces:\n");
    PrintInterfaces("capture", KSCATEGORY_CAPTURE);
    PrintInterfaces("video", KSCATEGORY_VIDEO);
    PrintInterfaces("audio", KSCATEGORY_AUDIO);
    PrintInterfaces("crossbar", KSCATEGORY_CROSSBAR);
    std::printf("\nfilters by name, as the property pages find them:\n");
    PrintFiltersByName();

    std::printf("\n\"Parameters\" after the load:\n");
    PrintParameters();

    // The capture, unless the run is one that ends early on purpose.
    capture::CaptureResult captured;
    const bool capturing = !options.crash && options.stopAt.empty();
    if (capturing) {
        std::printf("\ncapture into %s:\n", fs::absolute(options.out).string().c_str());
        std::fflush(stdout);
        captured = capture::RunCapture(captureBoard, options.folder, options.seconds, options.out);
        if (!captured.ok)
            std::printf("  capture failed: %s\n", captured.error.c_str());
    }

    const std::string logName = LogFileName();
    StopIfAt(options, "shown");
    if (options.crash) {
        std::printf("\nending without shutdown (--crash): the driver stays loaded and the flag stays 0\n");
        std::fflush(stdout);
        machine->EndWithoutShutdown(0);
    }

    const platform::UnloadReport report = machine->Shutdown();
    std::printf("\nshutdown: driver unloaded, %zu leak(s) reported, \"DriverShutdownSuccessfull\" = %s\n",
                report.leaks, ShutdownFlag() == "00000001" ? "1" : ShutdownFlag().c_str());

    const fs::path logPath = FindFile(options.folder, logName);
    std::printf("\ntrace log %s:\n", logName.c_str());
    if (logPath.empty())
        std::printf("  (not written: \"LogTraceToFile\" is 0)\n");
    else
        PrintIndented(ReadFile(logPath), 40);

    std::printf("\nevent log, this run:\n");
    const std::string events = ReadFile(eventLogPath);
    const std::string runEvents = eventLogStart <= events.size() ? events.substr(eventLogStart) : events;
    PrintIndented(runEvents, 40);
    std::fflush(stdout);
    if (!capturing)
        return report.leaks == 0 ? 0 : 1;

    std::printf("\nsummary:\n");
    for (const capture::PinCount& pin : captured.pins)
        std::printf("  %-8s pin: %llu delivered, %llu dropped\n", pin.name.c_str(),
                    static_cast<unsigned long long>(pin.delivered), static_cast<unsigned long long>(pin.dropped));
    std::printf("  caption text seen: \"%s\"\n", captured.captionText.c_str());
    std::printf("  capture.avi: %u pictures (%llu repeated for dropped ones), %llu bytes of audio\n",
                captured.aviFrames, static_cast<unsigned long long>(captured.repeatedPictures),
                static_cast<unsigned long long>(captured.aviAudioBytes));
    std::printf("  contact.png: %s\n", captured.ok ? "written" : "not written");
    size_t entries = 0;
    std::istringstream eventLines(runEvents);
    for (std::string line; std::getline(eventLines, line);)
        entries += line.find_first_not_of(" \r") != std::string::npos ? 1 : 0;
    std::printf("  event-log entries this run: %zu\n", entries);
    std::fflush(stdout);
    return report.leaks == 0 && captured.ok ? 0 : 1;
}
