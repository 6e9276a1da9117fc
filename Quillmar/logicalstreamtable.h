// LogicalStreamTable: the device's table of live logical streams. Everything that may outlive a
// stream (command records queued to the DSP, work items in a processing queue) names it by a
// handle of slot and generation, never by pointer. A user takes a rundown reference through the
// handle for as long as it works on the stream; a stream's removal first makes its handle stale
// (no new reference is granted), then waits until every reference already taken is given back.
//
// References are taken and given back at any level up to DISPATCH_LEVEL (a spin lock guards the
// slots); the wait of a removal runs at PASSIVE_LEVEL and must not be made by a thread that holds a
// reference to the same stream.
#pragma once
#include "kernel/driverheap.h"
#include "km/spinlock.h"
#include "km/sync.h"
#include "km/types.h"

class LogicalStream;

// Slot in the low 8 bits (slot + 1, so that no live handle is 0), generation in the upper 24.
struct LogicalStreamHandle {
    ULONG value = 0;

    static constexpr ULONG kSlotBits = 8;
    static constexpr ULONG kSlotMask = (1u << kSlotBits) - 1;
    static constexpr ULONG kGenerationMask = 0xFFFFFFu;

    static LogicalStreamHandle Make(ULONG slot, ULONG generation)
    {
        return LogicalStreamHandle{((generation & kGenerationMask) << kSlotBits) | ((slot + 1) & kSlotMask)};
    }
    bool IsNull() const { return value == 0; }
    // The slot, or kSlotMask when the handle is null.
    ULONG Slot() const { return (value & kSlotMask) - 1; }
    ULONG Generation() const { return value >> kSlotBits; }
    bool operator==(const LogicalStreamHandle&) const = default;
};
static_assert(sizeof(LogicalStreamHandle) == 4);

class LogicalStreamTable : public DriverAllocated {
public:
    // Streams of one device that may exist at once (a video and an audio stream are live at most,
    // and a stream being torn down keeps its slot until its rundown is over).
    static constexpr ULONG kSlots = 16;

    LogicalStreamTable();
    ~LogicalStreamTable();
    LogicalStreamTable(const LogicalStreamTable&) = delete;
    LogicalStreamTable& operator=(const LogicalStreamTable&) = delete;

    // A new handle for `stream`; a null handle when every slot is taken or the stream is null. The
    // slot stays unpublished, out of reach of Reference and HandleOfSlot, until Publish: a stream
    // inserts itself while it is still being constructed.
    LogicalStreamHandle Insert(LogicalStream* stream);
    // Makes the handle's stream reachable, once it is whole.
    void Publish(LogicalStreamHandle handle);
    // The stream with one more rundown reference, or null when the handle is stale, null or being
    // removed. Every non-null answer needs one Dereference.
    LogicalStream* Reference(LogicalStreamHandle handle);
    void Dereference(LogicalStreamHandle handle);
    // Whether the handle names a stream that is neither gone nor being removed.
    bool IsLive(LogicalStreamHandle handle);

    // The two halves of a removal. Revoke makes the handle stale at once (false when it already
    // was); AwaitRundown waits until the references taken before are given back, then frees the
    // slot. PASSIVE_LEVEL.
    bool Revoke(LogicalStreamHandle handle);
    void AwaitRundown(LogicalStreamHandle handle);
    // Both at once.
    void Remove(LogicalStreamHandle handle);

    // The handle of the stream in slot `slot` while it is not being removed; null otherwise (the
    // device walks its live streams with it).
    LogicalStreamHandle HandleOfSlot(ULONG slot);

    // For reports and tests: references held on the handle's slot (0 when the slot is another
    // stream's or empty), and the slots in use.
    ULONG GetReferenceCount(LogicalStreamHandle handle);
    ULONG GetCount();

private:
    struct Slot {
        LogicalStream* stream = nullptr;
        ULONG generation = 1;
        ULONG references = 0;
        bool removing = false;
        bool published = false;
        KEVENT rundownDone{}; // set when the last reference of a removing slot goes
    };
    // The slot the handle names while it is that stream's (removing or not); null otherwise.
    // Spin lock held.
    Slot* Find(LogicalStreamHandle handle);

    KSPIN_LOCK m_lock = 0;
    Slot m_slots[kSlots];
};

// One rundown reference, held for a scope.
class LogicalStreamReference {
public:
    LogicalStreamReference() = default;
    LogicalStreamReference(LogicalStreamTable* table, LogicalStreamHandle handle)
        : m_table(table), m_handle(handle), m_stream(table != nullptr ? table->Reference(handle) : nullptr)
    {
    }
    ~LogicalStreamReference() { Reset(); }
    LogicalStreamReference(const LogicalStreamReference&) = delete;
    LogicalStreamReference& operator=(const LogicalStreamReference&) = delete;

    void Reset()
    {
        if (m_stream != nullptr)
            m_table->Dereference(m_handle);
        m_stream = nullptr;
    }
    // Gives back what is held, then takes a reference through `handle`; false when refused.
    bool Take(LogicalStreamTable* table, LogicalStreamHandle handle)
    {
        Reset();
        m_table = table;
        m_handle = handle;
        m_stream = table != nullptr ? table->Reference(handle) : nullptr;
        return m_stream != nullptr;
    }
    LogicalStream* Get() const { return m_stream; }
    LogicalStream* operator->() const { return m_stream; }
    explicit operator bool() const { return m_stream != nullptr; }

private:
    LogicalStreamTable* m_table = nullptr;
    LogicalStreamHandle m_handle{};
    LogicalStream* m_stream = nullptr;
};
