// IoRange: one range of device registers or memory. A memory range is mapped non-cached with
// MmMapIoSpace and reached through the HAL's register accessors at Address(); a port range keeps
// its address as given. The range unmaps itself when it goes.
#pragma once
#include "km/mm.h"
#include "km/resources.h"
#include "km/types.h"

class IoRange {
public:
    IoRange() = default;
    ~IoRange() { Unmap(); }
    IoRange(const IoRange&) = delete;
    IoRange& operator=(const IoRange&) = delete;

    // Unmaps a previous mapping, then takes the range. A port range keeps its address; a memory
    // range is mapped when `map` is set, STATUS_INSUFFICIENT_RESOURCES when the mapping fails. The
    // status is also kept as the last status.
    NTSTATUS Initialize(PHYSICAL_ADDRESS physical, bool isPort, ULONG length, bool map);
    // The index-th memory descriptor of the list (FindResource), then Initialize;
    // STATUS_RESOURCE_TYPE_NOT_FOUND when the list has no such descriptor.
    NTSTATUS FromResources(PCM_RESOURCE_LIST list, ULONG index, bool map);
    // MmUnmapIoSpace of a mapped memory range.
    void Unmap();

    bool IsPort() const { return m_isPort; }
    PHYSICAL_ADDRESS Physical() const { return m_physical; }
    ULONG Length() const { return m_length; }
    // The mapped address of a memory range (null while unmapped), the address of a port range.
    PUCHAR Address() const { return m_address; }
    bool IsMapped() const { return m_mapped; }
    NTSTATUS LastStatus() const { return m_status; }

private:
    bool m_isPort = false;
    PHYSICAL_ADDRESS m_physical{};
    ULONG m_length = 0;
    PUCHAR m_address = nullptr;
    bool m_mapped = false;
    NTSTATUS m_status = 0;
};
