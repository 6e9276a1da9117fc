// BasicPinDispatch: the one dispatch table of every pin of the board's filters. Each entry takes
// the pin's control mutex first and gives it back last, and forwards to the pin object; a state
// step also holds the device mutex (after the control mutex, the one order of every path).
// Create picks the pin object's class: an audio pin of the capture category is an AudioCapturePin,
// any other audio pin an AudioInputPin; a video pin by its category (capture, preview, VBI, closed
// captions); any other category is refused with STATUS_INSUFFICIENT_RESOURCES.
#pragma once
#include "km/irp.h"
#include "km/kspin.h"

class BasicPin;

class BasicPinDispatch {
public:
    static const KSPIN_DISPATCH kDispatch;

    static NTSTATUS NTAPI DispatchPinCreate(PKSPIN pin, PIRP irp);
    static NTSTATUS NTAPI DispatchPinClose(PKSPIN pin, PIRP irp);
    // Frames reach the pin from its sink: always STATUS_PENDING.
    static NTSTATUS NTAPI DispatchPinProcess(PKSPIN pin);
    static VOID NTAPI DispatchPinReset(PKSPIN pin);
    // The parent filter's kind decides: audio capture, video capture, any other
    // STATUS_UNSUCCESSFUL.
    static NTSTATUS NTAPI DispatchPinSetDataFormat(PKSPIN pin, PKSDATAFORMAT oldFormat,
                                                   PKSMULTIPLE_ITEM oldAttributeList,
                                                   const KSDATARANGE* dataRange,
                                                   const KSATTRIBUTE_LIST* attributeRange);
    static NTSTATUS NTAPI DispatchPinSetDeviceState(PKSPIN pin, KSSTATE to, KSSTATE from);
    static NTSTATUS NTAPI DispatchPinConnect(PKSPIN pin);
    static VOID NTAPI DispatchPinDisconnect(PKSPIN pin);

    // The class Create makes for a pin of this descriptor; null for an unknown category, or when
    // the object cannot be allocated.
    static BasicPin* MakePinObject(PKSPIN pin);

private:
    static BasicPin* MakePinObjectOrRaise(PKSPIN pin);
};
