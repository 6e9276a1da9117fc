// talvexon-diag: a host program for running and testing the driver's private requests, not part of
// the system. It boots a machine folder as the main job does (./machine by default), installs the
// driver and the board's images, plugs one simulated board, opens the board's video capture filter
// by its interface as an application would, and sends one private request from user mode:
//
//   info                        GET DSP MEMORY INFO
//   mem ADDRESS LENGTH          READ DSP MEMORY, as a hex dump
//   reg OFFSET WIDTH COUNT      READ DSP REGISTER (width codes 0 to 4)
//   fpga REGISTER               READ FPGA REGISTER
//   eeprom [0|1|all]            READ DSP EEPROM, the part's words
//   config                      READ DEVICE CONFIG, decoded
//
// Exit status 0 on success; 1 with the Win32 error of a failed request (or when the machine cannot
// bring the board up); 2 with the usage for bad arguments.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BoardMachine.h"
#include "shared/kscategories.h"
#include "um/cfgmgr32.h"
#include "um/windows.h"

namespace {

namespace fs = std::filesystem;


// The private requests this tool sends.
constexpr DWORD kGetDspMemoryInfo = 0x226002;
constexpr DWORD kReadDspMemory = 0x226006;
constexpr DWORD kReadDspRegister = 0x22600E;
constexpr DWORD kReadFpgaRegister = 0x226016;
constexpr DWORD kReadDspEeprom = 0x226032;
constexpr DWORD kReadDeviceConfig = 0x22A03A;
constexpr DWORD kEepromBytes = 4096;
constexpr DWORD kDeviceConfigBytes = 632;
// A dump is kept to what a screen shows.
constexpr uint32_t kMaximumDumpBytes = 0x10000;

struct Command {
    std::string name;
    std::vector<uint32_t> numbers;
};

struct Options {
    fs::path folder = "machine";
    Command command;
};

void Usage()
{
    std::fprintf(stderr,
                 "usage: talvexon-diag [--machine FOLDER] COMMAND\n"
                 "  info                     DSP memory information\n"
                 "  mem ADDRESS LENGTH       DSP memory as a hex dump (at most 65536 bytes)\n"
                 "  reg OFFSET WIDTH COUNT   DSP registers (width code 0 to 4)\n"
                 "  fpga REGISTER            an FPGA register\n"
                 "  eeprom [0|1|all]         the DSP's EEPROM (default all)\n"
                 "  config                   the device configuration, decoded\n"
                 "  --machine FOLDER         the machine's folder (default ./machine, made from the templates)\n"
                 "Numbers are decimal or 0x hexadecimal.\n");
}

bool ParseNumber(const char* text, uint32_t* value)
{
    if (*text == 0 || *text == '-')
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text, &end, 0);
    if (errno != 0 || *end != 0 || parsed > 0xFFFFFFFFull)
        return false;
    *value = static_cast<uint32_t>(parsed);
    return true;
}

bool ParseArguments(int argc, char** argv, Options* options)
{
    int i = 1;
    if (i + 1 < argc && std::strcmp(argv[i], "--machine") == 0) {
        options->folder = argv[i + 1];
        i += 2;
    }
    if (i >= argc)
        return false;
    Command& command = options->command;
    command.name = argv[i++];
    const std::vector<std::string> rest(argv + i, argv + argc);
    size_t wanted = 0;
    if (command.name == "info" || command.name == "config") {
        wanted = 0;
    } else if (command.name == "mem") {
        wanted = 2;
    } else if (command.name == "reg") {
        wanted = 3;
    } else if (command.name == "fpga") {
        wanted = 1;
    } else if (command.name == "eeprom") {
        if (rest.size() > 1)
            return false;
        const std::string part = rest.empty() ? "all" : rest[0];
        if (part == "0" || part == "1")
            command.numbers.push_back(part == "0" ? 0u : 1u);
        else if (part == "all")
            command.numbers.push_back(2u);
        else
            return false;
        return true;
    } else {
        return false;
    }
    if (rest.size() != wanted)
        return false;
    for (const std::string& text : rest) {
        uint32_t value = 0;
        if (!ParseNumber(text.c_str(), &value))
            return false;
        command.numbers.push_back(value);
    }
    if (command.name == "mem" && command.numbers[1] > kMaximumDumpBytes)
        return false;
    if (command.name == "reg" && command.numbers[1] > 4)
        return false;
    if (command.name == "reg" && uint64_t{command.numbers[2]} * 4 > kMaximumDumpBytes)
        return false;
    return true;
}

