// The arena sub-allocator: fitting, splitting, carving from the middle, and merging on release.
#include "kernel/heap.h"

#include <cstring>
#include <new>

namespace {

constexpr size_t kDescriptorBytes = sizeof(HeapDescriptor);
constexpr size_t kSmallestBlock = Heap::GrossSize(1);

} // namespace

void Heap::Initialize(void* base, size_t size, ULONG fitMode)
{
    const uintptr_t start = reinterpret_cast<uintptr_t>(base);
    const uintptr_t aligned = (start + 7) & ~uintptr_t{7};
    const size_t skipped = aligned - start;
    size = (base && size > skipped) ? size - skipped : 0;
    size &= ~size_t{7};
    if (size > kMaxArenaBytes)
        size = kMaxArenaBytes;

    m_release = nullptr;
    m_fitMode = fitMode;
    m_allocatedBlocks = 0;
    m_spareDescriptors = 0;
    m_base = size ? reinterpret_cast<uint8_t*>(aligned) : nullptr;
    m_totalSize = size;
    m_lowMark = m_base;
    m_middleSize = size;
    m_addressHead = nullptr;
    m_sizeTail = nullptr;
    m_sizeHead = nullptr;
    m_spareHead = nullptr;
}

bool Heap::Contains(const void* pointer) const
{
    const uintptr_t p = reinterpret_cast<uintptr_t>(pointer);
    const uintptr_t base = reinterpret_cast<uintptr_t>(m_base);
    return m_totalSize != 0 && p >= base && p - base < m_totalSize;
}

void* Heap::Allocate(size_t n)
{
    if (n == 0 || n > m_totalSize)
        return nullptr;

    // Keep descriptors ready for the frees to come, while the middle can spare them.
    if (m_spareDescriptors < 2 * uint64_t{m_allocatedBlocks} && m_middleSize >= kDescriptorBytes)
        PushSpare(CarveDescriptor());

    const size_t gross = GrossSize(n);
    HeapDescriptor* larger = nullptr;
    for (HeapDescriptor* d = m_sizeHead; d; d = d->sizeNext) {
        if (d->size == gross) {
            uint8_t* block = d->address;
            SizeListRemove(d);
            AddressListRemove(d);
            ReleaseDescriptor(d);
            return HandOut(block, gross);
        }
        if (d->size < gross)
            break;
        larger = d;
        if (m_fitMode == kSplitLargest)
            break;
    }
    if (larger) {
        // The allocation takes the low end; the rest stays free in the same place by address.
        uint8_t* block = larger->address;
        larger->address += gross;
        larger->size -= gross;
        SizeListRemove(larger);
        SizeListInsert(larger);
        return HandOut(block, gross);
    }
    if (m_middleSize < gross)
        return nullptr;
    m_middleSize -= gross;
    return HandOut(MiddleTop(), gross);
}

void Heap::Free(void* pointer)
{
    if (!Contains(pointer)) {
        if (m_release)
            m_release(this, pointer);
        return;
    }

    // Every block, free or in use, lies between the top of the middle and the arena's end; the
    // header must describe one there, and it must not overlap a free block (a second release).
    const uintptr_t blockAddress = reinterpret_cast<uintptr_t>(pointer) - kHeaderBytes;
    if (blockAddress < reinterpret_cast<uintptr_t>(MiddleTop()))
        return;
    uint8_t* block = reinterpret_cast<uint8_t*>(blockAddress);
    uint32_t header;
    std::memcpy(&header, block, sizeof header);
    const size_t size = header;
    const size_t room = static_cast<size_t>(m_base + m_totalSize - block);
    if (size < kSmallestBlock || size % 8 != 0 || size > room)
        return;

    HeapDescriptor* previous = nullptr;
    HeapDescriptor* next = m_addressHead;
    while (next && next->address < block) {
        previous = next;
        next = next->addressNext;
    }
    if ((previous && previous->address + previous->size > block) || (next && block + size > next->address))
        return;
    if (m_allocatedBlocks)
        --m_allocatedBlocks;

    // Only a block that stays a free block of its own needs a descriptor; joining the middle or a
    // neighbour never loses it.
    if (block == MiddleTop()) {
        m_middleSize += size;
        return;
    }
    const bool joinsPrevious = previous && previous->address + previous->size == block;
    const bool joinsNext = next && block + size == next->address;
    if (joinsPrevious) {
        previous->size += size;
        if (joinsNext) {
            previous->size += next->size;
            SizeListRemove(next);
            AddressListRemove(next);
            ReleaseDescriptor(next);
        }
        SizeListRemove(previous);
        SizeListInsert(previous);
        return;
    }
    if (joinsNext) {
        next->address = block;
        next->size += size;
        SizeListRemove(next);
        SizeListInsert(next);
        return;
    }

    HeapDescriptor* d = TakeDescriptor();
    if (!d)
        return; // no descriptor to be had: the block stays lost to the arena
    d->address = block;
    d->size = size;
    d->addressPrevious = previous;
    d->addressNext = next;
    if (previous)
        previous->addressNext = d;
    else
        m_addressHead = d;
    if (next)
        next->addressPrevious = d;
    SizeListInsert(d);
}

