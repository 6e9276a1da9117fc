// Mapping and unmapping of device ranges.
#include "kernel/iorange.h"

#include "kernel/findresource.h"
#include "km/status.h"

NTSTATUS IoRange::Initialize(PHYSICAL_ADDRESS physical, bool isPort, ULONG length, bool map)
{
    Unmap();
    m_isPort = isPort;
    m_physical = physical;
    m_length = length;
    m_address = nullptr;
    m_status = STATUS_SUCCESS;
    if (isPort) {
        m_address = reinterpret_cast<PUCHAR>(static_cast<ULONG_PTR>(physical.QuadPart));
    } else if (map) {
        m_address = static_cast<PUCHAR>(MmMapIoSpace(physical, length, MmNonCached));
        m_mapped = m_address != nullptr;
        if (!m_mapped)
            m_status = STATUS_INSUFFICIENT_RESOURCES;
    }
    return m_status;
}

NTSTATUS IoRange::FromResources(PCM_RESOURCE_LIST list, ULONG index, bool map)
{
    const PCM_PARTIAL_RESOURCE_DESCRIPTOR memory = FindResource(list, CmResourceTypeMemory, index);
    if (!memory) {
        m_status = STATUS_RESOURCE_TYPE_NOT_FOUND;
        return m_status;
    }
    const PHYSICAL_ADDRESS start = memory->u.Memory.Start;
    return Initialize(start, false, memory->u.Memory.Length, map);
}

void IoRange::Unmap()
{
    if (m_mapped)
        MmUnmapIoSpace(m_address, m_length);
    if (!m_isPort)
        m_address = nullptr;
    m_mapped = false;
}
