// The interrupt object behind a PKINTERRUPT: what IoConnectInterrupt was given, in a block of
// non-paged pool. It owns nothing; the line and the thread belong to the line's InterruptThread.
#pragma once
#include "km/interrupt.h"
#include "km/pool.h"
#include "standin/pool.h"

#include <atomic>
#include <cstdint>

namespace standin {
class InterruptThread;
constexpr ULONG kInterruptPoolTag = MakePoolTag("Intr");
} // namespace standin

struct KINTERRUPT {
    PKSERVICE_ROUTINE ServiceRoutine;
    PVOID ServiceContext;
    PKSPIN_LOCK ActualLock; // the caller's lock, or &SpinLock
    KSPIN_LOCK SpinLock;
    ULONG Vector;
    KIRQL Irql;
    KIRQL SynchronizeIrql;
    KINTERRUPT_MODE Mode;
    BOOLEAN ShareVector;
    KAFFINITY Affinity;
    BOOLEAN FloatingSave;
    uint64_t Sequence; // connections are numbered from 1 in the order they were made
    standin::InterruptThread* Thread;
    // Cleared, under the thread's lock, when the disconnection begins; read without the lock by an
    // interrupt thread spinning for the object's spin lock, so that it gives up the call.
    std::atomic<bool> Connected;
};
static_assert(std::atomic<bool>::is_always_lock_free);
