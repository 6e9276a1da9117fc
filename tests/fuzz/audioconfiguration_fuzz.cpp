// Fuzz harness of the audio configuration record a caller sets: any bytes as the 122-byte record
// (the first byte also picks whether a daughter card is fitted) against a board of eight audio
// inputs. A refused record changes nothing in the board's registry; an accepted one leaves inputs
// 1 to 4 SDI, inputs 5 to 8 of the card's types (SDI with the card disabled), and no two inputs
// with the same identifier.
#include "brevicorrecords.h"
#include "device.h"
#include "driver.h"
#include "driverentry.h"
#include "km/kernel.h"
#include "standin/devices.h"
#include "standin/registry.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

constexpr char kBoardReg[] =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";
constexpr char16_t kAudioInputs[] =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000"
    u"\\AudioInputs";

std::string BoardText()
{
    std::string text = "Windows Registry Editor Version 5.00\n\n[-" + std::string(kBoardReg) + "]\n\n[" +
                       std::string(kBoardReg) + "\\AudioInputs]\n\"Count\"=dword:00000008\n";
    for (int i = 1; i <= 8; ++i) {
        char name[48];
        std::snprintf(name, sizeof(name), "{5D61FB%02X-23EF-4D82-AD98-AD61EEAED7F5}", i - 1);
        text += "\n[" + std::string(kBoardReg) + "\\AudioInputs\\Input" + std::to_string(i) + "]\n\"InputName\"=\"" +
                name + "\"\n";
    }
    return text;
}

struct Board {
    PDEVICE_OBJECT pdo = nullptr;
    Device* device = nullptr;
};

Board* SetUp()
{
    static Board board;
    static bool ready = false;
    if (ready)
        return &board;
    ready = true;
    standin::ImportRegistryText("Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Talvexon\\Parameters]\n"
                                "\"HardwareInstalled\"=dword:00000000\n");
    PDRIVER_OBJECT driverObject = standin::CreateDriverObject(u"Talvexon");
    UNICODE_STRING path;
    RtlInitUnicodeString(&path, u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\Talvexon");
    if (DriverEntryMain(driverObject, &path) != STATUS_SUCCESS)
        std::abort();
    standin::PhysicalDeviceProperties properties;
    properties.enumeratorName = u"PCI";
    properties.classGuid = u"{4d36e96c-e325-11ce-bfc1-08002be10318}";
    properties.driverKeyName = u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";
    board.pdo = standin::CreatePhysicalDeviceObject(properties);
    board.device = new Device(Driver::Instance());
    board.device->SetPhysicalDeviceObject(board.pdo);
    board.device->SetInstanceId(1);
    return &board;
}

std::string Export()
{
    std::string text;
    standin::ExportRegistryText(kAudioInputs, &text);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Board* board = SetUp();
    if (!standin::ImportRegistryText(BoardText()))
        std::abort();
    Device::LoadAudioInputsFromRegistry(board->device, board->pdo, board->device->GetAudioInputItems());
    board->device->GetAudioInputItems()->SetDaughterCardState(size != 0 && (data[0] & 1) ? 0 : 31);
    BrevicorAudioConfigRecord record{};
    if (size != 0)
        std::memcpy(&record, data, size < sizeof(record) ? size : sizeof(record));
    const std::string before = Export();
    const NTSTATUS status = board->device->SetAudioConfigurationSettings(&record);
    if (!NT_SUCCESS(status)) {
        if (Export() != before)
            std::abort();
        return 0;
    }
    BrevicorAudioConfigRecord after{};
    board->device->GetAudioInputSettings(&after);
    std::set<std::u16string> names;
    for (int i = 0; i < 8; ++i) {
        const ULONG type = after.inputs[i].connectorType;
        if (i < 4 && type != 10)
            std::abort();
        if (i >= 4 && (after.daughterCardEnable != 0 ? (type < 11 || type > 14) : type != 10))
            std::abort();
        const auto name = standin::ReadRegistryString(std::u16string(kAudioInputs) + u"\\Input" +
                                                          static_cast<char16_t>(u'1' + i),
                                                      u"InputName");
        if (!name || !names.insert(*name).second)
            std::abort();
    }
    return 0;
}
