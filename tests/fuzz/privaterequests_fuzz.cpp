// Fuzz harness of the private device-control requests' records from user mode: any bytes become one
// request (its code, output length and input record) sent with DeviceIoControl to the video capture
// filter of a simulated board brought up once by the machine through the driver file. Every request
// must complete; a failure returns no bytes and a success no more than the output holds. Requests
// that would take the board away from later inputs are steered clear of it: no reset, no wait for an
// interrupt, memory writes go to a scratch page of external memory and register writes to a scratch
// register, unless their range is refused anyway.
//
// Input: byte 0 picks the code (16 private codes, then any other), bytes 1 and 2 the output length
// (little-endian, at most 8192), the rest is the input record.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "BoardMachine.h"
#include "board/CaptureBoard.h"
#include "board/StandardImages.h"
#include "km/kernel.h"
#include "platform/machine/Machine.h"
#include "shared/kscategories.h"
#include "um/cfgmgr32.h"
#include "um/windows.h"

namespace {

constexpr uint32_t kCodes[] = {0x226002, 0x226006, 0x22A009, 0x22600E, 0x22A00D, 0x226012, 0x226016, 0x22A019,
                               0x22A01E, 0x22A022, 0x226026, 0x22602A, 0x22602E, 0x226032, 0x22A035, 0x22A03A};
constexpr uint32_t kWriteDspMemory = 0x22A009;
constexpr uint32_t kWriteDspRegister = 0x22A00D;
constexpr uint32_t kWaitForDspInterrupt = 0x226012;
constexpr uint32_t kResetDsp = 0x22A022;
constexpr uint32_t kScratchPage = 0x80400000;    // external memory nothing else uses
constexpr uint32_t kScratchRegister = 0x1000;    // plain storage of the register range
constexpr uint32_t kRegisterRangeBytes = 0x800000;
constexpr size_t kMaximumOutput = 8192;

struct Rig {
    std::filesystem::path folder;
    std::unique_ptr<board::CaptureBoard> board;
    std::unique_ptr<platform::Machine> machine;
    HANDLE filter = INVALID_HANDLE_VALUE;
};

HANDLE OpenFilter()
{
    ULONG length = 0;
    CM_Get_Device_Interface_List_SizeW(&length, &KSCATEGORY_VIDEO, nullptr, CM_GET_DEVICE_INTERFACE_LIST_PRESENT);
    std::vector<WCHAR> list(length + 1);
    if (CM_Get_Device_Interface_ListW(&KSCATEGORY_VIDEO, nullptr, list.data(), static_cast<ULONG>(list.size()),
                                      CM_GET_DEVICE_INTERFACE_LIST_PRESENT) != CR_SUCCESS ||
        list[0] == 0)
        return INVALID_HANDLE_VALUE;
    return CreateFileW(list.data(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Brought up once for the whole run and never shut down: the process ends with it.
Rig& TheRig()
{
    static Rig* rig = [] {
        auto* made = new Rig;
        std::random_device random;
        made->folder = std::filesystem::temp_directory_path() / ("privaterequests-fuzz-" + std::to_string(random()));
        toolboot::BoardMachineOptions options;
        options.images = {board::StandardImages::kFirmwareFileName, board::StandardImages::kFpgaFileName,
                          board::StandardImages::kMemoryTesterFileName, board::StandardImages::kPciTesterFileName};
        options.speedFactor = 20.0;
        options.bootOnRelease = true; // the start finds the DSP booted when it waits
        toolboot::BoardMachine booted = toolboot::BootBoardMachine(made->folder, options);
        if (!NT_SUCCESS(booted.status))
            std::abort();
        made->board = std::move(booted.board);
        made->machine = std::move(booted.machine);
        made->filter = OpenFilter();
        if (made->filter == INVALID_HANDLE_VALUE)
            std::abort();
        std::atexit([] { std::filesystem::remove_all(TheRig().folder); });
        return made;
    }();
    return *rig;
}

uint32_t Word(const std::vector<uint8_t>& bytes, size_t index)
{
    uint32_t value = 0;
    if (bytes.size() >= 4 * index + 4)
        std::memcpy(&value, bytes.data() + 4 * index, 4);
    return value;
}

void SetWord(std::vector<uint8_t>& bytes, size_t index, uint32_t value)
{
    if (bytes.size() >= 4 * index + 4)
        std::memcpy(bytes.data() + 4 * index, &value, 4);
}

// Keeps the board usable for the next input.
uint32_t Steer(uint32_t code, std::vector<uint8_t>& input)
{
    if (code == kResetDsp || code == kWaitForDspInterrupt)
        return kCodes[0];
    if (code == kWriteDspMemory)
        SetWord(input, 0, kScratchPage | (Word(input, 0) & 0x3FFFFF));
    if (code == kWriteDspRegister && Word(input, 0) < kRegisterRangeBytes)
        SetWord(input, 0, kScratchRegister + (Word(input, 0) & 0xFF));
    return code;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    Rig& rig = TheRig();
    const size_t pick = data[0] % (std::size(kCodes) + 1);
    uint32_t code = pick < std::size(kCodes) ? kCodes[pick] : 0x220000u | (uint32_t{data[0]} << 2) | 2u;
    const size_t outputLength = (data[1] | size_t{data[2]} << 8) % (kMaximumOutput + 1);
    std::vector<uint8_t> input(data + 3, data + size);
    code = Steer(code, input);
    std::vector<uint8_t> output(outputLength, 0xEE);
    DWORD returned = 0xFFFFFFFF;
    const BOOL ok = DeviceIoControl(rig.filter, code, input.empty() ? nullptr : input.data(),
                                    static_cast<DWORD>(input.size()), output.empty() ? nullptr : output.data(),
                                    static_cast<DWORD>(output.size()), &returned, nullptr);
    if (ok ? returned > outputLength : returned != 0)
        std::abort();
    return 0;
}
