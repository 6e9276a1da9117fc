// The driver's object allocation: one heap of 32,768 bytes of non-paged pool, created at load and
// freed at unload (see staticlifetime.h), behind a spin lock so that it serves callers up to
// DISPATCH_LEVEL. A request the heap cannot serve goes to non-paged pool with the driver's tag.
//
// Every block is 16-byte aligned, as x86-64 objects with vector members need: requests are
// shaped so that every block's gross size is a multiple of 16, and the arena is cut so that its
// top lies 8 bytes past a 16-byte boundary; blocks carved below it and splits of free blocks then
// all start 8 bytes past a boundary, and the caller's pointer after the 8-byte header lies on one.
// Pool blocks are 16-byte aligned already. docs/driver-heap.md has the arithmetic.
#pragma once
#include "km/types.h"

#include <cstddef>

inline constexpr size_t kDriverHeapArenaBytes = 32768;
inline constexpr size_t kDriverAllocationAlignment = 16;

// Called by RunStaticInitializers and RunStaticDestructors. Without an arena (the pool refused
// it) the heap is not used and every allocation goes to pool. Blocks still in the arena when it is
// destroyed go with it.
void CreateDriverHeap();
void DestroyDriverHeap();

// Room for `bytes` (0 counts as 1); raises STATUS_INSUFFICIENT_RESOURCES (ExRaiseStatus) when
// neither the heap nor the pool can serve it.
void* DriverAllocate(size_t bytes);
// The same, answering null instead of raising: for callers that cannot take an exception, such as
// the image primitives' allocation hook.
void* DriverAllocateNoRaise(size_t bytes) noexcept;
// Releases a block of either allocation, wherever it came from; null is ignored.
void DriverFree(void* block) noexcept;

// Base of driver classes whose objects the driver allocates: new and delete go to the driver heap.
struct DriverAllocated {
    static void* operator new(size_t bytes) { return DriverAllocate(bytes); }
    static void operator delete(void* block) noexcept { DriverFree(block); }
};
