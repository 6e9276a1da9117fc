// The images the project ships for the board: the main firmware, the memory tester, the PCI tester
// and the FPGA image, with their file names. The generator writes them at build time; tests build
// them in memory from the same functions.
#pragma once
#include <cstdint>

#include "board/FirmwareImage.h"
#include "board/FpgaImage.h"

namespace board {

class StandardImages {
public:
    static constexpr uint32_t kFirmwareVersion = 0x00020100; // 2.1.0
    static constexpr uint32_t kFpgaDesignVersion = 0x00010003;
    // Where the firmware's data section loads.
    static constexpr uint32_t kDataSectionAddress = 0x00010000;

    static constexpr const char* kFirmwareFileName = "TalvexonDsp.bin";
    static constexpr const char* kMemoryTesterFileName = "TalvexonMemTest.bin";
    static constexpr const char* kPciTesterFileName = "TalvexonPciTest.bin";
    static constexpr const char* kFpgaFileName = "TalvexonFpga.bin";

    // The DSP program image of `personality` (not None): header and code at DSP 0, and for the main
    // firmware a data section at kDataSectionAddress.
    static FirmwareImage DspImage(Personality personality);
    static FpgaImage Fpga();
};

} // namespace board
