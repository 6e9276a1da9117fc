// First-fit placement of DSP memory blocks inside their pool and window page.
#include "board/DspAllocator.h"

#include "board/MailboxMessages.h"

namespace board {

namespace {

uint64_t AlignUp(uint64_t value, uint64_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

} // namespace

uint32_t DspAllocator::Allocate(const DspBlock& request, DspBlock& block)
{
    block = DspBlock{};
    if (request.memoryType != kInternalType && request.memoryType != kExternalType)
        return kDspErrorBadParameter;
    if (request.length == 0 || request.length > kMaxBlock)
        return kDspErrorBadParameter;
    const uint64_t base = request.memoryType == kInternalType ? kInternalBase : kExternalBase;
    const uint64_t end = request.memoryType == kInternalType ? kInternalEnd : kExternalEnd;

    // The blocks of this pool by address; first fit walks the gaps between them.
    std::map<uint64_t, uint64_t> used;
    for (const auto& [handle, existing] : m_blocks)
        if (existing.memoryType == request.memoryType)
            used[existing.address] = uint64_t{existing.address} + existing.length;

    uint64_t candidate = base;
    for (;;) {
        candidate = AlignUp(candidate, kAlignment);
        // The host reads a block through the window, one page at a time: keep it inside one.
        const uint64_t pageEnd = (candidate / kPageSize + 1) * kPageSize;
        if (candidate + request.length > pageEnd)
            candidate = pageEnd;
        if (candidate + request.length > end)
            return kDspErrorNoMemory;
        // The first block that ends after the candidate starts decides whether it fits.
        bool moved = false;
        for (const auto& [start, stop] : used) {
            if (stop <= candidate)
                continue;
            if (start < candidate + request.length) {
                candidate = stop;
                moved = true;
            }
            break;
        }
        if (!moved)
            break;
    }
    while (m_nextHandle == 0 || m_blocks.contains(m_nextHandle))
        ++m_nextHandle;
    block = request;
    block.address = static_cast<uint32_t>(candidate);
    block.handle = m_nextHandle++;
    m_blocks[block.handle] = block;
    return kDspResultSuccess;
}

uint32_t DspAllocator::Free(uint32_t handle)
{
    return m_blocks.erase(handle) == 1 ? kDspResultSuccess : kDspErrorBadHandle;
}

std::optional<DspBlock> DspAllocator::Find(uint32_t handle) const
{
    const auto found = m_blocks.find(handle);
    if (found == m_blocks.end())
        return std::nullopt;
    return found->second;
}

std::vector<DspBlock> DspAllocator::Blocks() const
{
    std::vector<DspBlock> blocks;
    for (const auto& [handle, block] : m_blocks)
        blocks.push_back(block);
    return blocks;
}

void DspAllocator::Clear()
{
    m_blocks.clear();
    m_nextHandle = 1;
}

} // namespace board
