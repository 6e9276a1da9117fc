// LogicalStreamTable: handles of slot and generation over the device's live streams, rundown
// references, and the removal that waits until none is held.
#include "logicalstreamtable.h"

#include "km/irp.h"
#include "tracelogger.h"
#include "tracescope.h"

LogicalStreamTable::LogicalStreamTable()
{
    KeInitializeSpinLock(&m_lock);
    for (Slot& slot : m_slots)
        KeInitializeEvent(&slot.rundownDone, SynchronizationEvent, FALSE);
}

LogicalStreamTable::~LogicalStreamTable()
{
    for (const Slot& slot : m_slots)
        if (slot.stream != nullptr)
            TRACE_LINE(this, "LogicalStreamTable::~LogicalStreamTable", kTraceWarnings,
                       "Logical stream 0x%p still in the table (%u references) at removal",
                       static_cast<void*>(slot.stream), static_cast<unsigned>(slot.references));
}

LogicalStreamTable::Slot* LogicalStreamTable::Find(LogicalStreamHandle handle)
{
    if (handle.IsNull())
        return nullptr;
    const ULONG index = handle.Slot();
    if (index >= kSlots)
        return nullptr;
    Slot& slot = m_slots[index];
    if (slot.stream == nullptr || (slot.generation & LogicalStreamHandle::kGenerationMask) != handle.Generation())
        return nullptr;
    return &slot;
}

LogicalStreamHandle LogicalStreamTable::Insert(LogicalStream* stream)
{
    TRACE_SCOPE(this, "LogicalStreamTable::Insert", kTraceLowEnter, "pStream=0x%p", static_cast<void*>(stream));
    if (stream == nullptr)
        return {};
    KIRQL irql;
    KeAcquireSpinLock(&m_lock, &irql);
    LogicalStreamHandle handle{};
    for (ULONG i = 0; i < kSlots; ++i) {
        Slot& slot = m_slots[i];
        if (slot.stream != nullptr)
            continue;
        slot.stream = stream;
        slot.references = 0;
        slot.removing = false;
        slot.published = false;
        KeClearEvent(&slot.rundownDone);
        handle = LogicalStreamHandle::Make(i, slot.generation);
        break;
    }
    KeReleaseSpinLock(&m_lock, irql);
    if (handle.IsNull())
        TRACE_LINE(this, "LogicalStreamTable::Insert", kTraceErrors, "All %u logical stream slots are taken",
                   static_cast<unsigned>(kSlots));
    return handle;
}

void LogicalStreamTable::Publish(LogicalStreamHandle handle)
{
    KIRQL irql;
    KeAcquireSpinLock(&m_lock, &irql);
    if (Slot* slot = Find(handle); slot != nullptr)
        slot->published = true;
    KeReleaseSpinLock(&m_lock, irql);
}

LogicalStreamHandle LogicalStreamTable::HandleOfSlot(ULONG slot)
{
    if (slot >= kSlots)
        return LogicalStreamHandle{};
    KIRQL irql;
    KeAcquireSpinLock(&m_lock, &irql);
    LogicalStreamHandle handle{};
    if (m_slots[slot].stream != nullptr && m_slots[slot].published && !m_slots[slot].removing)
        handle = LogicalStreamHandle::Make(slot, m_slots[slot].generation);
    KeReleaseSpinLock(&m_lock, irql);
    return handle;
}

LogicalStream* LogicalStreamTable::Reference(LogicalStreamHandle handle)
{
    KIRQL irql;
    KeAcquireSpinLock(&m_lock, &irql);
    LogicalStream* stream = nullptr;
    if (Slot* slot = Find(handle); slot != nullptr && slot->published && !slot->removing) {
        ++slot->references;
        stream = slot->stream;
    }
    KeReleaseSpinLock(&m_lock, irql);
    return stream;
}

void LogicalStreamTable::Dereference(LogicalStreamHandle handle)
{
    KIRQL irql;
    KeAcquireSpinLock(&m_lock, &irql);
    Slot* slot = Find(handle);
    if (slot != nullptr && slot->references > 0) {
        --slot->references;
        if (slot->references == 0 && slot->removing)
            KeSetEvent(&slot->rundownDone, IO_NO_INCREMENT, FALSE);
        slot = nullptr;
    }
    KeReleaseSpinLock(&m_lock, irql);
    if (slot != nullptr)
        TRACE_LINE(this, "LogicalStreamTable::Dereference", kTraceErrors,
                   "A reference given back that was never taken: handle 0x%08x", handle.value);
}

bool LogicalStreamTable::IsLive(LogicalStreamHandle handle)
{
    KIRQL irql;
    KeAcquireSpinLock(&m_lock, &irql);
    Slot* slot = Find(handle);
    const bool live = slot != nullptr && !slot->removing;
    KeReleaseSpinLock(&m_lock, irql);
    return live;
}

bool LogicalStreamTable::Revoke(LogicalStreamHandle handle)
{
    TRACE_SCOPE(this, "LogicalStreamTable::Revoke", kTraceLowEnter, "handle=0x%08x", handle.value);
    KIRQL irql;
    KeAcquireSpinLock(&m_lock, &irql);
    Slot* slot = Find(handle);
    const bool revoked = slot != nullptr && !slot->removing;
    if (revoked)
        slot->removing = true;
    KeReleaseSpinLock(&m_lock, irql);
    return revoked;
}

void LogicalStreamTable::AwaitRundown(LogicalStreamHandle handle)
{
    TRACE_SCOPE(this, "LogicalStreamTable::AwaitRundown", kTraceLowEnter, "handle=0x%08x", handle.value);
    for (;;) {
        KIRQL irql;
        KeAcquireSpinLock(&m_lock, &irql);
        Slot* slot = Find(handle);
        if (slot == nullptr || !slot->removing) {
            // Gone already, or never revoked: nothing to wait for (a live slot is not freed here).
            KeReleaseSpinLock(&m_lock, irql);
            return;
        }
        if (slot->references == 0) {
            slot->stream = nullptr;
            slot->removing = false;
            // The next stream in this slot gets another handle; generation 0 is skipped.
            slot->generation = (slot->generation + 1) & LogicalStreamHandle::kGenerationMask;
            if (slot->generation == 0)
                slot->generation = 1;
            KeReleaseSpinLock(&m_lock, irql);
            return;
        }
        PKEVENT done = &slot->rundownDone;
        KeReleaseSpinLock(&m_lock, irql);
        // Set by the reference that brings the count to 0; a set that came between the check and
        // this wait leaves the event signalled, so the wait returns and the check runs again.
        KeWaitForSingleObject(done, Executive, KernelMode, FALSE, nullptr);
    }
}

void LogicalStreamTable::Remove(LogicalStreamHandle handle)
{
    Revoke(handle);
    AwaitRundown(handle);
}

ULONG LogicalStreamTable::GetReferenceCount(LogicalStreamHandle handle)
{
    KIRQL irql;
    KeAcquireSpinLock(&m_lock, &irql);
    Slot* slot = Find(handle);
    const ULONG references = slot != nullptr ? slot->references : 0;
    KeReleaseSpinLock(&m_lock, irql);
    return references;
}

ULONG LogicalStreamTable::GetCount()
{
    KIRQL irql;
    KeAcquireSpinLock(&m_lock, &irql);
    ULONG count = 0;
    for (const Slot& slot : m_slots)
        count += slot.stream != nullptr ? 1 : 0;
    KeReleaseSpinLock(&m_lock, irql);
    return count;
}
