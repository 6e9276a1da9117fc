// The driver heap: arena set-up, the spin lock around the heap, and the fallback to pool.
#include "kernel/driverheap.h"

#include "kernel/heap.h"
#include "kernel/poolallocation.h"
#include "km/raise.h"
#include "km/spinlock.h"
#include "km/status.h"

namespace {

void ReleaseToPool(Heap*, void* block)
{
    FreePool(block);
}

// A zero lock word is a free lock, and the heap without an arena hands every release to pool, so
// the allocation works (from pool) even before the heap exists.
constinit KSPIN_LOCK g_lock = 0;
constinit Heap g_heap{&ReleaseToPool};
constinit void* g_arena = nullptr;

// The request the heap is asked for: at least `bytes`, with a gross size (request + 8-byte
// header, rounded to 8) that is a multiple of 16.
size_t ShapedRequest(size_t bytes)
{
    return (bytes + 7) / 16 * 16 + 8;
}

void* AllocateFromHeapOrPool(size_t bytes)
{
    if (bytes == 0)
        bytes = 1;
    void* block = nullptr;
    if (bytes <= kDriverHeapArenaBytes) {
        KIRQL oldIrql;
        KeAcquireSpinLock(&g_lock, &oldIrql);
        block = g_heap.Allocate(ShapedRequest(bytes));
        KeReleaseSpinLock(&g_lock, oldIrql);
    }
    if (!block)
        block = AllocatePool(bytes);
    return block;
}

} // namespace

void CreateDriverHeap()
{
    KIRQL oldIrql;
    KeAcquireSpinLock(&g_lock, &oldIrql);
    const bool exists = g_arena != nullptr;
    KeReleaseSpinLock(&g_lock, oldIrql);
    if (exists)
        return;

    void* arena = AllocatePool(kDriverHeapArenaBytes);
    if (!arena)
        return;
    // Cut the arena so that its top lies 8 bytes past a 16-byte boundary.
    size_t size = kDriverHeapArenaBytes;
    const uintptr_t top = reinterpret_cast<uintptr_t>(arena) + size;
    size -= (top - 8) % kDriverAllocationAlignment;

    KeAcquireSpinLock(&g_lock, &oldIrql);
    g_arena = arena;
    g_heap.Initialize(arena, size, Heap::kBestFit);
    g_heap.SetReleaseCallback(&ReleaseToPool);
    KeReleaseSpinLock(&g_lock, oldIrql);
}

void DestroyDriverHeap()
{
    KIRQL oldIrql;
    KeAcquireSpinLock(&g_lock, &oldIrql);
    void* arena = g_arena;
    g_arena = nullptr;
    g_heap.Initialize(nullptr, 0, Heap::kBestFit);
    g_heap.SetReleaseCallback(&ReleaseToPool);
    KeReleaseSpinLock(&g_lock, oldIrql);
    FreePool(arena);
}

void* DriverAllocate(size_t bytes)
{
    void* block = AllocateFromHeapOrPool(bytes);
    if (!block)
        ExRaiseStatus(STATUS_INSUFFICIENT_RESOURCES);
    return block;
}

void* DriverAllocateNoRaise(size_t bytes) noexcept
{
    return AllocateFromHeapOrPool(bytes);
}

void DriverFree(void* block) noexcept
{
    if (!block)
        return;
    KIRQL oldIrql;
    KeAcquireSpinLock(&g_lock, &oldIrql);
    g_heap.Free(block);
    KeReleaseSpinLock(&g_lock, oldIrql);
}
