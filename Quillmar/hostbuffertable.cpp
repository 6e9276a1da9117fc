// HostBufferTable: the host buffers of the private memory requests and their cookies.
#include "hostbuffertable.h"

#include "km/pointercookie.h"
#include "km/status.h"

HostBufferTable::~HostBufferTable()
{
    Clear();
}

void HostBufferTable::DropLocked(Entry& entry)
{
    if (entry.cookie != 0)
        standin::PointerCookie::Drop(entry.cookie, this);
    entry = Entry{};
}

NTSTATUS HostBufferTable::Add(PVOID virtualAddress, PHYSICAL_ADDRESS busAddress, ULONG length, ULONG* cookie)
{
    if (cookie)
        *cookie = 0;
    if (!virtualAddress || length == 0 || !cookie)
        return STATUS_INVALID_PARAMETER;
    KPLXFastStackLock hold(&m_lock, this, "HostBufferTable::Add", __LINE__);
    for (Entry& entry : m_entries) {
        if (entry.cookie != 0)
            continue;
        const ULONG given = standin::PointerCookie::Give(virtualAddress, length, this);
        if (given == 0)
            return STATUS_INSUFFICIENT_RESOURCES;
        entry = Entry{virtualAddress, busAddress, length, given, 0};
        *cookie = given;
        return STATUS_SUCCESS;
    }
    return STATUS_INSUFFICIENT_RESOURCES;
}

NTSTATUS HostBufferTable::Remove(PHYSICAL_ADDRESS busAddress, ULONG cookie, ULONG length, PVOID* virtualAddress)
{
    if (virtualAddress)
        *virtualAddress = nullptr;
    if (cookie == 0)
        return STATUS_INVALID_PARAMETER;
    KPLXFastStackLock hold(&m_lock, this, "HostBufferTable::Remove", __LINE__);
    for (Entry& entry : m_entries) {
        if (entry.cookie != cookie || entry.busAddress.QuadPart != busAddress.QuadPart || entry.length != length)
            continue;
        // The cookie must still name this entry's buffer.
        SIZE_T resolvedLength = 0;
        if (standin::PointerCookie::Resolve(cookie, this, &resolvedLength) != entry.virtualAddress ||
            resolvedLength != length)
            return STATUS_INVALID_PARAMETER;
        // The DSP may still be moving bytes through it.
        if (entry.pins != 0)
            return STATUS_INVALID_DEVICE_STATE;
        if (virtualAddress)
            *virtualAddress = entry.virtualAddress;
        DropLocked(entry);
        return STATUS_SUCCESS;
    }
    return STATUS_INVALID_PARAMETER;
}

bool HostBufferTable::PinRange(ULONG busAddress, ULONG length, ULONG* cookie)
{
    if (cookie)
        *cookie = 0;
    if (!cookie)
        return false;
    KPLXFastStackLock hold(&m_lock, this, "HostBufferTable::PinRange", __LINE__);
    for (Entry& entry : m_entries) {
        if (entry.cookie == 0)
            continue;
        const ULONGLONG start = static_cast<ULONGLONG>(entry.busAddress.QuadPart);
        const ULONGLONG end = start + entry.length;
        const ULONGLONG first = busAddress;
        const ULONGLONG last = first + length;
        if (first >= start && last <= end) {
            ++entry.pins;
            *cookie = entry.cookie;
            return true;
        }
    }
    return false;
}

void HostBufferTable::Unpin(ULONG cookie)
{
    if (cookie == 0)
        return;
    KPLXFastStackLock hold(&m_lock, this, "HostBufferTable::Unpin", __LINE__);
    for (Entry& entry : m_entries)
        if (entry.cookie == cookie && entry.pins != 0) {
            --entry.pins;
            return;
        }
}

void HostBufferTable::Clear()
{
    KPLXFastStackLock hold(&m_lock, this, "HostBufferTable::Clear", __LINE__);
    for (Entry& entry : m_entries)
        if (entry.cookie != 0)
            DropLocked(entry);
}

ULONG HostBufferTable::Count()
{
    KPLXFastStackLock hold(&m_lock, this, "HostBufferTable::Count", __LINE__);
    ULONG count = 0;
    for (const Entry& entry : m_entries)
        count += entry.cookie != 0 ? 1 : 0;
    return count;
}
