// The FPGA's configuration and register file.
#include "board/FpgaModel.h"

#include <stdexcept>

#include "LittleEndian.h"
#include "board/FpgaImage.h"
#include "board/MailboxMessages.h"

namespace board {

namespace {

void CheckRegister(uint32_t reg)
{
    if (reg >= FpgaModel::kRegisterCount)
        throw std::out_of_range("no such FPGA register");
}

} // namespace

uint32_t FpgaModel::Checksum(std::span<const uint8_t> image)
{
    uint32_t sum = 0;
    for (size_t at = 0; at + 4 <= image.size(); at += 4)
        sum ^= LoadLittle32(image.data() + at);
    return sum;
}

uint32_t FpgaModel::Program(std::span<const uint8_t> image, uint32_t checksum)
{
    // Parsed before the lock: a large image is only read.
    const bool ours = image.size() >= 4 && LoadLittle32(image.data()) == FpgaImage::kMagic;
    FpgaImage parsed;
    bool corrupt = false;
    if (ours) {
        corrupt = FpgaImage::Parse(image, parsed) != FpgaImageParseError::None;
        for (const FpgaRegisterDefault& entry : parsed.registerDefaults)
            corrupt = corrupt || entry.reg >= kRegisterCount;
    }
    const bool good = Checksum(image) == checksum && !corrupt;

    std::lock_guard lock(m_lock);
    ++m_programmings;
    // Programming starts by clearing the device: a failed load leaves nothing of the old design.
    m_configured = false;
    m_designVersion = 0;
    m_registers.fill(0);
    m_shadows.fill(0);
    if (!good)
        return kDspErrorFpgaChecksum;
    if (ours) {
        m_designVersion = parsed.designVersion;
        for (const FpgaRegisterDefault& entry : parsed.registerDefaults) {
            m_registers[entry.reg] = entry.value;
            m_shadows[entry.reg] = entry.value;
        }
    }
    m_configured = true;
    return kDspResultSuccess;
}

uint32_t FpgaModel::ReadRegister(uint32_t reg, uint32_t& value) const
{
    std::lock_guard lock(m_lock);
    value = 0;
    if (reg >= kRegisterCount)
        return kDspErrorBadParameter;
    if (!m_configured)
        return kDspErrorFpgaNotConfigured;
    value = m_registers[reg];
    return kDspResultSuccess;
}

uint32_t FpgaModel::WriteRegister(uint32_t reg, uint32_t value, uint32_t mask, bool shadowWrite)
{
    std::lock_guard lock(m_lock);
    if (reg >= kRegisterCount)
        return kDspErrorBadParameter;
    if (!m_configured)
        return kDspErrorFpgaNotConfigured;
    if (shadowWrite) {
        // Write-only registers keep their last value in the shadow, so a masked update of some
        // bits leaves the others as last written.
        m_shadows[reg] = (m_shadows[reg] & ~mask) | (value & mask);
        m_registers[reg] = m_shadows[reg];
    } else {
        m_registers[reg] = value;
    }
    return kDspResultSuccess;
}

bool FpgaModel::Configured() const
{
    std::lock_guard lock(m_lock);
    return m_configured;
}

uint32_t FpgaModel::DesignVersion() const
{
    std::lock_guard lock(m_lock);
    return m_designVersion;
}

uint64_t FpgaModel::Programmings() const
{
    std::lock_guard lock(m_lock);
    return m_programmings;
}

uint32_t FpgaModel::Register(uint32_t reg) const
{
    CheckRegister(reg);
    std::lock_guard lock(m_lock);
    return m_registers[reg];
}

uint32_t FpgaModel::Shadow(uint32_t reg) const
{
    CheckRegister(reg);
    std::lock_guard lock(m_lock);
    return m_shadows[reg];
}

void FpgaModel::SetRegister(uint32_t reg, uint32_t value)
{
    CheckRegister(reg);
    std::lock_guard lock(m_lock);
    m_registers[reg] = value;
    m_shadows[reg] = value;
}

void FpgaModel::Unconfigure()
{
    std::lock_guard lock(m_lock);
    m_configured = false;
    m_designVersion = 0;
    m_registers.fill(0);
    m_shadows.fill(0);
}

} // namespace board
