// Icons: a colour image and a monochrome mask (1: the destination shows through).
#pragma once
#include "gdi/Pixels.h"
#include "um/winuser.h"

#include <memory>
#include <optional>

namespace user {

struct IconImage {
    LONG width = 0;
    LONG height = 0;
    std::shared_ptr<PixelBuffer> color; // null for a monochrome icon: its mask is twice as high
    std::shared_ptr<PixelBuffer> mask;
};

std::optional<IconImage> FindIcon(HICON icon);
HICON AddIcon(IconImage image);
// Where an icon is opaque (mask bit 0), row by row.
std::vector<bool> IconShape(const IconImage& image);

} // namespace user
