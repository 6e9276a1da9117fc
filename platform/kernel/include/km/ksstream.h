// Kernel streaming's stream pointers: the records a driver reads and writes while it fills the frames
// clients queue on a pin (KSSTREAM_POINTER and its offsets), the leading edge, clones, locking,
// advancing and ejecting, and the framework's entry points for a pin's stream requests.
#pragma once
#include "km/irp.h"
#include "km/ksfilter.h"
#include "km/types.h"
#include "shared/ksstreamrecords.h"

// Where a pointer stands in its frame: Data the current position, Count the frame's bytes, Remaining
// the bytes from Data to the frame's end.
struct KSSTREAM_POINTER_OFFSET {
    PUCHAR Data;
    ULONG Count;
    ULONG Remaining;
};
using PKSSTREAM_POINTER_OFFSET = KSSTREAM_POINTER_OFFSET*;

// A stream pointer. While it is locked StreamHeader and the offsets describe its frame (the header is
// the framework's copy, written back to the client when the frame completes); while it is unlocked, or
// stands past the last frame, they are NULL and zero.
struct KSSTREAM_POINTER {
    PVOID Context; // a clone's ContextSize bytes; NULL for the leading edge
    PKSPIN Pin;
    PKSSTREAM_HEADER StreamHeader;
    PKSSTREAM_POINTER_OFFSET Offset; // &OffsetOut: every pin that streams here is a capture pin
    KSSTREAM_POINTER_OFFSET OffsetIn;
    KSSTREAM_POINTER_OFFSET OffsetOut;
};
using PKSSTREAM_POINTER = KSSTREAM_POINTER*;

enum KSSTREAM_POINTER_STATE { KSSTREAM_POINTER_STATE_UNLOCKED = 0, KSSTREAM_POINTER_STATE_LOCKED = 1 };

// Called when the request of the frame a clone holds is cancelled (by its caller, or by the pin
// stopping or closing); the driver deletes the clone, which releases the frame.
using PFNKSSTREAMPOINTER = VOID(NTAPI*)(PKSSTREAM_POINTER StreamPointer);

extern "C" {
// The pin's leading edge on the oldest frame it has not left; NULL when no frame is queued, or when
// State is LOCKED and the leading edge is already locked.
PKSSTREAM_POINTER NTAPI KsPinGetLeadingEdgeStreamPointer(PKSPIN Pin, KSSTREAM_POINTER_STATE State);
// Locks an unlocked pointer on its frame: STATUS_DEVICE_NOT_READY when it stands past the last frame,
// STATUS_INVALID_DEVICE_STATE when it is locked already (a leading edge locked by another caller).
NTSTATUS NTAPI KsStreamPointerLock(PKSSTREAM_POINTER StreamPointer);
// Unlocks. With Eject the pointer leaves its frame for the next: the leading edge releases the frame,
// which completes to its client once no clone holds it. Without Eject a leading edge stays on its frame.
VOID NTAPI KsStreamPointerUnlock(PKSSTREAM_POINTER StreamPointer, BOOLEAN Eject);
// Moves to the next frame (locked if the pointer was): STATUS_DEVICE_NOT_READY when there is none, the
// pointer then standing past the last frame (the leading edge takes the next frame queued).
NTSTATUS NTAPI KsStreamPointerAdvance(PKSSTREAM_POINTER StreamPointer);
// Moves a locked pointer OutUsed bytes on in its frame, adding them to the header's DataUsed; a frame
// used up, or Eject, moves it to the next frame as KsStreamPointerAdvance does. InUsed must be 0
// (capture frames have no input part). STATUS_INVALID_PARAMETER for more than Remaining.
NTSTATUS NTAPI KsStreamPointerAdvanceOffsets(PKSSTREAM_POINTER StreamPointer, ULONG InUsed, ULONG OutUsed,
                                             BOOLEAN Eject);
// Sets the status the request of the pointer's frame completes with: a failure status set on any of a
// request's frames is its completion status (Information 0; the headers are still written back), the
// first one set standing; a cancelled request completes cancelled all the same. STATUS_DEVICE_NOT_READY
// when the pointer stands past the last frame.
NTSTATUS NTAPI KsStreamPointerSetStatusCode(PKSSTREAM_POINTER StreamPointer, NTSTATUS Status);
// A new pointer on the same frame and position, unlocked or locked as StreamPointer is, with
// ContextSize zeroed bytes at its Context. The frame stays with the pin until the clone leaves it.
NTSTATUS NTAPI KsStreamPointerClone(PKSSTREAM_POINTER StreamPointer, PFNKSSTREAMPOINTER CancelCallback,
                                    ULONG ContextSize, PKSSTREAM_POINTER* CloneStreamPointer);
// Deletes a clone (locked or not); its frame completes if nothing else holds it.
VOID NTAPI KsStreamPointerDelete(PKSSTREAM_POINTER StreamPointer);
// The pin's clones in the order they were made.
PKSSTREAM_POINTER NTAPI KsPinGetFirstCloneStreamPointer(PKSPIN Pin);
PKSSTREAM_POINTER NTAPI KsStreamPointerGetNextClone(PKSSTREAM_POINTER StreamPointer);
}

