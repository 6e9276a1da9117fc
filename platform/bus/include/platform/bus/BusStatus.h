// Results of the bus's operations. The bus sits below the kernel stand-in and knows no NTSTATUS; the
// kernel turns these into its own statuses and verifier reports, a device model into its own errors.
#pragma once

namespace platform {

enum class BusStatus {
    Ok,
    InvalidArgument, // zero or wrapping length, null buffer, misaligned or unknown argument
    Overlap,         // a range or block would overlap one already registered
    NotRegistered,   // no range, block or line is registered there
    NotMapped,       // the address lies in no mapping (never mapped, or unmapped since)
    PastEnd,         // the access starts inside a mapping but runs past its end
    RangeRemoved,    // the mapping's device range was unregistered while it was still mapped
    WrongSize,       // an unmap or unregister names the right base with another size or host block
    NoAddressSpace,  // no free addresses of the asked size are left
    OutsideMemory,   // a DMA transfer strays outside every registered block
    CrossesBlocks,   // a DMA transfer starts in one block and runs into another
};

// A short English text for reports, e.g. "the access runs past the end of its mapping".
const char* BusStatusText(BusStatus status);

} // namespace platform
