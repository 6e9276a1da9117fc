// Reading the pin factories of a filter and answering the pin set of the proxy's pins.
#include "ksproxy/KsPinFactory.h"

#include "um/ksproxy.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace ksproxy {

namespace {

KSP_PIN PinRequest(ULONG pinId, ULONG id)
{
    KSP_PIN request{};
    request.Property.Set = KSPROPSETID_Pin;
    request.Property.Id = id;
    request.Property.Flags = KSPROPERTY_TYPE_GET;
    request.PinId = pinId;
    return request;
}

template <typename T> HRESULT QueryFixed(HANDLE filter, ULONG pinId, ULONG id, T* value)
{
    KSP_PIN request = PinRequest(pinId, id);
    ULONG bytes = 0;
    return KsSynchronousDeviceControl(filter, IOCTL_KS_PROPERTY, &request, sizeof request, value, sizeof *value,
                                      &bytes);
}

} // namespace

bool SplitItems(const std::vector<BYTE>& answer, size_t size, std::vector<std::vector<BYTE>>* items)
{
    if (answer.size() < sizeof(KSMULTIPLE_ITEM))
        return false;
    KSMULTIPLE_ITEM head;
    std::memcpy(&head, answer.data(), sizeof head);
    const size_t end = std::min<size_t>(head.Size, answer.size());
    size_t at = sizeof head;
    for (ULONG i = 0; i < head.Count; ++i) {
        if (end <= at)
            return false;
        size_t length = size;
        if (length == 0) {
            // A data range holds at least its KSDATARANGE head.
            if (end - at < sizeof(KSDATARANGE))
                return false;
            uint32_t formatSize = 0;
            std::memcpy(&formatSize, answer.data() + at, sizeof formatSize);
            length = formatSize;
            if (length < sizeof(KSDATARANGE))
                return false;
        }
        if (length == 0 || length > end - at)
            return false;
        items->emplace_back(answer.begin() + at, answer.begin() + at + length);
        at += size ? length : (length + 7) & ~size_t(7);
        at = std::min(at, end);
    }
    return true;
}

namespace {

std::u16string Decimal(ULONG value)
{
    const std::string text = std::to_string(value);
    return std::u16string(text.begin(), text.end());
}

} // namespace

HRESULT QueryPinProperty(HANDLE filter, ULONG pinId, ULONG id, std::vector<BYTE>* answer)
{
    KSP_PIN request = PinRequest(pinId, id);
    ULONG bytes = 0;
    HRESULT hr = KsSynchronousDeviceControl(filter, IOCTL_KS_PROPERTY, &request, sizeof request, nullptr, 0, &bytes);
    if (hr != HRESULT_FROM_WIN32(ERROR_MORE_DATA) && FAILED(hr))
        return hr;
    answer->assign(bytes, 0);
    if (bytes == 0)
        return S_OK;
    hr = KsSynchronousDeviceControl(filter, IOCTL_KS_PROPERTY, &request, sizeof request, answer->data(), bytes,
                                    &bytes);
    if (SUCCEEDED(hr))
        answer->resize(bytes);
    return hr;
}

