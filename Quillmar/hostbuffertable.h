// HostBufferTable: the host common buffers the private "ALLOCATE MEMORY" request handed to user
// mode, per device. A caller never sees a buffer's kernel address: each entry gets a pointer cookie
// that travels in the records' "virtual address" word, and a later "FREE MEMORY" or "DSP COPY
// MEMORY" is accepted only for what an entry holds (bus address, cookie and length all matching;
// a copy's host range inside one entry, which stays pinned while the copy may still move bytes).
// Thread-safe (its own lock); bounded, so user mode cannot pin kernel memory without end.
#pragma once
#include "kernel/driverheap.h"
#include "kplxfastlock.h"
#include "km/mm.h"
#include "km/types.h"

class HostBufferTable {
public:
    static constexpr ULONG kMaximumEntries = 64;

    HostBufferTable() = default;
    // Drops the cookies of entries still held (the buffers themselves are the DMA adapter's).
    ~HostBufferTable();
    HostBufferTable(const HostBufferTable&) = delete;
    HostBufferTable& operator=(const HostBufferTable&) = delete;

    // Records a buffer and returns its cookie in *cookie: STATUS_INSUFFICIENT_RESOURCES when the
    // table is full or no cookie can be had, STATUS_INVALID_PARAMETER for a null buffer or length 0.
    NTSTATUS Add(PVOID virtualAddress, PHYSICAL_ADDRESS busAddress, ULONG length, ULONG* cookie);
    // Takes out the entry whose bus address, cookie and length all match, returning its address in
    // *virtualAddress. Nothing changes when no entry matches (STATUS_INVALID_PARAMETER) or while a
    // copy holds the entry pinned (STATUS_INVALID_DEVICE_STATE).
    NTSTATUS Remove(PHYSICAL_ADDRESS busAddress, ULONG cookie, ULONG length, PVOID* virtualAddress);
    // When [busAddress, busAddress + length) lies inside one entry (a 32-bit bus address, as the
    // DSP's copy command takes it), pins that entry against removal and returns its cookie in
    // *cookie; false (nothing pinned) otherwise.
    bool PinRange(ULONG busAddress, ULONG length, ULONG* cookie);
    // Ends one pin of PinRange.
    void Unpin(ULONG cookie);
    // Forgets every entry, pinned or not, dropping their cookies (the adapter's release has freed
    // the buffers; no request runs any more).
    void Clear();
    ULONG Count();

private:
    struct Entry {
        PVOID virtualAddress;
        PHYSICAL_ADDRESS busAddress;
        ULONG length;
        ULONG cookie; // 0: the slot is free
        ULONG pins;   // copies that may still move bytes through the buffer
    };
    void DropLocked(Entry& entry);

    KPLXFastLock m_lock;
    Entry m_entries[kMaximumEntries] = {};
};
