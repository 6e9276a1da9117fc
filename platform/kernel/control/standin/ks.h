// Kernel-streaming counts and helpers: open filters and pins, frames queued on a pin, buffered
// event cookies and the machine's reference clock. Stand-in facilities, not Windows functions:
// drivers never see them.
#pragma once
#include "km/ks.h"
#include "km/ksclock.h"
#include "km/ksfilter.h"
#include "km/kspin.h"
#include "km/ksstream.h"

#include <cstddef>

namespace standin {

// Records each enabled buffered event keeps before the oldest is dropped.
constexpr size_t kKsEventBufferRecords = 64;
// The cookie that a KSQUERYBUFFER carries for the enabled KSEVENTDATA at `eventData`; 0 when none.
ULONG KsEventDataCookie(const void* eventData);
// Filters open now (all devices).
size_t KsOpenFilterCount();

// Whether the calling thread holds the device mutex of `device` (false for anything that is not a
// device).
bool KsDeviceMutexHeld(PKSDEVICE device);

// Pins open now (all filters).
size_t KsOpenPinCount();

// The framework's handling of IOCTL_KS_READ_STREAM on a pin (the pin's device control hands every
// stream request over): checks the pin's state and the caller's headers, queues one frame per header,
// marks the request pending, calls the pin's Process dispatch when the pin processes, and returns
// STATUS_PENDING. A refusal returns its status for the caller to complete the request with.
NTSTATUS KsPinStreamRequest(PKSPIN pin, PIRP irp);
// Frames queued on the pin and not yet completed.
size_t KsPinQueuedFrameCount(PKSPIN pin);

// Reference clock interfaces handed out and not yet released (all pins).
size_t KsReferenceClocksOutstanding();
// A clock on the machine's clock, as a graph's master clock: a handle to it (a user handle for
// UserMode, else a kernel handle) that KSPROPERTY_STREAM_MASTERCLOCK takes; ZwClose closes it.
// Its time counts in 100-ns units from its creation.
NTSTATUS KsCreateMachineClock(KPROCESSOR_MODE mode, PHANDLE handle);

} // namespace standin
