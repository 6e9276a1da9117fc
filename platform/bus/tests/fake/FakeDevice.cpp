// The fake device's register file, memory and interrupt line.
#include "FakeDevice.h"

#include <cstring>

namespace fake {

using platform::BusStatus;
using platform::WidthBytes;

class FakeDevice::RegisterFile : public platform::DeviceMemory {
public:
    explicit RegisterFile(FakeDevice& device) : m_device(device) {}
    uint8_t Read8(uint64_t offset) override { return uint8_t(m_device.ReadRegister(offset, AccessWidth::Byte)); }
    uint16_t Read16(uint64_t offset) override { return uint16_t(m_device.ReadRegister(offset, AccessWidth::Word)); }
    uint32_t Read32(uint64_t offset) override { return m_device.ReadRegister(offset, AccessWidth::Dword); }
    void Write8(uint64_t offset, uint8_t value) override { m_device.WriteRegister(offset, AccessWidth::Byte, value); }
    void Write16(uint64_t offset, uint16_t value) override
    {
        m_device.WriteRegister(offset, AccessWidth::Word, value);
    }
    void Write32(uint64_t offset, uint32_t value) override
    {
        m_device.WriteRegister(offset, AccessWidth::Dword, value);
    }
    // Runs keep the default: one register access per unit, each with its side effects.

private:
    FakeDevice& m_device;
};

class FakeDevice::Memory : public platform::DeviceMemory {
public:
    explicit Memory(FakeDevice& device) : m_device(device) {}
    uint8_t Read8(uint64_t offset) override { return uint8_t(Load(offset, AccessWidth::Byte)); }
    uint16_t Read16(uint64_t offset) override { return uint16_t(Load(offset, AccessWidth::Word)); }
    uint32_t Read32(uint64_t offset) override { return Load(offset, AccessWidth::Dword); }
    void Write8(uint64_t offset, uint8_t value) override { Store(offset, AccessWidth::Byte, value); }
    void Write16(uint64_t offset, uint16_t value) override { Store(offset, AccessWidth::Word, value); }
    void Write32(uint64_t offset, uint32_t value) override { Store(offset, AccessWidth::Dword, value); }

    void ReadBuffer(uint64_t offset, AccessWidth width, void* data, size_t count) override
    {
        std::lock_guard<std::mutex> hold(m_device.m_lock);
        m_device.m_log.push_back({Target::Memory, Op::ReadBuffer, offset, width, 0, count});
        std::memcpy(data, m_device.m_memory.data() + offset, count * WidthBytes(width));
    }
    void WriteBuffer(uint64_t offset, AccessWidth width, const void* data, size_t count) override
    {
        std::lock_guard<std::mutex> hold(m_device.m_lock);
        m_device.m_log.push_back({Target::Memory, Op::WriteBuffer, offset, width, 0, count});
        std::memcpy(m_device.m_memory.data() + offset, data, count * WidthBytes(width));
    }

private:
    uint32_t Load(uint64_t offset, AccessWidth width)
    {
        std::lock_guard<std::mutex> hold(m_device.m_lock);
        uint32_t value = 0;
        std::memcpy(&value, m_device.m_memory.data() + offset, WidthBytes(width));
        m_device.m_log.push_back({Target::Memory, Op::Read, offset, width, value, 1});
        return value;
    }
    void Store(uint64_t offset, AccessWidth width, uint32_t value)
    {
        std::lock_guard<std::mutex> hold(m_device.m_lock);
        m_device.m_log.push_back({Target::Memory, Op::Write, offset, width, value, 1});
        std::memcpy(m_device.m_memory.data() + offset, &value, WidthBytes(width));
    }

