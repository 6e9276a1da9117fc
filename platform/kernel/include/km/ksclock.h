// The reference clock a pin reaches once the graph gave it a master clock: IKsReferenceClock on the
// machine's one clock, in 100-ns units, and KsPinGetReferenceClockInterface.
#pragma once
#include "km/kspin.h"

// Granularity and error of a clock, in 100-ns units.
struct KSRESOLUTION {
    LONGLONG Granularity;
    LONGLONG Error;
};

// The reference clock: reference counted (the caller of KsPinGetReferenceClockInterface releases
// it). Times are in 100-ns units; the correlated forms also return the system time (the
// performance counter converted to 100-ns units) read at the same instant.
class IKsReferenceClock {
public:
    virtual ULONG NTAPI AddRef() = 0;
    virtual ULONG NTAPI Release() = 0;
    // The presentation time of the stream: the physical time less the time spent paused.
    virtual LONGLONG NTAPI GetTime() = 0;
    // The clock's own time, running whatever the stream's state.
    virtual LONGLONG NTAPI GetPhysicalTime() = 0;
    virtual LONGLONG NTAPI GetCorrelatedTime(LONGLONG* SystemTime) = 0;
    virtual LONGLONG NTAPI GetCorrelatedPhysicalTime(LONGLONG* SystemTime) = 0;
    virtual NTSTATUS NTAPI GetResolution(KSRESOLUTION* Resolution) = 0;
    virtual NTSTATUS NTAPI GetState(KSSTATE* State) = 0;

protected:
    ~IKsReferenceClock() = default;
};
using PIKSREFERENCECLOCK = IKsReferenceClock*;

extern "C" {
// The pin's reference clock, referenced, when the graph set a master clock on the pin
// (KSPROPERTY_STREAM_MASTERCLOCK); STATUS_DEVICE_NOT_READY while it has none,
// STATUS_INVALID_PARAMETER for a NULL argument.
NTSTATUS NTAPI KsPinGetReferenceClockInterface(PKSPIN Pin, PIKSREFERENCECLOCK* Interface);
}

