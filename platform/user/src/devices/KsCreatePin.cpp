// KsCreatePin: a pin opened relative to its filter's handle, the create's name carrying the connect
// record and the data format after the pin-create string.
#include "km/fileobject.h"
#include "km/ksclock.h"
#include "standin/devicefile.h"
#include "standin/ks.h"
#include "um/errhandlingapi.h"
#include "um/ks.h"
#include "um/winternl.h"

#include <cstring>
#include <string>
#include <vector>

extern "C" DWORD WINAPI KsCreatePin(HANDLE FilterHandle, PKSPIN_CONNECT Connect, ACCESS_MASK DesiredAccess,
                                    PHANDLE ConnectionHandle)
{
    if (!FilterHandle || !Connect || !ConnectionHandle)
        return ERROR_INVALID_PARAMETER;
    *ConnectionHandle = nullptr;
    const auto* format = reinterpret_cast<const KSDATAFORMAT*>(Connect + 1);
    uint32_t formatSize = 0;
    std::memcpy(&formatSize, &format->FormatSize, sizeof formatSize);
    size_t whole = formatSize < sizeof(KSDATAFORMAT) ? sizeof(KSDATAFORMAT) : formatSize;
    uint32_t flags = 0;
    std::memcpy(&flags, &format->Flags, sizeof flags);
    if ((flags & KSDATAFORMAT_ATTRIBUTES) && formatSize >= sizeof(KSDATAFORMAT)) {
        // The attribute list follows the format, 8-byte aligned.
        const size_t at = (size_t(formatSize) + 7) & ~size_t(7);
        KSMULTIPLE_ITEM list;
        std::memcpy(&list, reinterpret_cast<const UCHAR*>(format) + at, sizeof list);
        whole = at + list.Size;
    }
    const std::u16string_view prefix(KSSTRING_Pin);
    const size_t bytes = sizeof(KSPIN_CONNECT) + whole;
    // A name holds at most 0xFFFE bytes.
    if ((prefix.size() + 1) * sizeof(char16_t) + bytes + 1 > 0xFFFE)
        return ERROR_INVALID_PARAMETER;
    std::u16string name(prefix);
    name += u'\\';
    const size_t at = name.size();
    name.resize(at + (bytes + 1) / sizeof(char16_t), u'\0');
    std::memcpy(name.data() + at, Connect, bytes);

    standin::DeviceOpenRequest request;
    request.desiredAccess = DesiredAccess | SYNCHRONIZE;
    request.createOptions = FILE_SYNCHRONOUS_IO_NONALERT;
    request.requestorMode = UserMode;
    HANDLE handle = nullptr;
    const NTSTATUS status = standin::OpenDeviceFile(name, FilterHandle, request, &handle);
    if (!NT_SUCCESS(status))
        return RtlNtStatusToDosError(status);
    *ConnectionHandle = handle;
    return ERROR_SUCCESS;
}

HANDLE standin::CreateMachineClock()
{
    HANDLE handle = nullptr;
    const NTSTATUS status = standin::KsCreateMachineClock(UserMode, &handle);
    SetLastError(NT_SUCCESS(status) ? ERROR_SUCCESS : RtlNtStatusToDosError(status));
    return NT_SUCCESS(status) ? handle : nullptr;
}

DWORD standin::KsCreateStandardPin(HANDLE filter, ULONG pinId, const void* format, size_t formatBytes, PHANDLE pin)
{
    if (!format && formatBytes != 0)
        return ERROR_INVALID_PARAMETER;
    std::vector<uint64_t> request((sizeof(KSPIN_CONNECT) + formatBytes + 7) / 8, 0);
    KSPIN_CONNECT connect{};
    connect.Interface.Set = KSINTERFACESETID_Standard;
    connect.Medium.Set = KSMEDIUMSETID_Standard;
    connect.PinId = pinId;
    connect.Priority.PriorityClass = KSPRIORITY_NORMAL;
    auto* bytes = reinterpret_cast<UCHAR*>(request.data());
    std::memcpy(bytes, &connect, sizeof connect);
    if (formatBytes != 0)
        std::memcpy(bytes + sizeof connect, format, formatBytes);
    return KsCreatePin(filter, reinterpret_cast<PKSPIN_CONNECT>(bytes), GENERIC_READ, pin);
}
