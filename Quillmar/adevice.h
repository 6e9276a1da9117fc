// ADevice: the base of the board object, as the kernel-streaming device's object bag holds it. Its
// one virtual operation is the deleting destructor; Cleanup is the bag's free routine, which ends
// the board object when the framework deletes the device.
#pragma once
#include "kernel/driverheap.h"
#include "km/types.h"

class ADevice : public DriverAllocated {
public:
    ADevice() = default;
    virtual ~ADevice();
    ADevice(const ADevice&) = delete;
    ADevice& operator=(const ADevice&) = delete;

    // The object bag's free routine: deletes the ADevice it was given (null is ignored).
    static VOID NTAPI Cleanup(PVOID item);
};
