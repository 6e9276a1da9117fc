// Heap: a sub-allocator over one arena of memory, used for the driver's object allocation.
//
// Blocks are carved from the top of the untouched "middle" of the arena downwards; the descriptors
// that track free blocks are carved from the arena's low end upwards. Free blocks sit on an
// address-ordered list (for merging with their neighbours) and a size-ordered list (largest first,
// for fitting). A block starts with an 8-byte header whose first 32-bit word holds its gross size;
// the caller's pointer is the block + 8. Heap is plain memory with constant initial state, so it
// may be a zero-initialised global. It does not lock: the owner serialises.
#pragma once
#include "km/types.h"

#include <cstddef>
#include <cstdint>

// One free block, or a descriptor waiting on the spare list. With 64-bit pointers a descriptor
// takes 48 bytes of the arena (24 with 32-bit ones).
struct HeapDescriptor {
    uint8_t* address;
    size_t size;
    HeapDescriptor* sizePrevious;
    HeapDescriptor* sizeNext;
    HeapDescriptor* addressNext; // also the spare-list link
    HeapDescriptor* addressPrevious;
};
static_assert(sizeof(HeapDescriptor) == 48);

class Heap {
public:
    // Called for a pointer that does not lie in the arena (for instance one that came from pool
    // when the heap was full).
    using ReleaseCallback = void (*)(Heap* heap, void* pointer);

    // Fit modes.
    static constexpr ULONG kSplitLargest = 0; // split the first larger block met: the largest
    static constexpr ULONG kBestFit = 1;      // any non-zero value: the smallest block that fits

    static constexpr size_t kHeaderBytes = 8;
    // The header word is 32 bits wide, so an arena is used up to this many bytes.
    static constexpr size_t kMaxArenaBytes = 0xFFFFFFF8;

    // The bytes a request of n takes: n plus the header, rounded up to a multiple of 8. Callers
    // keep n within the arena's size, so this cannot overflow.
    static constexpr size_t GrossSize(size_t n) { return (n + 15) & ~size_t{7}; }

    // A heap without an arena: every Allocate fails; Free passes every pointer to the callback.
    constexpr Heap() = default;
    constexpr explicit Heap(ReleaseCallback callback) : m_release(callback) {}
    Heap(const Heap&) = delete;
    Heap& operator=(const Heap&) = delete;

    // Empty lists, counts 0, the whole arena as middle, no release callback. The base is rounded
    // up to 8 bytes and the size down to a multiple of 8 (and to kMaxArenaBytes).
    void Initialize(void* base, size_t size, ULONG fitMode);
    void SetReleaseCallback(ReleaseCallback callback) { m_release = callback; }

    // n usable bytes, 8-byte aligned, or null (n = 0, or no room).
    void* Allocate(size_t n);
    // Returns a block to the heap; a pointer outside the arena goes to the release callback. A
    // pointer inside the arena whose header does not describe a block there, or whose block
    // overlaps a free one (a second release), is left alone. A block that can join neither the
    // middle nor a free neighbour needs a descriptor; when none can be had it is lost to the arena.
    void Free(void* pointer);

    bool Contains(const void* pointer) const;

    // Read-only views of the state, for the owner's diagnostics.
    ULONG FitMode() const { return m_fitMode; }
    ULONG AllocatedBlocks() const { return m_allocatedBlocks; }
    ULONG SpareDescriptors() const { return m_spareDescriptors; }
    const uint8_t* Base() const { return m_base; }
    size_t TotalSize() const { return m_totalSize; }
    const uint8_t* LowMark() const { return m_lowMark; }
    size_t MiddleSize() const { return m_middleSize; }
    const HeapDescriptor* AddressListHead() const { return m_addressHead; }
    const HeapDescriptor* SizeListHead() const { return m_sizeHead; }
    const HeapDescriptor* SizeListTail() const { return m_sizeTail; }
    const HeapDescriptor* SpareListHead() const { return m_spareHead; }

private:
    uint8_t* MiddleTop() const { return m_lowMark + m_middleSize; }
    HeapDescriptor* CarveDescriptor();
    HeapDescriptor* TakeDescriptor();
    void ReleaseDescriptor(HeapDescriptor* descriptor);
    void PushSpare(HeapDescriptor* descriptor);
    void SizeListInsert(HeapDescriptor* descriptor);
    void SizeListRemove(HeapDescriptor* descriptor);
    void AddressListRemove(HeapDescriptor* descriptor);
    void* HandOut(uint8_t* block, size_t gross);

    ReleaseCallback m_release = nullptr;
    ULONG m_fitMode = 0;
    ULONG m_allocatedBlocks = 0;
    ULONG m_spareDescriptors = 0;
    uint8_t* m_base = nullptr;
    size_t m_totalSize = 0;
    uint8_t* m_lowMark = nullptr;
    size_t m_middleSize = 0;
    HeapDescriptor* m_addressHead = nullptr;
    HeapDescriptor* m_sizeTail = nullptr;
    HeapDescriptor* m_sizeHead = nullptr;
    HeapDescriptor* m_spareHead = nullptr;
};
