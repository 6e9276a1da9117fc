// Must build, so that the refusals beside it prove something: a driver file with what a driver may
// use (the kernel side's Windows surface, the raised-status exception, the message table it exports
// and the image primitives), linked as the driver file is.
#include "imaging/imaging.h"
#include "km/kernel.h"
#include "km/messagetable.h"
#include "km/raise.h"

#include <cstddef>
#include <cstdint>

namespace {
constexpr ULONG kProbeTag = 0x65626F72; // "robe"
}

// The driver's compiled table, which the driver file exports.
extern "C" const standin::MessageTableEntry StandinMessageTable[];
extern "C" const size_t StandinMessageTableCount;

extern "C" void* ImagingAllocate(uint32_t bytes) noexcept
{
    return ExAllocatePoolWithTag(NonPagedPool, bytes, kProbeTag);
}

extern "C" void ImagingRelease(void* block) noexcept
{
    if (block)
        ExFreePoolWithTag(block, kProbeTag);
}

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT, PUNICODE_STRING)
{
    uint8_t source[4] = {1, 2, 3, 4};
    uint8_t copy[4] = {};
    CopyPlane(source, 2, copy, 2, 2, 2);
    try {
        ExRaiseStatus(STATUS_INSUFFICIENT_RESOURCES);
    } catch (const standin::RaisedStatus& raised) {
        return raised.status == STATUS_INSUFFICIENT_RESOURCES && copy[3] == 4 &&
                       StandinMessageTableCount != 0 && StandinMessageTable[0].text != nullptr
                   ? STATUS_SUCCESS
                   : STATUS_UNSUCCESSFUL;
    }
    return STATUS_UNSUCCESSFUL;
}
