// Fuzz harness of the FPGA image file: any bytes through the file's parser and, as the host sends
// them, through the FPGA model's programming. Checked: a parsed image writes back to exactly the
// bytes it came from; a refused one leaves the image empty; the model configures exactly when the
// checksum matches and the file is opaque or parses with every register in range, and then holds
// the file's design version and register defaults.
#include "board/FpgaImage.h"
#include "board/FpgaModel.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    board::FpgaImage image;
    image.designVersion = 7; // whatever a refusal finds, it leaves nothing
    const board::FpgaImageParseError error = board::FpgaImage::Parse(bytes, image);
    const bool parsed = error == board::FpgaImageParseError::None;
    if (parsed) {
        const auto again = image.Serialize();
        if (again.size() != size || !std::equal(again.begin(), again.end(), data))
            std::abort();
    } else if (image.designVersion != 0 || !image.registerDefaults.empty() || !image.payload.empty()) {
        std::abort();
    }

    const bool ours = size >= 4 && data[0] == 'T' && data[1] == 'V' && data[2] == 'X' && data[3] == 'F';
    bool inRange = true;
    for (const auto& entry : image.registerDefaults)
        inRange = inRange && entry.reg < board::FpgaModel::kRegisterCount;
    board::FpgaModel model;
    const uint32_t checksum = board::FpgaModel::Checksum(bytes);
    // A wrong checksum never configures, whatever the file.
    if (model.Program(bytes, checksum ^ 1) == 1 || model.Configured())
        std::abort();
    const uint32_t result = model.Program(bytes, checksum);
    const bool expected = !ours || (parsed && inRange);
    if ((result == 1) != expected || model.Configured() != expected)
        std::abort();
    if (expected && ours) {
        if (model.DesignVersion() != image.designVersion)
            std::abort();
        // The last default of a register wins.
        for (auto it = image.registerDefaults.rbegin(); it != image.registerDefaults.rend(); ++it) {
            bool later = false;
            for (auto after = image.registerDefaults.rbegin(); after != it; ++after)
                later = later || after->reg == it->reg;
            if (!later && (model.Register(it->reg) != it->value || model.Shadow(it->reg) != it->value))
                std::abort();
        }
    }
    return 0;
}