void* Heap::HandOut(uint8_t* block, size_t gross)
{
    const uint32_t header = static_cast<uint32_t>(gross);
    std::memcpy(block, &header, sizeof header);
    ++m_allocatedBlocks;
    return block + kHeaderBytes;
}

HeapDescriptor* Heap::CarveDescriptor()
{
    auto* d = new (m_lowMark) HeapDescriptor{};
    m_lowMark += kDescriptorBytes;
    m_middleSize -= kDescriptorBytes;
    return d;
}

HeapDescriptor* Heap::TakeDescriptor()
{
    if (HeapDescriptor* d = m_spareHead) {
        m_spareHead = d->addressNext;
        --m_spareDescriptors;
        *d = HeapDescriptor{};
        return d;
    }
    if (m_middleSize >= kDescriptorBytes)
        return CarveDescriptor();
    return nullptr;
}

void Heap::ReleaseDescriptor(HeapDescriptor* descriptor)
{
    if (reinterpret_cast<uint8_t*>(descriptor) + kDescriptorBytes == m_lowMark) {
        m_lowMark -= kDescriptorBytes;
        m_middleSize += kDescriptorBytes;
        return;
    }
    PushSpare(descriptor);
}

void Heap::PushSpare(HeapDescriptor* descriptor)
{
    descriptor->addressNext = m_spareHead;
    m_spareHead = descriptor;
    ++m_spareDescriptors;
}

// Largest first; a block goes after every block of the same or a larger size.
void Heap::SizeListInsert(HeapDescriptor* descriptor)
{
    HeapDescriptor* before = nullptr;
    HeapDescriptor* after = m_sizeHead;
    while (after && after->size >= descriptor->size) {
        before = after;
        after = after->sizeNext;
    }
    descriptor->sizePrevious = before;
    descriptor->sizeNext = after;
    if (before)
        before->sizeNext = descriptor;
    else
        m_sizeHead = descriptor;
    if (after)
        after->sizePrevious = descriptor;
    else
        m_sizeTail = descriptor;
}

void Heap::SizeListRemove(HeapDescriptor* descriptor)
{
    if (descriptor->sizePrevious)
        descriptor->sizePrevious->sizeNext = descriptor->sizeNext;
    else
        m_sizeHead = descriptor->sizeNext;
    if (descriptor->sizeNext)
        descriptor->sizeNext->sizePrevious = descriptor->sizePrevious;
    else
        m_sizeTail = descriptor->sizePrevious;
    descriptor->sizePrevious = nullptr;
    descriptor->sizeNext = nullptr;
}

void Heap::AddressListRemove(HeapDescriptor* descriptor)
{
    if (descriptor->addressPrevious)
        descriptor->addressPrevious->addressNext = descriptor->addressNext;
    else
        m_addressHead = descriptor->addressNext;
    if (descriptor->addressNext)
        descriptor->addressNext->addressPrevious = descriptor->addressPrevious;
    descriptor->addressPrevious = nullptr;
    descriptor->addressNext = nullptr;
}
