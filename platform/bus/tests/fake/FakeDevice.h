// A small device for tests of the bus and of register access: a register file with side effects, a
// plain memory, and a level-triggered interrupt line, registered with a bus like a board would. It
// records every access that reaches it, with offset, width and value, so tests see exactly what went
// over the bus.
//
// Register file (32-bit registers):
//   0x00 identity      reads kIdentity; writes are ignored
//   0x04 scratch       read/write storage, any width on its byte lanes
//   0x08 status        interrupt causes; writing 1s clears them; the line is asserted while any is set
//   0x0C raise         writing sets causes in the status register; reads 0
//   0x10 sequence      every read returns the next number, starting at 1
//   0x18..0x3F data    read/write storage, for runs
// An access that does not fit inside one register is recorded but not decoded: it reads all ones and
// writes nothing, as a register file that decodes whole registers only.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/bus/BusMemoryMap.h"
#include "platform/bus/InterruptLineTable.h"

namespace fake {

using platform::AccessWidth;

enum class Op { Read, Write, ReadBuffer, WriteBuffer };
enum class Target { Registers, Memory };

struct Access {
    Target target;
    Op op;
    uint64_t offset;
    AccessWidth width;
    uint32_t value; // single accesses
    size_t count;   // runs (1 for single accesses)
    bool operator==(const Access&) const = default;
};

class FakeDevice {
public:
    static constexpr uint64_t kRegisterBase = 0xFE00'0000;
    static constexpr uint64_t kRegisterLength = 0x40;
    static constexpr uint64_t kMemoryBase = 0xFE10'0000;
    static constexpr uint64_t kMemoryLength = 0x1000;
    static constexpr uint32_t kVector = 0x51;
    static constexpr uint32_t kIdentity = 0x7A1E0001;

    enum Register : uint64_t {
        kId = 0x00,
        kScratch = 0x04,
        kStatus = 0x08,
        kRaise = 0x0C,
        kSequence = 0x10,
        kData = 0x18,
    };

    FakeDevice(platform::BusMemoryMap& memory, platform::InterruptLineTable& interrupts);
    ~FakeDevice(); // unplugs
    FakeDevice(const FakeDevice&) = delete;
    FakeDevice& operator=(const FakeDevice&) = delete;

    // Registers both ranges and the line at the constants above; the first failure is returned and
    // what was registered is undone.
    platform::BusStatus Plug();
    void Unplug();

    std::vector<Access> TakeLog();
    platform::InterruptLine& Line() { return *m_line; }
    // Direct views of the device's state, bypassing the bus.
    uint32_t Status();
    void SetStatus(uint32_t causes); // as the device's own logic raising or clearing causes
    std::vector<uint8_t> MemoryBytes(uint64_t offset, size_t length);
    void FillMemory(uint8_t value);

private:
    class RegisterFile;
    class Memory;

    uint32_t ReadRegister(uint64_t offset, AccessWidth width);
    void WriteRegister(uint64_t offset, AccessWidth width, uint32_t value);
    void UpdateLine(); // caller holds m_lock

    platform::BusMemoryMap& m_bus;
    platform::InterruptLineTable& m_interrupts;
    std::unique_ptr<RegisterFile> m_registerFile;
    std::unique_ptr<Memory> m_memoryRange;
    std::shared_ptr<platform::InterruptLine> m_line = std::make_shared<platform::InterruptLine>();
    bool m_plugged = false;

    std::mutex m_lock;
    std::vector<Access> m_log;
    uint32_t m_scratch = 0;
    uint32_t m_status = 0;
    uint32_t m_sequence = 0;
    uint8_t m_data[0x28] = {};
    std::vector<uint8_t> m_memory = std::vector<uint8_t>(kMemoryLength);
};

} // namespace fake
