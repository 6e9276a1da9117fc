// Interrupt request levels, tracked per thread. Every thread starts at PASSIVE_LEVEL; the DPC
// thread runs at DISPATCH_LEVEL and the interrupt thread at the connected device level.
#pragma once
#include "km/types.h"

#define PASSIVE_LEVEL 0
#define LOW_LEVEL 0
#define APC_LEVEL 1
#define DISPATCH_LEVEL 2
#define PROFILE_LEVEL 27
#define CLOCK_LEVEL 28
#define IPI_LEVEL 29
#define POWER_LEVEL 30
#define HIGH_LEVEL 31

extern "C" {
KIRQL NTAPI KeGetCurrentIrql();
// Raising to a lower level than the current one is a breach and leaves the level unchanged.
VOID NTAPI KeRaiseIrql(KIRQL NewIrql, PKIRQL OldIrql);
// Lowering to a higher level than the current one is a breach and leaves the level unchanged.
VOID NTAPI KeLowerIrql(KIRQL NewIrql);
KIRQL NTAPI KeRaiseIrqlToDpcLevel();
}

