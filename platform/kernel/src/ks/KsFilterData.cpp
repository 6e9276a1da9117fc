// KsRegisterFilterWithNoKSPins: the pin description of a filter that streams outside kernel
// streaming, kept with each of its interfaces for the graph tools.
#include "Reports.h"
#include "km/deviceinterface.h"
#include "km/irql.h"
#include "km/ksfilter.h"
#include "km/pool.h"
#include "km/registry.h"
#include "km/status.h"
#include "km/string.h"

#include <cstring>
#include <string>
#include <vector>

extern "C" NTSTATUS NTAPI KsRegisterFilterWithNoKSPins(PDEVICE_OBJECT DeviceObject, const GUID* InterfaceClassGUID,
                                                       ULONG PinCount, int* PinDirection, KSPIN_MEDIUM* MediumList,
                                                       GUID* CategoryList)
{
    standin::CheckIrqlAtMost("KsRegisterFilterWithNoKSPins", PASSIVE_LEVEL);
    if (!DeviceObject || !InterfaceClassGUID || PinCount == 0 || !PinDirection || !MediumList)
        return STATUS_INVALID_PARAMETER;
    std::vector<UCHAR> data(sizeof(ULONG));
    std::memcpy(data.data(), &PinCount, sizeof PinCount);
    auto put = [&](const void* bytes, size_t size) {
        const auto* b = static_cast<const UCHAR*>(bytes);
        data.insert(data.end(), b, b + size);
    };
    for (ULONG i = 0; i < PinCount; ++i) {
        const ULONG direction = PinDirection[i] ? 1 : 0;
        put(&direction, sizeof direction);
        put(&MediumList[i], sizeof(KSPIN_MEDIUM));
        put(CategoryList ? &CategoryList[i] : &GUID_NULL, sizeof(GUID));
    }
    PWSTR links = nullptr;
    NTSTATUS status =
        IoGetDeviceInterfaces(InterfaceClassGUID, DeviceObject, DEVICE_INTERFACE_INCLUDE_NONACTIVE, &links);
    if (!NT_SUCCESS(status))
        return status;
    ULONG written = 0;
    for (PWSTR link = links; *link && NT_SUCCESS(status); link += std::char_traits<char16_t>::length(link) + 1) {
        UNICODE_STRING name;
        RtlInitUnicodeString(&name, link);
        HANDLE key = nullptr;
        status = IoOpenDeviceInterfaceRegistryKey(&name, KEY_SET_VALUE, &key);
        if (!NT_SUCCESS(status))
            break;
        UNICODE_STRING valueName;
        RtlInitUnicodeString(&valueName, u"FilterData");
        status = ZwSetValueKey(key, &valueName, 0, REG_BINARY, data.data(), static_cast<ULONG>(data.size()));
        ZwClose(key);
        ++written;
    }
    ExFreePool(links);
    if (NT_SUCCESS(status) && written == 0)
        status = STATUS_OBJECT_NAME_NOT_FOUND;
    return status;
}
