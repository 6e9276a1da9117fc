// PhysicalStreamServices: what the physical streams (video, audio) read of their board beyond the
// stream engine's services: the loss-of-signal settings their backup frames follow, the detection
// records of the video and audio inputs. Device implements it; the stream tests use the real Device
// or a double.
#pragma once
#include "km/types.h"

struct BrevicorInputDetectRecord;
struct BrevicorLOSRecord;

class PhysicalStreamServices {
public:
    // The loss-of-signal record from offset 24 on (STATUS_INVALID_PARAMETER for null).
    virtual NTSTATUS GetLOSSettings(BrevicorLOSRecord* record) = 0;
    // Copies of an input's 580-byte detection record, taken under the device's lock.
    virtual NTSTATUS GetVideoInputDetectRecord(ULONG input, BrevicorInputDetectRecord* record) = 0;
    virtual NTSTATUS GetAudioInputDetectRecord(ULONG input, BrevicorInputDetectRecord* record) = 0;

protected:
    ~PhysicalStreamServices() = default;
};
