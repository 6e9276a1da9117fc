// CPropertyGetSetCtrl: framing and sending one property request.
#include "transport/CPropertyGetSetCtrl.h"

#include "shared/ksaudiorecords.h"
#include "um/ks.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr ULONG kHeaderBytes = sizeof(KSPROPERTY);

} // namespace

HRESULT CPropertyGetSetCtrl::SendPropertyRecord(const GUID& set, ULONG id, ULONG flags, void* record,
                                                ULONG length) const
{
    if (!record || length < kHeaderBytes)
        return E_INVALIDARG;
    std::vector<BYTE> request;
    try {
        request.assign(static_cast<const BYTE*>(record), static_cast<const BYTE*>(record) + length);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    KSPROPERTY header{};
    header.Set = set;
    header.Id = id;
    header.Flags = flags;
    std::memcpy(request.data(), &header, kHeaderBytes);

    ULONG returned = 0;
    const HRESULT result = KsSynchronousDeviceControl(m_hFilter, IOCTL_KS_PROPERTY, request.data(), length,
                                                      request.data(), length, &returned);
    if (FAILED(result))
        return result;
    const ULONG answered = std::min(returned, length);
    if ((flags & KSPROPERTY_TYPE_GET) && answered < length)
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    std::memcpy(record, request.data(), answered);
    return result;
}

HRESULT CPropertyGetSetCtrl::SendNodeProperty(const GUID& set, ULONG id, ULONG flags, ULONG node,
                                              const LONG* channel, void* value, ULONG valueLength) const
{
    if (!value || valueLength == 0)
        return E_INVALIDARG;
    KSNODEPROPERTY_AUDIO_CHANNEL request{};
    request.NodeProperty.Property.Set = set;
    request.NodeProperty.Property.Id = id;
    request.NodeProperty.Property.Flags = flags | KSPROPERTY_TYPE_TOPOLOGY;
    request.NodeProperty.NodeId = node;
    request.NodeProperty.Reserved = 0;
    ULONG requestLength = sizeof(KSNODEPROPERTY);
    if (channel) {
        request.Channel = *channel;
        request.Reserved = 0;
        requestLength = sizeof(KSNODEPROPERTY_AUDIO_CHANNEL);
    }
    std::vector<BYTE> data;
    try {
        data.assign(static_cast<const BYTE*>(value), static_cast<const BYTE*>(value) + valueLength);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    ULONG returned = 0;
    const HRESULT result = KsSynchronousDeviceControl(m_hFilter, IOCTL_KS_PROPERTY, &request, requestLength,
                                                      data.data(), valueLength, &returned);
    if (FAILED(result))
        return result;
    if (flags & KSPROPERTY_TYPE_GET) {
        if (returned < valueLength)
            return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
        std::memcpy(value, data.data(), valueLength);
    }
    return result;
}
