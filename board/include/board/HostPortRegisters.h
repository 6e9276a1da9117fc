// The board's register range as the host sees it through memory resource 1: the DSP's external
// memory interface (EMIF) registers, DSP control, and the host-port registers (host status,
// host-to-DSP control, page). Offsets count from the start of the range; every register is 32 bits.
#pragma once
#include <array>
#include <cstdint>

namespace board {

// Memory resource 0: the paged window onto the DSP's 32-bit address space.
constexpr uint64_t kWindowSize = 0x400000;
// Memory resource 1: the register range; declared as a power of two, as a base address register
// decodes, though only offsets up to kPageRegister + 4 hold registers.
constexpr uint64_t kRegisterRangeSize = 0x800000;

// The window shows DSP address (page << kPageShift) | offset.
constexpr uint32_t kPageShift = 22;
constexpr uint32_t kPageMask = 0x3FF;
constexpr uint32_t kWindowOffsetMask = 0x3FFFFF;

// EMIF registers: plain storage the DSP's memory interface reads.
constexpr uint32_t kEmifGblctl = 0x00;
constexpr uint32_t kEmifCectl1 = 0x04;
constexpr uint32_t kEmifCectl0 = 0x08;
constexpr uint32_t kEmifCectl2 = 0x10;
constexpr uint32_t kEmifCectl3 = 0x14;
constexpr uint32_t kEmifSdctl = 0x18;
constexpr uint32_t kEmifSdtim = 0x1C;
constexpr uint32_t kEmifSdext = 0x20;
constexpr uint32_t kEmifCesec1 = 0x44;
constexpr uint32_t kEmifCesec0 = 0x48;
constexpr uint32_t kEmifCesec2 = 0x50;
constexpr uint32_t kEmifCesec3 = 0x54;
constexpr std::array<uint32_t, 12> kEmifRegisters = {
    kEmifGblctl, kEmifCectl1, kEmifCectl0, kEmifCectl2, kEmifCectl3, kEmifSdctl,
    kEmifSdtim,  kEmifSdext,  kEmifCesec1, kEmifCesec0, kEmifCesec2, kEmifCesec3,
};
// SDCTL bit the host toggles as the last step of programming the memory interface.
constexpr uint32_t kSdctlInitBit = 0x01000000;

// DSP control: read/write storage with two live bits.
constexpr uint32_t kDspControl = 0x400000;
constexpr uint32_t kDspControlRunEnable = 0x10;     // the release doorbell boots only while set
constexpr uint32_t kDspControlRaiseInterrupt = 0x08; // self-clearing: raises one host interrupt

// Host status: bit 0 is the DSP-to-host interrupt and drives the interrupt line; any host write
// clears it and releases the line.
constexpr uint32_t kHostStatus = 0x41FFF0;
constexpr uint32_t kHostStatusInterrupt = 0x01;

// Host-to-DSP control: write-only commands, reads 0.
constexpr uint32_t kHostToDspControl = 0x41FFF4;
constexpr uint32_t kHostToDspWarmReset = 1;
constexpr uint32_t kHostToDspDoorbell = 2;

// DSP page: the low 10 bits are DSP address bits 31..22 of the window; reads back what was written.
constexpr uint32_t kPageRegister = 0x41FFF8;

// The first DSP address of external memory (SDRAM behind the EMIF).
constexpr uint32_t kExternalMemoryBase = 0x80000000;

// PCI identity of the board.
constexpr uint16_t kVendorId = 0x7A1E;
constexpr uint16_t kDeviceId = 0x0001;
constexpr uint32_t kClassCode = 0x040000; // multimedia, video

} // namespace board
