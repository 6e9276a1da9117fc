// The one bus of the process: its device memory map, its DMA address map and its interrupt lines.
// The kernel stand-in, the machine and the board models all reach it here; tests of the bus alone may
// build their own instances of the three parts instead.
#pragma once
#include "platform/bus/BusMemoryMap.h"
#include "platform/bus/DmaAddressMap.h"
#include "platform/bus/InterruptLineTable.h"

namespace platform {

class Bus {
public:
    // Created on first use and never destroyed, since device threads may still reach it at exit.
    static Bus& Instance();

    BusMemoryMap& Memory() { return m_memory; }
    DmaAddressMap& Dma() { return m_dma; }
    InterruptLineTable& Interrupts() { return m_interrupts; }

private:
    Bus() = default;
    BusMemoryMap m_memory;
    DmaAddressMap m_dma;
    InterruptLineTable m_interrupts;
};

} // namespace platform
