// Fuzz harness of the DSP image check: any bytes through the driver's check before a load and
// through the board's image parser, which must agree. The driver refuses everything the board
// cannot parse, and accepts everything the board parses unless a section does not fit the 4 MB
// window its address falls in; what the board parses writes back to exactly the same bytes.
#include "board/FirmwareImage.h"
#include "km/kernel.h"
#include "tidewellprotocolmanager.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

// The manager's image check is its own; this harness is the one caller besides its start.
class TidewellProtocolManagerTestPeer {
public:
    static NTSTATUS ValidateImage(const UCHAR* image, ULONG bytes) { return TidewellProtocolManager::ValidateImage(image, bytes); }
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    board::FirmwareImage image;
    const bool boardParses = board::FirmwareImage::Parse(std::span<const uint8_t>(data, size), image) ==
                             board::ImageParseError::None;
    // The driver reads the image from a buffer of exactly its size: a copy on the heap, so that a
    // read past it is seen.
    auto* copy = new UCHAR[size == 0 ? 1 : size];
    std::copy(data, data + size, copy);
    const NTSTATUS status = TidewellProtocolManagerTestPeer::ValidateImage(size == 0 ? nullptr : copy, static_cast<ULONG>(size));
    delete[] copy;
    const bool driverAccepts = status == STATUS_SUCCESS;
    if (!driverAccepts && status != STATUS_INVALID_IMAGE_FORMAT)
        std::abort();

    if (!boardParses) {
        if (driverAccepts || !image.Sections().empty())
            std::abort();
        return 0;
    }
    const auto again = image.Serialize();
    if (again.size() != size || !std::equal(again.begin(), again.end(), data))
        std::abort();
    bool fits = true;
    for (const auto& section : image.Sections())
        fits = fits && (section.address & TidewellProtocolManager::kWindowOffsetMask) + uint64_t(section.bytes.size()) <=
                           TidewellProtocolManager::kWindowBytes;
    if (driverAccepts != fits)
        std::abort();
    return 0;
}
