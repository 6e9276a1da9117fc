// The machine tests' PCI function.
#include "TestBoard.h"

#include "MachineTestProtocol.h"

#include <cstring>

namespace machinetest {

class TestBoard::Registers : public platform::DeviceMemory {
public:
    explicit Registers(std::atomic<uint32_t>& scratch) : scratch_(scratch) {}
    uint8_t Read8(uint64_t offset) override
    {
        return static_cast<uint8_t>(Read32(offset & ~3ull) >> (8 * (offset & 3)));
    }
    uint16_t Read16(uint64_t offset) override
    {
        return static_cast<uint16_t>(Read32(offset & ~3ull) >> (8 * (offset & 2)));
    }
    uint32_t Read32(uint64_t offset) override
    {
        if (offset == 0)
            return kIdentity;
        if (offset == 4)
            return scratch_;
        return 0;
    }
    void Write8(uint64_t, uint8_t) override {}
    void Write16(uint64_t, uint16_t) override {}
    void Write32(uint64_t offset, uint32_t value) override
    {
        if (offset == 4)
            scratch_ = value;
    }

private:
    std::atomic<uint32_t>& scratch_;
};

class TestBoard::Memory : public platform::DeviceMemory {
public:
    uint8_t Read8(uint64_t offset) override { return bytes_[offset]; }
    uint16_t Read16(uint64_t offset) override { return Get<uint16_t>(offset); }
    uint32_t Read32(uint64_t offset) override { return Get<uint32_t>(offset); }
    void Write8(uint64_t offset, uint8_t value) override { bytes_[offset] = value; }
    void Write16(uint64_t offset, uint16_t value) override { Put(offset, value); }
    void Write32(uint64_t offset, uint32_t value) override { Put(offset, value); }

private:
    template <class T> T Get(uint64_t offset)
    {
        std::lock_guard<std::mutex> hold(lock_);
        T value;
        std::memcpy(&value, &bytes_[offset], sizeof value);
        return value;
    }
    template <class T> void Put(uint64_t offset, T value)
    {
        std::lock_guard<std::mutex> hold(lock_);
        std::memcpy(&bytes_[offset], &value, sizeof value);
    }
    std::mutex lock_;
    std::vector<uint8_t> bytes_ = std::vector<uint8_t>(TestBoard::kMemorySize);
};

TestBoard::TestBoard(platform::PciLocation location, uint16_t deviceId, bool withInterrupt)
    : location_(location), registers_(std::make_unique<Registers>(scratch_)),
      memory_(std::make_unique<Memory>())
{
    identity_.vendorId = kVendorId;
    identity_.deviceId = deviceId;
    identity_.subsystemVendorId = kVendorId;
    identity_.subsystemId = 0x0001;
    identity_.revision = 0x02;
    identity_.classCode = 0x048000; // multimedia, other
    if (withInterrupt)
        line_ = std::make_shared<platform::InterruptLine>();
}

TestBoard::~TestBoard() = default;

std::vector<platform::PciMemoryRange> TestBoard::MemoryRanges()
{
    if (customRanges_)
        return *customRanges_;
    return {{kRegisterSize, registers_.get(), "test board registers"},
            {kMemorySize, memory_.get(), "test board memory"}};
}

void TestBoard::OnPlugged(const platform::PciAssignment& assignment)
{
    std::lock_guard<std::mutex> hold(lock_);
    assignment_ = assignment;
    ++plugs_;
}

void TestBoard::OnUnplugged(platform::PciUnplug how)
{
    std::lock_guard<std::mutex> hold(lock_);
    unplug_ = how;
}

std::optional<platform::PciUnplug> TestBoard::Unplug() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return unplug_;
}

platform::PciAssignment TestBoard::Assignment() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return assignment_;
}

} // namespace machinetest
