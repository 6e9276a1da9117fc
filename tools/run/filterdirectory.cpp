#include "filterdirectory.h"
#include "privatesetguids.h"

#include "shared/kscategories.h"
#include "um/cfgmgr32.h"
#include "um/ks.h"

#include <cstring>

namespace {

// The driver's records the directory reads (privatesets.h).
constexpr size_t kDeviceConfigBytes = sizeof(BrevicorDeviceConfigRecord);
constexpr size_t kDeviceNumberOffset = offsetof(BrevicorDeviceConfigRecord, deviceNumber);
constexpr size_t kNamePrefixOffset = offsetof(BrevicorDeviceConfigRecord, namePrefix);
constexpr size_t kAudioInputInfoBytes = sizeof(BrevicorAudioInputInfoRecord);
constexpr size_t kLookupModeOffset = offsetof(BrevicorAudioInputInfoRecord, lookupMode);
constexpr size_t kInputIndexOffset = offsetof(BrevicorAudioInputInfoRecord, inputIndex);
constexpr size_t kInputNameOffset = offsetof(BrevicorAudioInputInfoRecord, inputName);
constexpr size_t kInputNameCharacters = kRecordTextCharacters;

// The zero-terminated text of at most `characters` characters at `offset`.
std::u16string Text(const std::vector<uint8_t>& record, size_t offset, size_t characters)
{
    std::u16string text;
    for (size_t i = 0; i < characters && offset + 2 * i + 1 < record.size(); ++i) {
        const char16_t c = char16_t(record[offset + 2 * i] | record[offset + 2 * i + 1] << 8);
        if (c == 0)
            break;
        text += c;
    }
    return text;
}

uint32_t Word(const std::vector<uint8_t>& record, size_t offset)
{
    uint32_t value = 0;
    std::memcpy(&value, &record[offset], 4);
    return value;
}

std::u16string Decimal(uint32_t value)
{
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

} // namespace

HANDLE FilterDirectory::Open(const std::u16string& path)
{
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

std::u16string DeviceNames::Video() const
{
    return prefix + u"Video Device " + Decimal(number);
}

std::u16string DeviceNames::Crossbar() const
{
    return prefix + u"Crossbar Device " + Decimal(number);
}

std::u16string DeviceNames::Audio(const std::u16string& input) const
{
    return input + u" (" + prefix + Decimal(number) + u")";
}

std::vector<FilterInterface> FilterDirectory::List(const GUID& category)
{
    std::vector<FilterInterface> found;
    ULONG length = 0;
    if (CM_Get_Device_Interface_List_SizeW(&length, &category, nullptr, CM_GET_DEVICE_INTERFACE_LIST_PRESENT) !=
        CR_SUCCESS)
        return found;
    std::vector<WCHAR> list(length + 1);
    if (CM_Get_Device_Interface_ListW(&category, nullptr, list.data(), static_cast<ULONG>(list.size()),
                                      CM_GET_DEVICE_INTERFACE_LIST_PRESENT) != CR_SUCCESS)
        return found;
    for (const WCHAR* path = list.data(); *path != 0; path += std::char_traits<char16_t>::length(path) + 1) {
        WCHAR name[256] = {};
        ULONG size = sizeof(name) - sizeof(WCHAR);
        DEVPROPTYPE type = 0;
        FilterInterface entry{path, {}};
        if (CM_Get_Device_Interface_PropertyW(path, &DEVPKEY_DeviceInterface_FriendlyName, &type,
                                              reinterpret_cast<PBYTE>(name), &size, 0) == CR_SUCCESS)
            entry.friendlyName = name;
        found.push_back(std::move(entry));
    }
    return found;
}

std::u16string FilterDirectory::FindByName(const GUID& category, const std::u16string& name)
{
    for (const FilterInterface& entry : List(category))
        if (entry.friendlyName == name)
            return entry.path;
    return {};
}

bool FilterDirectory::GetProperty(HANDLE filter, const GUID& set, uint32_t id, std::vector<uint8_t>* record)
{
    if (record->size() < sizeof(KSPROPERTY))
        return false;
    KSPROPERTY property = {};
    property.Set = set;
    property.Id = id;
    property.Flags = KSPROPERTY_TYPE_GET;
    std::memcpy(record->data(), &property, sizeof(property));
    DWORD returned = 0;
    // The driver's records carry the identifier in front: the whole record goes in and comes back.
    return DeviceIoControl(filter, IOCTL_KS_PROPERTY, record->data(), static_cast<DWORD>(record->size()),
                           record->data(), static_cast<DWORD>(record->size()), &returned, nullptr) != FALSE;
}

bool FilterDirectory::ReadDeviceNames(const std::u16string& path, DeviceNames* names)
{
    HANDLE filter = Open(path);
    if (filter == INVALID_HANDLE_VALUE)
        return false;
    std::vector<uint8_t> record(kDeviceConfigBytes, 0);
    const bool ok = GetProperty(filter, PROPSETID_BREVICOR_DEVICE_CONFIG, kBrevicorItemRecord, &record);
    CloseHandle(filter);
    if (!ok)
        return false;
    names->number = uint32_t(record[kDeviceNumberOffset] | record[kDeviceNumberOffset + 1] << 8);
    names->prefix = Text(record, kNamePrefixOffset, (kDeviceConfigBytes - kNamePrefixOffset) / 2);
    return true;
}

bool FilterDirectory::ReadAudioInput(const std::u16string& path, uint32_t* index, std::u16string* name)
{
    HANDLE filter = Open(path);
    if (filter == INVALID_HANDLE_VALUE)
        return false;
    std::vector<uint8_t> record(kAudioInputInfoBytes, 0);
    record[kLookupModeOffset] = 1; // the filter's own input
    const bool ok = GetProperty(filter, PROPSETID_BREVICOR_AUDIO_INPUT_INFO, kBrevicorAudioInputInfoItem,
                                &record);
    CloseHandle(filter);
    if (!ok)
        return false;
    *index = Word(record, kInputIndexOffset);
    *name = Text(record, kInputNameOffset, kInputNameCharacters);
    return true;
}
