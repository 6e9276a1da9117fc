// Static construction and destruction of the driver. The driver has no global with a dynamic
// initialiser: what would be static constructors and destructors is an explicit table of start
// operations that the load entry runs, and a list of stop operations, newest first, that
// DriverUnload runs. A load, an unload and a second load in one process therefore start from the
// same state each time.
#pragma once
#include "km/types.h"

#include <cstddef>

using StaticOperation = void (*)();

// Pushes a stop operation on the destructor list (a node from non-paged pool). When the node
// cannot be had, the operation runs at once, the load status becomes
// STATUS_INSUFFICIENT_RESOURCES, and the answer is false.
bool RegisterStaticDestructor(StaticOperation destructor);

// The first entry of the construction table and the last step of destruction: create and free
// the driver heap.
void RunStaticInitializers();
void RunStaticDestructors();

// The load entry's first step: RunStaticInitializers, then the start operations of the driver's
// static objects in table order. Returns the load status. When a start operation could not register
// its stop operation, construction ends there and everything already constructed is destroyed
// again (RunStaticDestruction) before the failure is returned: a failed load is never unloaded,
// and nothing may go on using the driver's statics.
NTSTATUS RunStaticConstruction();
// The same over the given start operations (the driver's own table is the one above).
NTSTATUS RunStaticConstructionTable(const StaticOperation* constructors, size_t count);
// DriverUnload's last step: every registered stop operation, newest first, each node freed after
// its operation ran; then RunStaticDestructors.
void RunStaticDestruction();
