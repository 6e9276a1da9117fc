// Fuzz harness of the property and event requests user mode sends to a kernel-streaming filter and
// pin: any bytes as one request to the test minidriver's capture filter or to a capture pin opened
// on it, through DeviceIoControl, so that the framework's checks of the caller's records (property
// and event items, pin data ranges and their intersection, event data, query buffers) and the
// minidriver's handlers see whatever a caller may send. Both buffers are on the heap at their
// exact sizes, so a read or write past either is seen. Checked besides: the call returns, its byte
// count never exceeds the caller's output buffer, and the handles close cleanly.
//
// Input: byte 0 bit 0 the pin (else the filter), bits 1-3 the control code (property, enable
// event, disable event, the minidriver's raise-notification code), bit 4 puts the run's
// notification event handle into the output buffer's word at offset 4 (KSEVENTDATA.EventHandle),
// bit 5 passes no output buffer; byte 1 the set: below the table's size, the request's first 16
// bytes become that set's identifier; bytes 2-3 the request's length (little-endian, cut to what
// follows); then the request, and the rest is the output buffer's initial bytes.
#include "KsMinidriver.h"
#include "km/kernel.h"
#include "standin/devicefile.h"
#include "standin/devices.h"
#include "standin/registry.h"
#include "standin/verifier.h"
#include "um/cfgmgr32.h"
#include "um/ks.h"
#include "um/windows.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr char16_t kInstance[] = u"PCI\\VEN_1172&DEV_0004&SUBSYS_00041172&REV_01\\4&1&0&0020";

const GUID kSets[] = {KSPROPSETID_Pin,           KSPROPSETID_Connection,   KSPROPSETID_General,
                      KSPROPSETID_Topology,      KSPROPSETID_Stream,       kstest::kTestPropertySet,
                      kstest::kNodePropertySet,  kstest::kNotificationSet, kstest::kPinPropertySet};
constexpr size_t kSetCount = sizeof(kSets) / sizeof(kSets[0]);

const ULONG kCodes[] = {IOCTL_KS_PROPERTY, IOCTL_KS_ENABLE_EVENT, IOCTL_KS_DISABLE_EVENT, kstest::kRaiseNotification};

NTSTATUS Pnp(PDEVICE_OBJECT pdo, UCHAR minor)
{
    IO_STACK_LOCATION request{};
    request.MajorFunction = IRP_MJ_PNP;
    request.MinorFunction = minor;
    CM_RESOURCE_LIST none{};
    request.Parameters.StartDevice.AllocatedResources = &none;
    request.Parameters.StartDevice.AllocatedResourcesTranslated = &none;
    PDEVICE_OBJECT top = IoGetAttachedDeviceReference(pdo);
    const IO_STATUS_BLOCK result = standin::CallDriverAndWait(top, request);
    ObDereferenceObject(top);
    return result.Status;
}

// The started device's capture interface, once for the process.
const std::u16string& CapturePath()
{
    static const std::u16string path = [] {
        standin::VerifierSetEcho(false);
        standin::ResetRegistry();
        standin::ResetDeviceInterfaces();
        standin::PhysicalDeviceProperties properties;
        properties.instancePath = kInstance;
        PDEVICE_OBJECT pdo = standin::CreatePhysicalDeviceObject(properties);
        PDRIVER_OBJECT driver = kstest::LoadMinidriver();
        if (!pdo || !driver || driver->DriverExtension->AddDevice(driver, pdo) != STATUS_SUCCESS ||
            Pnp(pdo, IRP_MN_START_DEVICE) != STATUS_SUCCESS)
            std::abort();
        ULONG length = 0;
        if (CM_Get_Device_Interface_List_SizeW(&length, &KSCATEGORY_CAPTURE, nullptr, 0) != CR_SUCCESS)
            std::abort();
        std::vector<WCHAR> list(length);
        if (CM_Get_Device_Interface_ListW(&KSCATEGORY_CAPTURE, nullptr, list.data(), length, 0) != CR_SUCCESS ||
            list.empty() || list[0] == 0)
            std::abort();
        return std::u16string(list.data());
    }();
    return path;
}

HANDLE OpenPin(HANDLE filter)
{
    struct {
        KSPIN_CONNECT connect;
        kstest::VideoRange format;
    } request{};
    request.connect.Interface.Set = KSINTERFACESETID_Standard;
    request.connect.Medium.Set = KSMEDIUMSETID_Standard;
    request.connect.PinId = 0;
    request.connect.Priority.PriorityClass = KSPRIORITY_NORMAL;
    request.format = kstest::CaptureRange(0);
    request.format.info.width = 16;
    request.format.info.height = 8;
    request.format.info.sizeImage = 16 * 8 * request.format.info.bitCount / 8;
    request.format.info.avgTimePerFrame = 600000000; // a minute: no frames during a request
    HANDLE pin = nullptr;
    if (KsCreatePin(filter, &request.connect, GENERIC_READ, &pin) != 0)
        std::abort();
    return pin;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    const std::u16string& path = CapturePath();
    const bool onPin = data[0] & 1;
    const ULONG code = kCodes[((data[0] >> 1) & 7) % (sizeof(kCodes) / sizeof(kCodes[0]))];
    const bool putEvent = data[0] & 0x10;
    const bool noOutput = data[0] & 0x20;
    const size_t set = data[1];
    size_t requestLength = data[2] | (size_t(data[3]) << 8);
    if (requestLength > size - 4)
        requestLength = size - 4;
    const size_t outputLength = size - 4 - requestLength;

    std::unique_ptr<UCHAR[]> request(new UCHAR[requestLength ? requestLength : 1]);
    std::memcpy(request.get(), data + 4, requestLength);
    if (set < kSetCount && requestLength >= sizeof(GUID))
        std::memcpy(request.get(), &kSets[set], sizeof(GUID));
    std::unique_ptr<UCHAR[]> output(new UCHAR[outputLength ? outputLength : 1]);
    std::memcpy(output.get(), data + 4 + requestLength, outputLength);

    HANDLE filter = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (filter == INVALID_HANDLE_VALUE)
        std::abort();
    HANDLE pin = onPin ? OpenPin(filter) : nullptr;
    HANDLE notify = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!notify)
        std::abort();
    if (putEvent && outputLength >= 8) {
        const ULONG handle = ULONG(reinterpret_cast<uintptr_t>(notify));
        std::memcpy(output.get() + 4, &handle, sizeof(handle));
    }

    DWORD bytes = 0;
    const BOOL ok = DeviceIoControl(onPin ? pin : filter, code, requestLength ? request.get() : nullptr,
                                    DWORD(requestLength), noOutput ? nullptr : output.get(),
                                    noOutput ? 0 : DWORD(outputLength), &bytes, nullptr);
    if (ok && bytes > (noOutput ? 0 : outputLength)) {
        std::fprintf(stderr, "%lu bytes returned into a buffer of %zu\n", static_cast<unsigned long>(bytes),
                     noOutput ? size_t(0) : outputLength);
        std::abort();
    }
    // Closing disables whatever the request enabled on these handles.
    if (pin && !CloseHandle(pin))
        std::abort();
    if (!CloseHandle(filter) || !CloseHandle(notify))
        std::abort();
    standin::VerifierTakeViolations();
    return 0;
}
