// Counted and resizing allocation over the driver's pool wrappers.
#include "countedallocation.h"

#include "kernel/poolallocation.h"

#include <algorithm>
#include <cstring>

void* CountedAllocate(size_t count, size_t size)
{
    if (count == 0 || size == 0 || count > SIZE_MAX / size)
        return nullptr;
    return AllocatePoolOfType(count * size, PagedPoolCacheAligned);
}

void* CountedReallocate(void* block, size_t oldCount, size_t newCount, size_t size)
{
    void* fresh = CountedAllocate(newCount, size);
    if (fresh == nullptr)
        return nullptr;
    if (block != nullptr) {
        std::memcpy(fresh, block, std::min(oldCount, newCount) * size);
        FreePool(block);
    }
    return fresh;
}

void CountedFree(void* block)
{
    if (block != nullptr)
        FreePool(block);
}
