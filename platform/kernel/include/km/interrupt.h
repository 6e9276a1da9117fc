// Interrupt connection: a driver connects its service routine to the vector of a device's
// level-triggered interrupt line, and the routines connected to one line are called on that line's
// interrupt thread, at the connection's device level and under its interrupt spin lock, for as long
// as the line stays asserted. KeSynchronizeExecution and the interrupt spin lock let other code run
// serialised with a service routine.
#pragma once
#include "km/spinlock.h"
#include "km/types.h"

#include <cstddef>

// The interrupt object IoConnectInterrupt makes; drivers only hold pointers to it.
struct KINTERRUPT;
using PKINTERRUPT = KINTERRUPT*;

// Held in an int, as drivers pass it, so that a value outside the two is refused rather than undefined.
enum KINTERRUPT_MODE : int { LevelSensitive = 0, Latched = 1 };

// Returns TRUE when the routine's device caused the interrupt and it has dealt with it, FALSE to
// pass the interrupt on to the next routine connected to the same vector.
using PKSERVICE_ROUTINE = BOOLEAN(NTAPI*)(PKINTERRUPT Interrupt, PVOID ServiceContext);
using PKSYNCHRONIZE_ROUTINE = BOOLEAN(NTAPI*)(PVOID SynchronizeContext);

extern "C" {
// Connects ServiceRoutine(Interrupt, ServiceContext) to the interrupt line of Vector and stores the
// new interrupt object in *InterruptObject (left untouched on failure). PASSIVE_LEVEL only.
// The routine runs at SynchronizeIrql holding SpinLock, or the object's own lock when SpinLock is
// NULL. Irql must be a device level (above DISPATCH_LEVEL, at most HIGH_LEVEL) and SynchronizeIrql at
// least Irql. Every bus line is level-triggered, so only LevelSensitive connects. Several
// connections share a vector when every one of them asks to share it and all give the same Irql.
// ProcessorEnableMask must name at least one processor; it and FloatingSave are kept but change
// nothing (host threads keep their own floating-point state).
// STATUS_INVALID_PARAMETER: a missing pointer or routine, a level out of range, a latched or unknown
// mode, an empty processor mask, a vector with no line on the bus, or a vector that cannot be
// shared (connected without sharing, or this connection does not share, or another Irql).
// STATUS_INSUFFICIENT_RESOURCES: the interrupt object (non-paged pool) or the interrupt thread
// could not be made.
NTSTATUS NTAPI IoConnectInterrupt(PKINTERRUPT* InterruptObject, PKSERVICE_ROUTINE ServiceRoutine,
                                  PVOID ServiceContext, PKSPIN_LOCK SpinLock, ULONG Vector, KIRQL Irql,
                                  KIRQL SynchronizeIrql, KINTERRUPT_MODE InterruptMode, BOOLEAN ShareVector,
                                  KAFFINITY ProcessorEnableMask, BOOLEAN FloatingSave);
// Disconnects and frees the interrupt object. When its routine is running it waits for it to return;
// once this returns the routine is never called again. PASSIVE_LEVEL only. An object that is not
// connected (NULL, unknown or disconnected already) is a breach and changes nothing; so is a call
// from the interrupt thread of the object's own line, which would wait for itself.
VOID NTAPI IoDisconnectInterrupt(PKINTERRUPT InterruptObject);

// Runs SynchronizeRoutine(SynchronizeContext) at the interrupt's SynchronizeIrql holding its spin
// lock, so that it never overlaps the service routine, and returns what the routine returned.
// IRQL <= SynchronizeIrql.
BOOLEAN NTAPI KeSynchronizeExecution(PKINTERRUPT Interrupt, PKSYNCHRONIZE_ROUTINE SynchronizeRoutine,
                                     PVOID SynchronizeContext);
// Raises to the interrupt's SynchronizeIrql, takes its spin lock and returns the previous level for
// KeReleaseInterruptSpinLock. IRQL <= SynchronizeIrql.
KIRQL NTAPI KeAcquireInterruptSpinLock(PKINTERRUPT Interrupt);
VOID NTAPI KeReleaseInterruptSpinLock(PKINTERRUPT Interrupt, KIRQL OldIrql);
}

