// The test minidriver's capture stream: each capture pin's context and the frame generator that
// fills client frames through the pin's leading edge while the pin runs. Private to the minidriver;
// tests see it through KsMinidriver.h (the frame pattern, the switches) and the pin's property set.
#pragma once
#include "KsMinidriver.h"
#include "km/ksclock.h"
#include "km/ksstream.h"

namespace kstest {

constexpr ULONG kMaxHeldFrames = 64;

struct CapturePinContext {
    ULONG value; // first: the pin item answers it
    PKSPIN pin;
    KEVENT stop;
    PETHREAD thread; // referenced while the generator runs
    PIKSREFERENCECLOCK clock;
    LONGLONG period;    // 100-ns units between frames
    ULONG frameSize;    // what one frame of the format needs
    LONGLONG produced;  // frames made so far, delivered or dropped: the next picture number
    LONGLONG dropped;   // frames no client buffer was there for
    KSPIN_LOCK heldLock;
    BOOLEAN holdFrames; // clone each frame before ejecting it and keep the clone
    BOOLEAN burst;      // each period fills every queued frame at once (then counts one drop)
    ULONG heldCount;
    PKSSTREAM_POINTER held[kMaxHeldFrames];
};

// Sets the context up for `pin` (called from the pin's Create).
void InitializeCaptureContext(CapturePinContext* context, PKSPIN pin);
// Starts the generator on the step into Run: the format's frame size and period, and the graph's
// reference clock when it set one.
NTSTATUS StartCapture(CapturePinContext* context);
// Stops the generator on the step down from Run and waits for it; held clones stay held.
void StopCapture(CapturePinContext* context);
// Turns holding on or off; with `release`, every held clone is deleted too (their frames complete).
void SetHoldFrames(CapturePinContext* context, bool hold, bool release);
ULONG HeldFrameCount(CapturePinContext* context);

} // namespace kstest
