// Fuzz harness of the crossbar records a caller sends: the first byte picks the request (caps, pin
// info, route, can route, set route), the rest is the record after its header, against a board
// whose crossbar and video capture filters have two video inputs. Every answer stays inside the
// board's inputs; a refused route changes no filter and no registry value; an accepted one gives
// every filter of the board that input.
#include "basicfilter.h"
#include "device.h"
#include "driver.h"
#include "driverentry.h"
#include "km/kernel.h"
#include "standin/devices.h"
#include "standin/registry.h"
#include "videoinputitems.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

constexpr char16_t kVideoInputs[] =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000"
    u"\\VideoInputs";

class TwoInputFilter : public BasicFilter {
public:
    TwoInputFilter()
    {
        SetDeviceNumber(1);
        m_inputs.AllocateInputs(2);
    }
    NTSTATUS OnSetProperty(PIRP, PKSPROPERTY, PVOID) override { return STATUS_SUCCESS; }
    NTSTATUS OnGetProperty(PIRP, PKSPROPERTY, PVOID) override { return STATUS_SUCCESS; }
    ULONG GetInputType(ULONG) override { return 0; }
    ULONG TranslateInputType(ULONG) override { return kVideoConnectorType; }
    ULONG GetInputCount() override { return m_inputs.GetInputCount(); }
    ULONG GetCurrentInput(ULONG, PEPROCESS) override { return m_inputs.GetSecondWord(); }
    ULONG GetCurrentInput(ULONG) override { return m_inputs.GetSecondWord(); }
    NTSTATUS SaveToRegistry() override { return STATUS_SUCCESS; }
    VideoInputItems* GetVideoInputItems() override { return &m_inputs; }

private:
    VideoInputItems m_inputs;
};

struct Board {
    Device* device = nullptr;
    TwoInputFilter crossbar;
    TwoInputFilter video;
};

Board* SetUp()
{
    static Board* board = nullptr;
    if (board != nullptr)
        return board;
    standin::ImportRegistryText("Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Talvexon\\Parameters]\n"
                                "\"HardwareInstalled\"=dword:00000000\n\n"
                                "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class\\"
                                "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000\\VideoInputs]\n"
                                "\"Count\"=dword:00000002\n");
    PDRIVER_OBJECT driverObject = standin::CreateDriverObject(u"Talvexon");
    UNICODE_STRING path;
    RtlInitUnicodeString(&path, u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\Talvexon");
    if (DriverEntryMain(driverObject, &path) != STATUS_SUCCESS)
        std::abort();
    standin::PhysicalDeviceProperties properties;
    properties.enumeratorName = u"PCI";
    properties.classGuid = u"{4d36e96c-e325-11ce-bfc1-08002be10318}";
    properties.driverKeyName = u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";
    board = new Board;
    board->device = new Device(Driver::Instance());
    board->device->SetPhysicalDeviceObject(standin::CreatePhysicalDeviceObject(properties));
    board->device->SetInstanceId(1);
    if (board->device->GetFilterInstanceId(Device::FilterTable::Crossbar, &board->crossbar) != 1 ||
        board->device->GetFilterInstanceId(Device::FilterTable::VideoCapture, &board->video) != 1)
        std::abort();
    return board;
}

template <class Record>
Record FromBytes(const uint8_t* data, size_t size)
{
    Record record{};
    const size_t payload = sizeof(Record) - sizeof(KSPROPERTY);
    std::memcpy(reinterpret_cast<uint8_t*>(&record) + sizeof(KSPROPERTY), data, size < payload ? size : payload);
    return record;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Board* board = SetUp();
    Device* device = board->device;
    if (size == 0)
        return 0;
    const uint8_t request = data[0] % 5;
    ++data;
    --size;
    switch (request) {
    case 0: {
        auto caps = FromBytes<KSPROPERTY_CROSSBAR_CAPS_S>(data, size);
        if (device->GetCrossbarCaps(&board->crossbar, &caps) != STATUS_SUCCESS || caps.NumberOfInputs != 2 ||
            caps.NumberOfOutputs != 1)
            std::abort();
        break;
    }
    case 1: {
        auto info = FromBytes<KSPROPERTY_CROSSBAR_PININFO_S>(data, size);
        const auto direction = info.Direction;
        const auto index = info.Index;
        if (device->GetCrossbarPinInfo(&board->crossbar, &info) != STATUS_SUCCESS)
            std::abort();
        if (info.Direction != direction || info.Index != index || info.RelatedPinIndex != 0xFFFFFFFFu ||
            info.Medium.Flags != 0)
            std::abort();
        if (info.PinType != (direction == KSPIN_DATAFLOW_IN ? 6u : 12u))
            std::abort();
        break;
    }
    case 2:
    case 3: {
        auto route = FromBytes<KSPROPERTY_CROSSBAR_ROUTE_S>(data, size);
        const NTSTATUS status = request == 2 ? device->GetCrossbarRoute(&board->video, &route)
                                             : device->GetCrossbarCanRoute(&board->crossbar, &route);
        if (status != STATUS_SUCCESS || route.IndexInputPin >= 2 || route.IndexOutputPin != 0 || route.CanRoute != 1)
            std::abort();
        break;
    }
    default: {
        auto route = FromBytes<KSPROPERTY_CROSSBAR_ROUTE_S>(data, size);
        const ULONG before = board->crossbar.GetCurrentInput(1);
        const std::optional<ULONG> stored = standin::ReadRegistryDword(kVideoInputs, u"ActiveInput");
        const NTSTATUS status = device->SetCrossbarRoute(&board->crossbar, &route);
        const bool valid = route.IndexInputPin < 2 && route.IndexOutputPin == 0;
        if (valid != (status == STATUS_SUCCESS))
            std::abort();
        const ULONG expected = valid ? route.IndexInputPin : before;
        if (board->crossbar.GetCurrentInput(1) != expected || board->video.GetCurrentInput(1) != expected)
            std::abort();
        const std::optional<ULONG> after = standin::ReadRegistryDword(kVideoInputs, u"ActiveInput");
        if (valid ? after != std::optional<ULONG>(expected) : after != stored)
            std::abort();
        if (device->GetCurrentVideoInput(1) != expected)
            std::abort();
        break;
    }
    }
    return 0;
}