    FakeDevice& m_device;
};

FakeDevice::FakeDevice(platform::BusMemoryMap& memory, platform::InterruptLineTable& interrupts)
    : m_bus(memory), m_interrupts(interrupts), m_registerFile(std::make_unique<RegisterFile>(*this)),
      m_memoryRange(std::make_unique<Memory>(*this))
{
}

FakeDevice::~FakeDevice()
{
    Unplug();
}

BusStatus FakeDevice::Plug()
{
    BusStatus status = m_bus.RegisterRange(kRegisterBase, kRegisterLength, *m_registerFile, "fake registers");
    if (status != BusStatus::Ok)
        return status;
    status = m_bus.RegisterRange(kMemoryBase, kMemoryLength, *m_memoryRange, "fake memory");
    if (status != BusStatus::Ok) {
        m_bus.UnregisterRange(kRegisterBase);
        return status;
    }
    status = m_interrupts.Register(kVector, m_line);
    if (status != BusStatus::Ok) {
        m_bus.UnregisterRange(kMemoryBase);
        m_bus.UnregisterRange(kRegisterBase);
        return status;
    }
    m_plugged = true;
    return BusStatus::Ok;
}

void FakeDevice::Unplug()
{
    if (!m_plugged)
        return;
    m_interrupts.Unregister(kVector);
    m_bus.UnregisterRange(kMemoryBase);
    m_bus.UnregisterRange(kRegisterBase);
    m_plugged = false;
}

std::vector<Access> FakeDevice::TakeLog()
{
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<Access> taken;
    taken.swap(m_log);
    return taken;
}

uint32_t FakeDevice::Status()
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_status;
}

void FakeDevice::SetStatus(uint32_t causes)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_status = causes;
    UpdateLine();
}

std::vector<uint8_t> FakeDevice::MemoryBytes(uint64_t offset, size_t length)
{
    std::lock_guard<std::mutex> hold(m_lock);
    return {m_memory.begin() + offset, m_memory.begin() + offset + length};
}

void FakeDevice::FillMemory(uint8_t value)
{
    std::lock_guard<std::mutex> hold(m_lock);
    std::fill(m_memory.begin(), m_memory.end(), value);
}

void FakeDevice::UpdateLine()
{
    if (m_status != 0)
        m_line->Assert();
    else
        m_line->Release();
}

namespace {

uint32_t Ones(AccessWidth width)
{
    return static_cast<uint32_t>(~uint64_t{0} >> (64 - 8 * WidthBytes(width)));
}

// The bits of a register that an access of `width` at `offset` covers, or 0 when it does not fit in
// one register.
uint32_t LaneMask(uint64_t offset, AccessWidth width)
{
    const uint64_t lane = offset & 3;
    return lane + WidthBytes(width) > 4 ? 0 : Ones(width) << (8 * lane);
}

} // namespace

uint32_t FakeDevice::ReadRegister(uint64_t offset, AccessWidth width)
{
    std::lock_guard<std::mutex> hold(m_lock);
    const uint32_t mask = LaneMask(offset, width);
    uint32_t value = Ones(width);
    if (mask != 0) {
        const uint64_t reg = offset & ~uint64_t{3};
        uint32_t whole = 0;
        if (reg == kId)
            whole = kIdentity;
        else if (reg == kScratch)
            whole = m_scratch;
        else if (reg == kStatus)
            whole = m_status;
        else if (reg == kSequence)
            whole = ++m_sequence;
        else if (reg >= kData)
            std::memcpy(&whole, m_data + (reg - kData), 4);
        value = (whole & mask) >> (8 * unsigned(offset & 3));
    }
    m_log.push_back({Target::Registers, Op::Read, offset, width, value, 1});
    return value;
}

void FakeDevice::WriteRegister(uint64_t offset, AccessWidth width, uint32_t value)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_log.push_back({Target::Registers, Op::Write, offset, width, value, 1});
    const uint32_t mask = LaneMask(offset, width);
    if (mask == 0)
        return;
    const uint32_t bits = (value << (8 * unsigned(offset & 3))) & mask;
    const uint64_t reg = offset & ~uint64_t{3};
    if (reg == kScratch) {
        m_scratch = (m_scratch & ~mask) | bits;
    } else if (reg == kStatus) {
        m_status &= ~bits;
        UpdateLine();
    } else if (reg == kRaise) {
        m_status |= bits;
        UpdateLine();
    } else if (reg >= kData) {
        uint32_t whole;
        std::memcpy(&whole, m_data + (reg - kData), 4);
        whole = (whole & ~mask) | bits;
        std::memcpy(m_data + (reg - kData), &whole, 4);
    }
}

} // namespace fake
