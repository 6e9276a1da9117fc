// Counted and resizing allocation of driver arrays from paged, cache-aligned pool (tag "Wdm "),
// not cleared. Both answer null when the pool refuses or the size does not fit a size_t.
#pragma once
#include <cstddef>

// count x size bytes; null when the product overflows or is 0.
void* CountedAllocate(size_t count, size_t size);
// A new block of newCount x size bytes holding the first min(oldCount, newCount) elements of
// `block`, which is freed. On failure `block` is left as it was and null is returned. A null
// block is a plain counted allocation.
void* CountedReallocate(void* block, size_t oldCount, size_t newCount, size_t size);
void CountedFree(void* block);
