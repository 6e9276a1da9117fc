// The connection and stream sets on a pin handle: the state (stepped one state at a time), the data
// format (a new one goes through the pin's SetDataFormat with the old one), the extended allocator
// framing from the pin's descriptor, and the master clock the graph gives the pin.
#include "KsDataRanges.h"
#include "KsObjects.h"
#include "km/status.h"

#include <cstring>

namespace standin {
namespace {

NTSTATUS SetFormat(KsPinObject* pin, const UCHAR* data, ULONG dataLength)
{
    if (dataLength < sizeof(KSDATAFORMAT))
        return STATUS_BUFFER_TOO_SMALL;
    KSDATAFORMAT head;
    std::memcpy(&head, data, sizeof head);
    if (head.FormatSize < sizeof(KSDATAFORMAT) || head.FormatSize > dataLength)
        return STATUS_INVALID_PARAMETER;
    PKSDATAFORMAT format = KsCopyFormat(data, dataLength);
    if (!format)
        return STATUS_INSUFFICIENT_RESOURCES;
    bool bad = false;
    const KSMULTIPLE_ITEM* attributes = KsFormatAttributes(format, dataLength, &bad);
    if (bad) {
        KsFreeFormat(format);
        return STATUS_INVALID_PARAMETER;
    }
    KsAcquireControl(&pin->pin);
    KSPIN& k = pin->pin;
    NTSTATUS status = STATUS_NO_MATCH;
    if (k.Descriptor->Flags & KSPIN_FLAG_FIXED_FORMAT) {
        status = STATUS_INVALID_DEVICE_REQUEST;
    } else {
        // The new format is the pin's while SetDataFormat looks at it; a refusal puts the old back.
        PKSDATAFORMAT old = k.ConnectionFormat;
        PKSMULTIPLE_ITEM oldAttributes = k.AttributeList;
        for (const KsRangeEntry& entry : KsPinRanges(k.Descriptor->PinDescriptor)) {
            if (!KsFormatInRange(*format, attributes, entry))
                continue;
            k.ConnectionFormat = format;
            k.AttributeList = const_cast<PKSMULTIPLE_ITEM>(attributes);
            status = pin->dispatch && pin->dispatch->SetDataFormat
                         ? pin->dispatch->SetDataFormat(&k, old, oldAttributes, entry.range, entry.attributes)
                         : STATUS_SUCCESS;
            if (NT_SUCCESS(status))
                break;
            k.ConnectionFormat = old;
            k.AttributeList = oldAttributes;
        }
        if (NT_SUCCESS(status)) {
            KsFreeFormat(old);
            format = nullptr;
        }
    }
    KsReleaseControl(&pin->pin);
    KsFreeFormat(format);
    return status;
}

NTSTATUS Connection(KsPinObject* pin, const KSPROPERTY& head, UCHAR* data, ULONG dataLength,
                    ULONG_PTR* information)
{
    KSPIN& k = pin->pin;
    switch (head.Id) {
    case KSPROPERTY_CONNECTION_STATE:
        if (head.Flags == KSPROPERTY_TYPE_GET) {
            const KSSTATE state = k.DeviceState;
            return KsAnswerBytes(&state, sizeof state, data, dataLength, information);
        }
        if (dataLength < sizeof(KSSTATE))
            return STATUS_BUFFER_TOO_SMALL;
        {
            KSSTATE to;
            std::memcpy(&to, data, sizeof to);
            return KsWalkPinState(pin, to);
        }
    case KSPROPERTY_CONNECTION_DATAFORMAT:
        if (head.Flags == KSPROPERTY_TYPE_SET)
            return SetFormat(pin, data, dataLength);
        {
            KsAcquireControl(&k);
            const NTSTATUS status = KsAnswerBytes(k.ConnectionFormat, KsFormatWholeSize(*k.ConnectionFormat,
                                                                                        k.AttributeList),
                                                  data, dataLength, information);
            KsReleaseControl(&k);
            return status;
        }
    case KSPROPERTY_CONNECTION_ALLOCATORFRAMING_EX: {
        if (head.Flags != KSPROPERTY_TYPE_GET)
            return STATUS_NOT_FOUND;
        KsAcquireControl(&k);
        const KSALLOCATOR_FRAMING_EX* framing = k.Descriptor->AllocatorFraming;
        const NTSTATUS status = framing ? KsAnswerBytes(framing, KsAllocatorFramingExSize(framing->CountItems), data,
                                                        dataLength, information)
                                        : STATUS_NOT_FOUND;
        KsReleaseControl(&k);
        return status;
    }
    default:
        return STATUS_NOT_FOUND;
    }
}

} // namespace

NTSTATUS KsAnswerPinConnection(KsPinObject* pin, PIRP irp, UCHAR* request, ULONG, UCHAR* data, ULONG dataLength,
                               ULONG_PTR* information)
{
    KSPROPERTY head;
    std::memcpy(&head, request, sizeof head);
    if (head.Flags != KSPROPERTY_TYPE_GET && head.Flags != KSPROPERTY_TYPE_SET)
        return STATUS_NOT_FOUND;
    if (head.Set == KSPROPSETID_Connection)
        return Connection(pin, head, data, dataLength, information);
    if (head.Set == KSPROPSETID_Stream && head.Id == KSPROPERTY_STREAM_MASTERCLOCK &&
        head.Flags == KSPROPERTY_TYPE_SET) {
        if (dataLength < sizeof(uint32_t))
            return STATUS_BUFFER_TOO_SMALL;
        uint32_t handle;
        std::memcpy(&handle, data, sizeof handle);
        return KsPinSetMasterClock(pin, handle, irp->RequestorMode);
    }
    return STATUS_NOT_FOUND;
}

} // namespace standin