HRESULT ReadPinFactories(HANDLE filter, std::vector<PinFactory>* factories)
{
    factories->clear();
    KSPROPERTY count{KSPROPSETID_Pin, KSPROPERTY_PIN_CTYPES, KSPROPERTY_TYPE_GET};
    ULONG types = 0;
    ULONG bytes = 0;
    HRESULT hr = KsSynchronousDeviceControl(filter, IOCTL_KS_PROPERTY, &count, sizeof count, &types, sizeof types,
                                            &bytes);
    if (FAILED(hr))
        return hr;
    for (ULONG id = 0; id < types; ++id) {
        PinFactory pin;
        pin.id = id;
        if (FAILED(hr = QueryFixed(filter, id, KSPROPERTY_PIN_DATAFLOW, &pin.dataFlow)) ||
            FAILED(hr = QueryFixed(filter, id, KSPROPERTY_PIN_COMMUNICATION, &pin.communication)) ||
            FAILED(hr = QueryFixed(filter, id, KSPROPERTY_PIN_CINSTANCES, &pin.instances)))
            return hr;
        // A pin without a category or a name has none: those answers may fail.
        QueryFixed(filter, id, KSPROPERTY_PIN_CATEGORY, &pin.category);
        std::vector<BYTE> answer;
        if (SUCCEEDED(QueryPinProperty(filter, id, KSPROPERTY_PIN_NAME, &answer)) && answer.size() >= 2) {
            pin.name.assign(answer.size() / 2, u'\0');
            std::memcpy(pin.name.data(), answer.data(), pin.name.size() * 2);
            pin.name.resize(std::char_traits<char16_t>::length(pin.name.c_str()));
        }
        if (pin.name.empty())
            pin.name = u"Pin " + Decimal(id);
        std::vector<std::vector<BYTE>> items;
        if (SUCCEEDED(QueryPinProperty(filter, id, KSPROPERTY_PIN_MEDIUMS, &answer)) &&
            SplitItems(answer, sizeof(KSPIN_MEDIUM), &items)) {
            for (const auto& item : items) {
                KSPIN_MEDIUM medium;
                std::memcpy(&medium, item.data(), sizeof medium);
                pin.mediums.push_back(medium);
            }
        }
        if (FAILED(hr = QueryPinProperty(filter, id, KSPROPERTY_PIN_DATARANGES, &answer)))
            return hr;
        if (!SplitItems(answer, 0, &pin.ranges))
            return E_UNEXPECTED;
        pin.mediumOnly = pin.communication == KSPIN_COMMUNICATION_BRIDGE ||
                         pin.communication == KSPIN_COMMUNICATION_NONE;
        factories->push_back(std::move(pin));
    }
    return S_OK;
}

bool ParseFilterData(const BYTE* data, size_t length, std::vector<PinFactory>* factories)
{
    constexpr size_t kEntry = sizeof(ULONG) + sizeof(KSPIN_MEDIUM) + sizeof(GUID);
    factories->clear();
    if (!data || length < sizeof(ULONG))
        return false;
    ULONG count = 0;
    std::memcpy(&count, data, sizeof count);
    if (count == 0 || count > (length - sizeof(ULONG)) / kEntry)
        return false;
    for (ULONG i = 0; i < count; ++i) {
        const BYTE* entry = data + sizeof(ULONG) + i * kEntry;
        ULONG direction = 0;
        std::memcpy(&direction, entry, sizeof direction);
        PinFactory pin;
        pin.id = i;
        pin.dataFlow = direction ? KSPIN_DATAFLOW_OUT : KSPIN_DATAFLOW_IN;
        pin.communication = KSPIN_COMMUNICATION_NONE;
        KSPIN_MEDIUM medium;
        std::memcpy(&medium, entry + sizeof(ULONG), sizeof medium);
        pin.mediums.push_back(medium);
        std::memcpy(&pin.category, entry + sizeof(ULONG) + sizeof(KSPIN_MEDIUM), sizeof(GUID));
        pin.name = (direction ? u"Output " : u"Input ") + Decimal(i);
        pin.instances = {1, 0};
        pin.mediumOnly = true;
        factories->push_back(std::move(pin));
    }
    return true;
}

bool MediumsMatch(const KSPIN_MEDIUM& a, const KSPIN_MEDIUM& b)
{
    if (a.Set == KSMEDIUMSETID_Standard || b.Set == KSMEDIUMSETID_Standard)
        return true;
    return a.Set == b.Set && a.Id == b.Id;
}

HRESULT GetPinSetProperty(const PinFactory& factory, REFGUID set, DWORD id, LPVOID data, DWORD dataLength,
                          DWORD* returned)
{
    if (set != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY && id != AMPROPERTY_PIN_MEDIUM)
        return E_PROP_ID_UNSUPPORTED;
    if (!data)
        return E_POINTER;
    const KSPIN_MEDIUM standard{KSMEDIUMSETID_Standard, KSMEDIUM_STANDARD_DEVIO, 0};
    const void* answer = &factory.category;
    DWORD size = sizeof(GUID);
    if (id == AMPROPERTY_PIN_MEDIUM) {
        answer = factory.mediums.empty() ? &standard : &factory.mediums.front();
        size = sizeof(KSPIN_MEDIUM);
    }
    if (dataLength < size)
        return E_UNEXPECTED;
    std::memcpy(data, answer, size);
    if (returned)
        *returned = size;
    return S_OK;
}

HRESULT QueryPinSetSupport(REFGUID set, DWORD id, DWORD* support)
{
    if (set != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY && id != AMPROPERTY_PIN_MEDIUM)
        return E_PROP_ID_UNSUPPORTED;
    if (support)
        *support = KSPROPERTY_SUPPORT_GET;
    return S_OK;
}

} // namespace ksproxy
