// CPropertyGetSetCtrl: the kernel-streaming handle of the filter a page or a preview control is
// bound to, and the one way the library sends a property request on it. The handle is taken from
// the filter's IKsObject::KsGetObjectHandle and is not owned: this class never closes it.
//
// Every request is synchronous (KsSynchronousDeviceControl with IOCTL_KS_PROPERTY) and is framed
// in a copy of the caller's buffer, so that the caller's bytes change only when the request
// succeeds: then they take the driver's answer, on a set as on a get. A failed request leaves
// them as they were, header included. The class shares no state between requests, so the window
// thread and the notification thread may send at the same time, each with its own buffers.
#pragma once
#include "um/windows.h"

class CPropertyGetSetCtrl {
public:
    CPropertyGetSetCtrl() = default;
    explicit CPropertyGetSetCtrl(HANDLE filter) : m_hFilter(filter) {}

    // Null until bound.
    HANDLE GetFilterHandle() const { return m_hFilter; }
    void SetFilterHandle(HANDLE filter) { m_hFilter = filter; }

    // One request of a private set: `record` holds `length` bytes, the 24-byte property header and
    // the payload; the header is written here (set, id, flags), the payload is the caller's, and
    // the record is sent as both the request and the data buffer. A length below the header's is
    // E_INVALIDARG. On success the record takes what the driver returned (at most `length`
    // bytes); a get that the driver answers with fewer bytes than the record fails with
    // HRESULT_FROM_WIN32(ERROR_INVALID_DATA), since the record was not read.
    HRESULT SendPropertyRecord(const GUID& set, ULONG id, ULONG flags, void* record, ULONG length) const;

    // One request of a standard set addressed to a topology node: a KSNODEPROPERTY (32 bytes) or,
    // with a channel, a KSNODEPROPERTY_AUDIO_CHANNEL (40 bytes), with the value in a buffer of its
    // own that is the request's data buffer on a set as on a get. `flags` is KSPROPERTY_TYPE_GET
    // or KSPROPERTY_TYPE_SET (the topology flag is added here). On a successful get the value
    // takes the driver's answer, which must fill it; otherwise it stays as it was.
    HRESULT SendNodeProperty(const GUID& set, ULONG id, ULONG flags, ULONG node, const LONG* channel,
                             void* value, ULONG valueLength) const;

private:
    HANDLE m_hFilter = nullptr;
};
