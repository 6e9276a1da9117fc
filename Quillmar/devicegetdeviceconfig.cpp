// Device: the device configuration record answered to clients: the driver version, the model and
// the board's PCI location and instance id, and the identity and manufacturing fields of the
// board's EEPROM image, then the product name.
#include "device.h"

#include "tracescope.h"

#include <cstring>

namespace {

// The record's layout (offsets from the start of its property header, which stays zero here).
constexpr ULONG kVersionOffset = 24;        // four 32-bit numbers
constexpr ULONG kIdentityOffset = 40;       // five 16-bit numbers
constexpr ULONG kEepromFirstOffset = 50;    // 28 bytes from the EEPROM image's start
constexpr ULONG kEepromFirstBytes = 28;
constexpr ULONG kEepromSecondOffset = 78;   // 36 bytes from the image's byte 28
constexpr ULONG kEepromSecondSource = 28;
constexpr ULONG kEepromSecondBytes = 36;
constexpr ULONG kEepromFieldOffset = 114;   // 16 bits from the image's byte 64
constexpr ULONG kEepromFieldSource = 64;
constexpr ULONG kProductOffset = 116;       // wide text to the record's end
constexpr ULONG kDriverVersion[4] = {2, 1, 62, 0};
// The product's model number.
constexpr USHORT kModelNumber = 1;
constexpr char16_t kProductName[] = u"Talvexon HD ";

void PutShort(PUCHAR record, ULONG offset, ULONG value)
{
    const USHORT narrow = static_cast<USHORT>(value);
    memcpy(record + offset, &narrow, sizeof(narrow));
}

} // namespace

NTSTATUS Device::GetDeviceConfig(PVOID record, ULONG length)
{
    TRACE_SCOPE(this, "Device::GetDeviceConfig", kTraceLowEnter);
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    if (length < kDeviceConfigBytes)
        return STATUS_BUFFER_TOO_SMALL;
    auto* bytes = static_cast<PUCHAR>(record);
    memset(bytes, 0, kDeviceConfigBytes);
    memcpy(bytes + kVersionOffset, kDriverVersion, sizeof(kDriverVersion));
    PutShort(bytes, kIdentityOffset, kModelNumber);
    PutShort(bytes, kIdentityOffset + 2, m_pciBusNumber);
    PutShort(bytes, kIdentityOffset + 4, m_pciDeviceNumber);
    PutShort(bytes, kIdentityOffset + 6, m_pciFunctionNumber);
    PutShort(bytes, kIdentityOffset + 8, static_cast<ULONG>(m_instanceId));
    memcpy(bytes + kEepromFirstOffset, m_eeprom, kEepromFirstBytes);
    memcpy(bytes + kEepromSecondOffset, m_eeprom + kEepromSecondSource, kEepromSecondBytes);
    memcpy(bytes + kEepromFieldOffset, m_eeprom + kEepromFieldSource, 2);
    static_assert(kProductOffset + sizeof(kProductName) <= kDeviceConfigBytes);
    memcpy(bytes + kProductOffset, kProductName, sizeof(kProductName));
    return STATUS_SUCCESS;
}
