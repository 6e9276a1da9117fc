// The image primitives' two allocation hooks, bound in the driver file only: the primitives cannot
// take an exception, so they get the driver's non-raising allocation. Test programs that link the
// driver's library define hooks of their own.
#include "imaging/imaging.h"
#include "kernel/driverheap.h"

extern "C" void* ImagingAllocate(uint32_t bytes) noexcept
{
    return DriverAllocateNoRaise(bytes);
}

extern "C" void ImagingRelease(void* block) noexcept
{
    DriverFree(block);
}
