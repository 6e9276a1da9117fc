// The I/O manager's record of every IRP: who made it (a driver with IoAllocateIrp, or the I/O
// manager itself, which finishes and frees its own), whether a completion is under way, and the
// holds that keep its memory while the I/O manager still looks at it. An IRP is "live" from its
// allocation until IoFreeIrp or the I/O manager's finish; its memory goes when the last hold does.
#pragma once
#include "km/irp.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace standin {

enum class IrpOrigin { Driver, IoManager };

struct IrpRecord {
    PIRP irp = nullptr;
    IrpOrigin origin = IrpOrigin::Driver;
    uint64_t sequence = 0;
    std::atomic<bool> completing{false}; // IoCompleteRequest's walk has begun and no routine took it back
    std::atomic<int> holds{1};           // the owner's hold, and the I/O manager's while it looks at it
    // For requests of the I/O manager: the caller's output length (the bound of what goes back to the
    // caller) and what to do when the request finishes besides the common work.
    ULONG outputLength = 0;
    std::function<void(PIRP)> onFinish;
};

// A new live IRP with stackSize locations (and one guard location below them that absorbs a
// sender's write past the last), not yet sent; null when memory runs out.
IrpRecord* AllocateIrpRecord(CCHAR stackSize, IrpOrigin origin);
// The live record of `irp` with a hold taken (give it back with ReleaseIrp), or null.
IrpRecord* LookupIrp(PIRP irp);
void HoldIrp(IrpRecord* record);
void ReleaseIrp(IrpRecord* record);
// Ends the IRP's life: it is no longer live, and the owner's hold is given back.
void RetireIrp(IrpRecord* record);

// IoCancelIrp's work on a record the caller holds.
BOOLEAN CancelIrpRecord(IrpRecord* record);
// The I/O manager's work when a request it built has completed: copy-back, status block, buffers,
// MDLs, onFinish, event, and retirement.
void FinishIoManagerRequest(IrpRecord* record);

// "IRP_MJ_DEVICE_CONTROL" and the like.
std::string MajorFunctionName(UCHAR major);
// "NTSTATUS 0xc0000120".
std::string StatusText(NTSTATUS status);

} // namespace standin
