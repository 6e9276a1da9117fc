// Device memory ranges, their token mappings and the routing of accesses to the models.
#include "platform/bus/BusMemoryMap.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <mutex>

#include "InFlightGate.h"
#include "TokenSpace.h"
#include "platform/bus/BusFault.h"

namespace platform {

struct BusMemoryMap::Range {
    uint64_t base;
    uint64_t length;
    DeviceMemory* model;
    std::string name;
    size_t mappings = 0; // live mappings into this range
    bool removed = false;
    InFlightGate gate;
};

namespace {

std::string Hex(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// Whether [base, base + length) is a non-empty span that does not wrap past the top.
bool IsSpan(uint64_t base, uint64_t length)
{
    return length != 0 && length - 1 <= std::numeric_limits<uint64_t>::max() - base;
}

} // namespace

BusMemoryMap::BusMemoryMap(size_t tokenSpaceBytes) : m_tokens(std::make_unique<TokenSpace>(tokenSpaceBytes)) {}

BusMemoryMap::~BusMemoryMap() = default;

BusStatus BusMemoryMap::RegisterRange(uint64_t physicalBase, uint64_t length, DeviceMemory& model, std::string name)
{
    if (!IsSpan(physicalBase, length))
        return BusStatus::InvalidArgument;
    const uint64_t last = physicalBase + (length - 1);
    std::unique_lock<std::shared_mutex> hold(m_lock);
    auto next = m_ranges.lower_bound(physicalBase);
    if (next != m_ranges.end() && next->first <= last)
        return BusStatus::Overlap;
    if (next != m_ranges.begin()) {
        const Range& prev = *std::prev(next)->second;
        if (prev.base + (prev.length - 1) >= physicalBase)
            return BusStatus::Overlap;
    }
    auto range = std::make_shared<Range>();
    range->base = physicalBase;
    range->length = length;
    range->model = &model;
    range->name = std::move(name);
    m_ranges.emplace(physicalBase, std::move(range));
    return BusStatus::Ok;
}

BusStatus BusMemoryMap::UnregisterRange(uint64_t physicalBase)
{
    std::shared_ptr<Range> range;
    size_t mapped;
    {
        std::unique_lock<std::shared_mutex> hold(m_lock);
        auto it = m_ranges.find(physicalBase);
        if (it == m_ranges.end())
            return BusStatus::NotRegistered;
        range = std::move(it->second);
        m_ranges.erase(it);
        range->removed = true;
        mapped = range->mappings;
    }
    if (mapped != 0)
        ReportBusFault("bus", "device range \"" + range->name + "\" at physical " + Hex(range->base) + " (" +
                                  Hex(range->length) + " bytes) unregistered while " + std::to_string(mapped) +
                                  " mapping(s) of it remain");
    range->gate.WaitIdle();
    return BusStatus::Ok;
}

BusStatus BusMemoryMap::Map(uint64_t physical, uint64_t length, void*& address)
{
    address = nullptr;
    if (!IsSpan(physical, length))
        return BusStatus::InvalidArgument;
    std::unique_lock<std::shared_mutex> hold(m_lock);
    auto it = m_ranges.upper_bound(physical);
    if (it == m_ranges.begin())
        return BusStatus::NotRegistered;
    const std::shared_ptr<Range>& range = std::prev(it)->second;
    const uint64_t offset = physical - range->base;
    if (offset >= range->length || length > range->length - offset)
        return BusStatus::NotRegistered;
    // The token keeps the physical address's offset within its page, as a mapping of real pages does.
    const uint64_t pageOffset = physical % TokenSpace::kPageSize;
    if (length > std::numeric_limits<uint64_t>::max() - pageOffset)
        return BusStatus::NoAddressSpace;
    const uintptr_t slot = m_tokens->Allocate(pageOffset + length);
    if (slot == 0)
        return BusStatus::NoAddressSpace;
    const uintptr_t token = slot + pageOffset;
    m_mappings.emplace(token, Mapping{slot, length, physical, range});
    ++range->mappings;
    address = reinterpret_cast<void*>(token);
    return BusStatus::Ok;
}

BusStatus BusMemoryMap::Unmap(const volatile void* address, uint64_t length)
{
    std::unique_lock<std::shared_mutex> hold(m_lock);
    auto it = m_mappings.find(reinterpret_cast<uintptr_t>(address));
    if (it == m_mappings.end())
        return BusStatus::NotMapped;
    if (it->second.length != length)
        return BusStatus::WrongSize;
    --it->second.range->mappings;
    m_tokens->Free(it->second.slot);
    m_mappings.erase(it);
    return BusStatus::Ok;
}

std::vector<IoSpaceMappingInfo> BusMemoryMap::Mappings() const
{
    std::shared_lock<std::shared_mutex> hold(m_lock);
    std::vector<IoSpaceMappingInfo> list;
    list.reserve(m_mappings.size());
    for (const auto& [token, mapping] : m_mappings)
        list.push_back({token, mapping.length, mapping.physical, mapping.range->name, mapping.range->removed});
    return list;
}

BusStatus BusMemoryMap::Enter(uintptr_t address, uint64_t bytes, std::shared_ptr<Range>& range, uint64_t& offset)
{
    std::shared_lock<std::shared_mutex> hold(m_lock);
    auto it = m_mappings.upper_bound(address);
    if (it == m_mappings.begin())
        return BusStatus::NotMapped;
    --it;
    const uintptr_t token = it->first;
    const Mapping& mapping = it->second;
    const uint64_t into = address - token;
    if (into >= mapping.length)
        return BusStatus::NotMapped;
    if (bytes > mapping.length - into)
        return BusStatus::PastEnd;
    if (mapping.range->removed)
        return BusStatus::RangeRemoved;
    range = mapping.range;
    offset = (mapping.physical - range->base) + into;
    range->gate.Enter();
    return BusStatus::Ok;
}

BusStatus BusMemoryMap::Read(const volatile void* address, AccessWidth width, uint32_t& value)
{
    std::shared_ptr<Range> range;
    uint64_t offset = 0;
    const BusStatus status = Enter(reinterpret_cast<uintptr_t>(address), WidthBytes(width), range, offset);
    if (status != BusStatus::Ok) {
        value = static_cast<uint32_t>(~uint64_t{0} >> (64 - 8 * WidthBytes(width)));
        return status;
    }
    InFlightScope inside(range->gate, std::adopt_lock);
    switch (width) {
    case AccessWidth::Byte:
        value = range->model->Read8(offset);
        break;
    case AccessWidth::Word:
        value = range->model->Read16(offset);
        break;
    case AccessWidth::Dword:
        value = range->model->Read32(offset);
        break;
    }
    return BusStatus::Ok;
}

BusStatus BusMemoryMap::Write(volatile void* address, AccessWidth width, uint32_t value)
{
    std::shared_ptr<Range> range;
    uint64_t offset = 0;
    const BusStatus status = Enter(reinterpret_cast<uintptr_t>(address), WidthBytes(width), range, offset);
    if (status != BusStatus::Ok)
        return status;
    InFlightScope inside(range->gate, std::adopt_lock);
    switch (width) {
    case AccessWidth::Byte:
        range->model->Write8(offset, static_cast<uint8_t>(value));
        break;
    case AccessWidth::Word:
        range->model->Write16(offset, static_cast<uint16_t>(value));
        break;
    case AccessWidth::Dword:
        range->model->Write32(offset, value);
        break;
    }
    return BusStatus::Ok;
}

BusStatus BusMemoryMap::ReadBuffer(const volatile void* address, AccessWidth width, void* data, size_t count)
{
    if (count == 0)
        return BusStatus::Ok;
    if (data == nullptr)
        return BusStatus::InvalidArgument;
    const size_t unit = WidthBytes(width);
    if (count > std::numeric_limits<uint64_t>::max() / unit)
        return BusStatus::PastEnd;
    std::shared_ptr<Range> range;
    uint64_t offset = 0;
    const BusStatus status = Enter(reinterpret_cast<uintptr_t>(address), count * unit, range, offset);
    if (status != BusStatus::Ok) {
        std::memset(data, 0xFF, count * unit);
        return status;
    }
    InFlightScope inside(range->gate, std::adopt_lock);
    range->model->ReadBuffer(offset, width, data, count);
    return BusStatus::Ok;
}

BusStatus BusMemoryMap::WriteBuffer(volatile void* address, AccessWidth width, const void* data, size_t count)
{
    if (count == 0)
        return BusStatus::Ok;
    if (data == nullptr)
        return BusStatus::InvalidArgument;
    const size_t unit = WidthBytes(width);
    if (count > std::numeric_limits<uint64_t>::max() / unit)
        return BusStatus::PastEnd;
    std::shared_ptr<Range> range;
    uint64_t offset = 0;
    const BusStatus status = Enter(reinterpret_cast<uintptr_t>(address), count * unit, range, offset);
    if (status != BusStatus::Ok)
        return status;
    InFlightScope inside(range->gate, std::adopt_lock);
    range->model->WriteBuffer(offset, width, data, count);
    return BusStatus::Ok;
}

} // namespace platform