std::string Narrow(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

uint32_t Word(const std::vector<uint8_t>& bytes, size_t offset)
{
    uint32_t value;
    std::memcpy(&value, bytes.data() + offset, sizeof(value));
    return value;
}

uint16_t Short(const std::vector<uint8_t>& bytes, size_t offset)
{
    uint16_t value;
    std::memcpy(&value, bytes.data() + offset, sizeof(value));
    return value;
}

void HexDump(uint32_t address, const uint8_t* data, size_t length)
{
    for (size_t line = 0; line < length; line += 16) {
        std::printf("  %08x:", static_cast<unsigned>(address + line));
        for (size_t i = line; i < line + 16 && i < length; ++i)
            std::printf(" %02x", data[i]);
        std::printf("\n");
    }
}

// The path of the first video capture filter of the board ("Talvexon HD Video Device ...").
std::u16string FindVideoCaptureFilter()
{
    ULONG length = 0;
    if (CM_Get_Device_Interface_List_SizeW(&length, &KSCATEGORY_VIDEO, nullptr, CM_GET_DEVICE_INTERFACE_LIST_PRESENT) !=
        CR_SUCCESS)
        return {};
    std::vector<WCHAR> list(length + 1);
    if (CM_Get_Device_Interface_ListW(&KSCATEGORY_VIDEO, nullptr, list.data(), static_cast<ULONG>(list.size()),
                                      CM_GET_DEVICE_INTERFACE_LIST_PRESENT) != CR_SUCCESS)
        return {};
    for (const WCHAR* path = list.data(); *path != 0; path += std::char_traits<char16_t>::length(path) + 1) {
        WCHAR name[256] = {};
        ULONG size = sizeof(name);
        DEVPROPTYPE type = 0;
        if (CM_Get_Device_Interface_PropertyW(path, &DEVPKEY_DeviceInterface_FriendlyName, &type,
                                              reinterpret_cast<PBYTE>(name), &size, 0) == CR_SUCCESS &&
            Narrow(name).rfind("Talvexon HD Video Device", 0) == 0)
            return path;
    }
    return {};
}

// Sends one request; on failure prints the Win32 error and returns it (0 on success).
DWORD Send(HANDLE filter, const char* what, DWORD code, const std::vector<uint8_t>& input,
           std::vector<uint8_t>* output, DWORD* returned)
{
    *returned = 0;
    if (DeviceIoControl(filter, code, input.empty() ? nullptr : const_cast<uint8_t*>(input.data()),
                        static_cast<DWORD>(input.size()), output->empty() ? nullptr : output->data(),
                        static_cast<DWORD>(output->size()), returned, nullptr))
        return 0;
    const DWORD error = GetLastError();
    std::fprintf(stderr, "talvexon-diag: %s failed: Win32 error %lu (0x%08lx)\n", what,
                 static_cast<unsigned long>(error), static_cast<unsigned long>(error));
    return error;
}

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> bytes(words.size() * 4);
    size_t offset = 0;
    for (uint32_t word : words) {
        std::memcpy(bytes.data() + offset, &word, 4);
        offset += 4;
    }
    return bytes;
}

int RunInfo(HANDLE filter)
{
    std::vector<uint8_t> output(12);
    DWORD returned = 0;
    if (Send(filter, "GET DSP MEMORY INFO", kGetDspMemoryInfo, {}, &output, &returned) != 0)
        return 1;
    std::printf("DSP memory info (%lu bytes): status %u, 0x%08x, 0x%08x\n", static_cast<unsigned long>(returned),
                Word(output, 0), Word(output, 4), Word(output, 8));
    return 0;
}

int RunMemory(HANDLE filter, uint32_t address, uint32_t length)
{
    std::vector<uint8_t> output(size_t{length} + 8);
    DWORD returned = 0;
    if (Send(filter, "READ DSP MEMORY", kReadDspMemory, Words({address, length}), &output, &returned) != 0)
        return 1;
    std::printf("DSP memory at 0x%08x, %u bytes: status %u\n", address, length, Word(output, 0));
    HexDump(address, output.data() + 8, length);
    return 0;
}

int RunRegister(HANDLE filter, uint32_t offset, uint32_t widthCode, uint32_t count)
{
    const uint32_t width = widthCode <= 2 ? 1 : widthCode == 3 ? 2 : 4;
    std::vector<uint8_t> output(size_t{count} * width + 4);
    DWORD returned = 0;
    if (Send(filter, "READ DSP REGISTER", kReadDspRegister, Words({offset, widthCode, count}), &output, &returned) !=
        0)
        return 1;
    std::printf("DSP register 0x%08x, width code %u, count %u: status %u\n", offset, widthCode, count,
                Word(output, 0));
    if (widthCode == 4 && output.size() >= 8)
        std::printf("  0x%08x\n", Word(output, 4));
    else if (widthCode == 3 && output.size() >= 6)
        std::printf("  0x%04x\n", Short(output, 4));
    else
        HexDump(offset, output.data() + 4, output.size() - 4);
    return 0;
}

int RunFpga(HANDLE filter, uint32_t reg)
{
    std::vector<uint8_t> output(8);
    DWORD returned = 0;
    if (Send(filter, "READ FPGA REGISTER", kReadFpgaRegister, Words({reg}), &output, &returned) != 0)
        return 1;
    std::printf("FPGA register %u: 0x%02X (DSP result %u)\n", reg, Word(output, 4), Word(output, 0));
    return 0;
}

