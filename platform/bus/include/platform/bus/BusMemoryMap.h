// The physical memory space of the bus: the ranges that device models register, the mappings that
// make them reachable from the processor side, and the routing of every access through a mapping to
// the model behind it.
//
// A mapping hands out a token address, not memory: it lies in a span of host addresses reserved with
// no access rights, keeps the physical address's offset within its page, and covers exactly the
// mapped bytes. Device memory is reached only by passing token addresses to Read, Write, ReadBuffer
// and WriteBuffer; there is no host pointer into device memory, and dereferencing a token faults at
// once. Freed tokens are not reused until the token span has been gone round, so a stale token meets
// no mapping instead of a new one.
//
// Every operation is thread-safe. Model handlers run without any bus lock. Unregistering a range
// waits for every access already inside the model to return, so a model may be destroyed as soon as
// UnregisterRange returns.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

#include "platform/bus/BusStatus.h"
#include "platform/bus/DeviceMemory.h"

namespace platform {

class TokenSpace;

struct IoSpaceMappingInfo {
    uintptr_t address;     // the token address handed out
    uint64_t length;       // bytes mapped
    uint64_t physical;     // physical address mapped
    std::string rangeName; // name the model registered its range under
    bool rangeRemoved;     // the range was unregistered while mapped
};

class BusMemoryMap {
public:
    // Token addresses reserved for the process-wide map: room for thousands of board mappings before
    // the allocation wraps round.
    static constexpr size_t kDefaultTokenSpace = size_t{16} << 30;

    explicit BusMemoryMap(size_t tokenSpaceBytes = kDefaultTokenSpace);
    ~BusMemoryMap();
    BusMemoryMap(const BusMemoryMap&) = delete;
    BusMemoryMap& operator=(const BusMemoryMap&) = delete;

    // Device side. A range is [physicalBase, physicalBase + length), length > 0, not wrapping and not
    // overlapping another range (InvalidArgument, Overlap). `model` must stay alive until the range
    // is unregistered. Unregistering a range that is still mapped is reported as a bus fault (rule
    // "bus"); it is removed all the same, and accesses through its mappings then fail with
    // RangeRemoved, as for a device that has gone.
    BusStatus RegisterRange(uint64_t physicalBase, uint64_t length, DeviceMemory& model, std::string name);
    BusStatus UnregisterRange(uint64_t physicalBase);

    // Processor side. Maps [physical, physical + length), which must lie wholly inside one registered
    // range, and sets `address` to its token (nullptr on failure: InvalidArgument for length 0 or a
    // wrapping range, NotRegistered when the bytes are not all inside one range, NoAddressSpace).
    BusStatus Map(uint64_t physical, uint64_t length, void*& address);
    // Releases the mapping that Map returned at `address`; `length` must be the mapped length.
    // NotMapped for an address no mapping starts at, WrongSize (mapping kept) for another length.
    BusStatus Unmap(const volatile void* address, uint64_t length);
    // Every live mapping, in token order.
    std::vector<IoSpaceMappingInfo> Mappings() const;

    // Accesses through a mapping. The whole access must lie inside one mapping (NotMapped, PastEnd);
    // a mapping whose range was unregistered fails with RangeRemoved. A failed read yields all ones,
    // as from a device that does not answer; a failed write reaches nothing. Runs of `count` units
    // rise through device memory; count 0 touches nothing and succeeds; a null `data` with count > 0
    // is InvalidArgument.
    BusStatus Read(const volatile void* address, AccessWidth width, uint32_t& value);
    BusStatus Write(volatile void* address, AccessWidth width, uint32_t value);
    BusStatus ReadBuffer(const volatile void* address, AccessWidth width, void* data, size_t count);
    BusStatus WriteBuffer(volatile void* address, AccessWidth width, const void* data, size_t count);

private:
    struct Range;
    struct Mapping {
        uintptr_t slot; // start of the token pages, where the token space allocation begins
        uint64_t length;
        uint64_t physical;
        std::shared_ptr<Range> range;
    };

    // Finds the range behind `bytes` at `address` and enters it; the caller leaves it.
    BusStatus Enter(uintptr_t address, uint64_t bytes, std::shared_ptr<Range>& range, uint64_t& offset);

    mutable std::shared_mutex m_lock;
    std::map<uint64_t, std::shared_ptr<Range>> m_ranges; // by physical base
    std::map<uintptr_t, Mapping> m_mappings;             // by token address
    std::unique_ptr<TokenSpace> m_tokens;
};

} // namespace platform
