// TestImageGenerator: the interface of the pictures the test sources and the backup frames draw:
// one operation that renders the next picture into a buffer and returns the bytes it covered.
#pragma once
#include "kernel/driverheap.h"
#include "km/types.h"

class TestImageGenerator : public DriverAllocated {
public:
    virtual ~TestImageGenerator() = default;
    // Renders the next picture into `buffer`; the bytes written (0 when nothing was).
    virtual ULONG Render(PUCHAR buffer) = 0;
};