int RunEeprom(HANDLE filter, uint32_t part)
{
    std::vector<uint8_t> output(4 + kEepromBytes);
    DWORD returned = 0;
    if (Send(filter, "READ DSP EEPROM", kReadDspEeprom, Words({part}), &output, &returned) != 0)
        return 1;
    const uint32_t first = part == 1 ? 14 : 0;
    const uint32_t count = part == 0 ? 14 : part == 1 ? 19 : 2048;
    std::printf("DSP EEPROM %s (%lu bytes): DSP result %u\n",
                part == 0 ? "part 0, words 0 to 13" : part == 1 ? "part 1, words 14 to 32" : "all 2048 words",
                static_cast<unsigned long>(returned), Word(output, 0));
    for (uint32_t line = 0; line < count; line += 8) {
        std::printf("  word %4u:", first + line);
        for (uint32_t i = line; i < line + 8 && i < count; ++i)
            std::printf(" 0x%04X", Short(output, 4 + 2 * (first + i)));
        std::printf("\n");
    }
    return 0;
}

int RunConfig(HANDLE filter)
{
    std::vector<uint8_t> output(kDeviceConfigBytes);
    DWORD returned = 0;
    if (Send(filter, "READ DEVICE CONFIG", kReadDeviceConfig, {}, &output, &returned) != 0)
        return 1;
    // The record follows the status word: its property header, then the fields.
    const size_t r = 4;
    std::printf("device configuration (%lu bytes): status %u\n", static_cast<unsigned long>(returned),
                Word(output, 0));
    std::printf("  driver version %u.%u.%u.%u\n", Word(output, r + 24), Word(output, r + 28), Word(output, r + 32),
                Word(output, r + 36));
    std::printf("  model %u, PCI bus %u device %u function %u, instance %u\n", Short(output, r + 40),
                Short(output, r + 42), Short(output, r + 44), Short(output, r + 46), Short(output, r + 48));
    std::printf("  EEPROM vendor 0x%04X device 0x%04X, subsystem 0x%04X 0x%04X, revision %u, check word 0x%04X\n",
                Short(output, r + 50), Short(output, r + 52), Short(output, r + 54), Short(output, r + 56),
                Short(output, r + 58), Short(output, r + 50 + 26));
    std::string serial;
    for (size_t i = 0; i < 10; ++i) {
        const uint16_t c = Short(output, r + 78 + 2 * i);
        serial += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    std::printf("  serial number \"%s\", made %04u-%02u-%02u %02u:%02u:%02u\n", serial.c_str(),
                Short(output, r + 78 + 24), Short(output, r + 78 + 26), Short(output, r + 78 + 28),
                Short(output, r + 78 + 30), Short(output, r + 78 + 32), Short(output, r + 78 + 34));
    std::printf("  EEPROM word 32: 0x%04X\n", Short(output, r + 114));
    std::u16string product;
    for (size_t offset = r + 116; offset + 1 < output.size(); offset += 2) {
        const char16_t c = Short(output, offset);
        if (c == 0)
            break;
        product += c;
    }
    std::printf("  product \"%s\"\n", Narrow(product).c_str());
    return 0;
}

int RunCommand(HANDLE filter, const Command& command)
{
    const std::vector<uint32_t>& n = command.numbers;
    if (command.name == "info")
        return RunInfo(filter);
    if (command.name == "mem")
        return RunMemory(filter, n[0], n[1]);
    if (command.name == "reg")
        return RunRegister(filter, n[0], n[1], n[2]);
    if (command.name == "fpga")
        return RunFpga(filter, n[0]);
    if (command.name == "eeprom")
        return RunEeprom(filter, n[0]);
    return RunConfig(filter);
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseArguments(argc, argv, &options)) {
        Usage();
        return 2;
    }

    toolboot::BoardMachine booted;
    try {
        toolboot::BoardMachineOptions bootOptions;
        bootOptions.configuration.bootAnnouncement = true;
        booted = toolboot::BootBoardMachine(options.folder, bootOptions);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "talvexon-diag: the machine in %s cannot boot: %s\n", options.folder.string().c_str(),
                     e.what());
        return 1;
    }
    int result = 1;
    if (!NT_SUCCESS(booted.status)) {
        std::fprintf(stderr, "talvexon-diag: the board did not come up: 0x%08X\n", static_cast<unsigned>(booted.status));
    } else {
        const std::u16string path = FindVideoCaptureFilter();
        HANDLE filter = path.empty() ? INVALID_HANDLE_VALUE
                                     : CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                   OPEN_EXISTING, 0, nullptr);
        if (filter == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "talvexon-diag: no video capture filter of the board can be opened\n");
        } else {
            result = RunCommand(filter, options.command);
            CloseHandle(filter);
        }
    }
    const platform::UnloadReport report = booted.machine->Shutdown();
    if (report.leaks != 0) {
        std::fprintf(stderr, "talvexon-diag: %zu leak(s) reported at shutdown\n", report.leaks);
        result = 1;
    }
    return result;
}
