// Bus addresses of host DMA memory and the device transfers through them.
#include "platform/bus/DmaAddressMap.h"

#include <cstring>
#include <iterator>
#include <stdexcept>

#include "AddressAllocator.h"
#include "InFlightGate.h"

namespace platform {

struct DmaAddressMap::Block {
    uint32_t busAddress;
    size_t length;
    unsigned char* host;
    InFlightGate gate;
};

DmaAddressMap::DmaAddressMap(uint32_t poolBase, uint32_t poolEnd)
{
    if (poolBase == 0 || poolBase % kPageSize != 0 || poolEnd <= poolBase)
        throw std::invalid_argument("DmaAddressMap: the pool must be page-aligned, non-zero and not empty");
    // Blocks may sit back to back: a transfer is checked against its own block, so no guard is needed.
    m_addresses = std::make_unique<AddressAllocator>(poolBase, poolEnd, kPageSize, 0);
}

DmaAddressMap::~DmaAddressMap() = default;

BusStatus DmaAddressMap::Register(void* host, size_t length, uint32_t& busAddress)
{
    busAddress = 0;
    if (host == nullptr || length == 0)
        return BusStatus::InvalidArgument;
    std::lock_guard<std::mutex> hold(m_lock);
    auto start = m_addresses->Allocate(length);
    if (!start)
        return BusStatus::NoAddressSpace;
    auto block = std::make_shared<Block>();
    block->busAddress = static_cast<uint32_t>(*start);
    block->length = length;
    block->host = static_cast<unsigned char*>(host);
    m_blocks.emplace(block->busAddress, block);
    busAddress = block->busAddress;
    return BusStatus::Ok;
}

BusStatus DmaAddressMap::Unregister(uint32_t busAddress, const void* host, size_t length)
{
    std::shared_ptr<Block> block;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        auto it = m_blocks.find(busAddress);
        if (it == m_blocks.end())
            return BusStatus::NotRegistered;
        if (it->second->host != host || it->second->length != length)
            return BusStatus::WrongSize;
        block = std::move(it->second);
        m_blocks.erase(it);
        m_addresses->Free(busAddress);
    }
    block->gate.WaitIdle();
    return BusStatus::Ok;
}

BusStatus DmaAddressMap::Enter(uint32_t busAddress, size_t length, std::shared_ptr<Block>& block)
{
    if (length > (uint64_t{1} << 32))
        return BusStatus::OutsideMemory; // longer than the whole 32-bit bus space
    const uint64_t end = uint64_t{busAddress} + length; // one past the last byte
    std::lock_guard<std::mutex> hold(m_lock);
    auto next = m_blocks.upper_bound(busAddress);
    if (next == m_blocks.begin())
        return BusStatus::OutsideMemory;
    const std::shared_ptr<Block>& candidate = std::prev(next)->second;
    const uint64_t blockEnd = uint64_t{candidate->busAddress} + candidate->length;
    if (busAddress >= blockEnd)
        return BusStatus::OutsideMemory;
    if (end > blockEnd)
        return next != m_blocks.end() && next->first < end ? BusStatus::CrossesBlocks : BusStatus::OutsideMemory;
    block = candidate;
    block->gate.Enter();
    return BusStatus::Ok;
}

BusStatus DmaAddressMap::Read(uint32_t busAddress, void* data, size_t length)
{
    if (length == 0)
        return BusStatus::Ok;
    if (data == nullptr)
        return BusStatus::InvalidArgument;
    std::shared_ptr<Block> block;
    const BusStatus status = Enter(busAddress, length, block);
    if (status != BusStatus::Ok)
        return status;
    InFlightScope inside(block->gate, std::adopt_lock);
    std::memcpy(data, block->host + (busAddress - block->busAddress), length);
    return BusStatus::Ok;
}

BusStatus DmaAddressMap::Write(uint32_t busAddress, const void* data, size_t length)
{
    if (length == 0)
        return BusStatus::Ok;
    if (data == nullptr)
        return BusStatus::InvalidArgument;
    std::shared_ptr<Block> block;
    const BusStatus status = Enter(busAddress, length, block);
    if (status != BusStatus::Ok)
        return status;
    InFlightScope inside(block->gate, std::adopt_lock);
    std::memcpy(block->host + (busAddress - block->busAddress), data, length);
    return BusStatus::Ok;
}

size_t DmaAddressMap::BlockCount() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_blocks.size();
}

} // namespace platform
