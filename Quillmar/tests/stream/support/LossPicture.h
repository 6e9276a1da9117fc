// The loss-of-signal picture and tones a test wants of a device: its stored settings with the
// picture selector and the two tone selectors replaced, kept without a registry write or a
// notification (as when loaded from the registry) and with the video part off, so nothing is
// clamped or checked.
#pragma once
#include "brevicorrecords.h"
#include "device.h"

namespace streamtest {

inline NTSTATUS SetLossPicture(Device* device, ULONG selector, ULONG oddTone = 0, ULONG evenTone = 0)
{
    BrevicorLOSRecord los{};
    device->GetLOSSettings(&los);
    los.fromRegistry = 1;
    los.videoEnable = 0;
    los.videoSignalType = selector;
    los.oddChannelsTone = oddTone;
    los.evenChannelsTone = evenTone;
    return device->SetLOSSettings(&los);
}

} // namespace streamtest
