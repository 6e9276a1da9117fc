// The board's record of what the host did to it and what it did in return, in order, for tests:
// register reads and writes, window reads and writes (a run is one record), page switches,
// doorbells, warm resets, boots and host interrupts. Thread-safe. It keeps the most recent
// records up to a capacity and counts those it dropped, so a long run does not grow without bound.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace board {

enum class AccessKind : uint8_t {
    RegisterRead,    // address = register offset, width, value
    RegisterWrite,   // address = register offset, width, value
    WindowRead,      // address = DSP address, width = unit width, count = bytes
    WindowWrite,     // address = DSP address, width = unit width, count = bytes
    PageSwitch,      // value = the page register's new value (every write to it)
    Doorbell,        // value = 1 for the release doorbell that schedules a boot, 0 otherwise
    WarmReset,
    Boot,            // value = the Personality booted
    InterruptRaised, // the DSP set host status bit 0 and asserted the line
};

struct AccessRecord {
    AccessKind kind = AccessKind::RegisterRead;
    uint32_t address = 0;
    uint32_t width = 0; // bytes of one unit: 1, 2 or 4; 0 for events
    uint32_t value = 0;
    uint64_t count = 0; // bytes of a window run
    bool operator==(const AccessRecord&) const = default;
};

// One line for test failure messages, e.g. "register write 0x41fff4/4 = 0x00000002".
std::string Describe(const AccessRecord& record);

class AccessLog {
public:
    static constexpr size_t kDefaultCapacity = 100000;

    void Add(const AccessRecord& record);
    std::vector<AccessRecord> Records() const;
    void Clear();
    // Off: nothing is recorded (the records already kept stay).
    void SetEnabled(bool enabled);
    // Keeps at most `capacity` (at least 1) records, dropping the oldest first.
    void SetCapacity(size_t capacity);
    // Records dropped for the capacity since the last Clear.
    uint64_t Dropped() const;

private:
    mutable std::mutex m_lock;
    std::deque<AccessRecord> m_records;
    size_t m_capacity = kDefaultCapacity;
    uint64_t m_dropped = 0;
    bool m_enabled = true;
};

} // namespace board
