// Executive spin locks. A KSPIN_LOCK is one pointer-sized word the driver embeds in its own memory;
// the stand-in keeps the holder's identity in it, so misuse is caught without any other storage:
// acquiring a lock the thread already holds, releasing a lock another thread holds or nobody
// holds, a lock word that was never initialised, and calls at an IRQL the function forbids.
// Each is reported to the verifier and none hangs or crashes. Waiters spin with a pause and never
// sleep.
#pragma once
#include "km/irql.h"
#include "km/types.h"

#include <cstddef>

using KSPIN_LOCK = ULONG_PTR;
using PKSPIN_LOCK = KSPIN_LOCK*;

extern "C" {
VOID NTAPI KeInitializeSpinLock(PKSPIN_LOCK SpinLock);
// Raises to DISPATCH_LEVEL, then takes the lock; *OldIrql receives the level to give back to
// KeReleaseSpinLock. Called above DISPATCH_LEVEL: a breach; the level is left as it is.
VOID NTAPI KeAcquireSpinLock(PKSPIN_LOCK SpinLock, PKIRQL OldIrql);
KIRQL NTAPI KeAcquireSpinLockRaiseToDpc(PKSPIN_LOCK SpinLock);
// Gives the lock back and lowers to NewIrql. A NewIrql above the current level is a breach and
// leaves the level unchanged.
VOID NTAPI KeReleaseSpinLock(PKSPIN_LOCK SpinLock, KIRQL NewIrql);
// The forms for code already at DISPATCH_LEVEL; below it they are a breach (and still work).
VOID NTAPI KeAcquireSpinLockAtDpcLevel(PKSPIN_LOCK SpinLock);
VOID NTAPI KeReleaseSpinLockFromDpcLevel(PKSPIN_LOCK SpinLock);
// TRUE when the lock was free and is now held; FALSE, without waiting, when anyone holds it.
BOOLEAN NTAPI KeTryToAcquireSpinLockAtDpcLevel(PKSPIN_LOCK SpinLock);
}

