// Readers of the output formats.
#include "OutputUnpackers.h"

namespace {

const uint8_t* RowOf(const uint8_t* data, size_t pitch, int height, int r, bool bottomUp)
{
    return data + pitch * size_t(bottomUp ? height - 1 - r : r);
}

UnpackedYuv Packed422(const uint8_t* data, int width, int height, int yAt, int uAt, int vAt)
{
    UnpackedYuv out;
    out.width = width;
    out.height = height;
    out.chromaWidth = width / 2;
    out.chromaHeight = height;
    out.y.resize(size_t(width) * height);
    out.u.resize(size_t(out.chromaWidth) * height);
    out.v.resize(out.u.size());
    for (int r = 0; r < height; ++r) {
        const uint8_t* row = data + size_t(r) * width * 2;
        for (int k = 0; k < width / 2; ++k) {
            const uint8_t* quad = row + 4 * k;
            out.y[size_t(r) * width + 2 * k] = quad[yAt];
            out.y[size_t(r) * width + 2 * k + 1] = quad[yAt + 2];
            out.u[size_t(r) * out.chromaWidth + k] = quad[uAt];
            out.v[size_t(r) * out.chromaWidth + k] = quad[vAt];
        }
    }
    return out;
}

void CopyPlaneOut(std::vector<uint8_t>& plane, const uint8_t* data, size_t pitch, int width, int rows)
{
    plane.resize(size_t(width) * rows);
    for (int r = 0; r < rows; ++r)
        for (int x = 0; x < width; ++x)
            plane[size_t(r) * width + x] = data[size_t(r) * pitch + x];
}

} // namespace

size_t PackedRowBytes(int bytesPerPixel, int width)
{
    return (size_t(bytesPerPixel) * width + 3) / 4 * 4;
}

size_t I420Bytes(int width, int height)
{
    return size_t(width) * height + 2 * size_t(width / 2) * ((height + 1) / 2);
}

size_t Yvu9Bytes(int width, int height)
{
    const size_t pitch = PackedRowBytes(1, width);
    return pitch * height + 2 * (pitch / 4) * size_t(height / 4);
}

std::vector<UnpackedRgb> UnpackBgr24(const uint8_t* data, int width, int height, bool bottomUp)
{
    std::vector<UnpackedRgb> out;
    for (int r = 0; r < height; ++r) {
        const uint8_t* row = RowOf(data, PackedRowBytes(3, width), height, r, bottomUp);
        for (int x = 0; x < width; ++x)
            out.push_back({row[3 * x + 2], row[3 * x + 1], row[3 * x], 0});
    }
    return out;
}

std::vector<UnpackedRgb> UnpackBgr32(const uint8_t* data, int width, int height, bool bottomUp)
{
    std::vector<UnpackedRgb> out;
    for (int r = 0; r < height; ++r) {
        const uint8_t* row = RowOf(data, size_t(width) * 4, height, r, bottomUp);
        for (int x = 0; x < width; ++x)
            out.push_back({row[4 * x + 2], row[4 * x + 1], row[4 * x], row[4 * x + 3]});
    }
    return out;
}

std::vector<UnpackedRgb> UnpackRgb555(const uint8_t* data, int width, int height, bool bottomUp)
{
    std::vector<UnpackedRgb> out;
    for (int r = 0; r < height; ++r) {
        const uint8_t* row = RowOf(data, PackedRowBytes(2, width), height, r, bottomUp);
        for (int x = 0; x < width; ++x) {
            const unsigned word = row[2 * x] | (unsigned(row[2 * x + 1]) << 8);
            out.push_back({int((word >> 10) & 31), int((word >> 5) & 31), int(word & 31), int(word >> 15)});
        }
    }
    return out;
}

std::vector<uint8_t> UnpackGray(const uint8_t* data, int width, int height, bool bottomUp)
{
    std::vector<uint8_t> out;
    for (int r = 0; r < height; ++r) {
        const uint8_t* row = RowOf(data, PackedRowBytes(1, width), height, r, bottomUp);
        out.insert(out.end(), row, row + width);
    }
    return out;
}

UnpackedYuv UnpackUyvy(const uint8_t* data, int width, int height)
{
    return Packed422(data, width, height, 1, 0, 2);
}

UnpackedYuv UnpackYuy2(const uint8_t* data, int width, int height)
{
    return Packed422(data, width, height, 0, 1, 3);
}

UnpackedYuv UnpackI420(const uint8_t* data, int width, int height)
{
    UnpackedYuv out;
    out.width = width;
    out.height = height;
    out.chromaWidth = width / 2;
    out.chromaHeight = (height + 1) / 2;
    const size_t lumaBytes = size_t(width) * height;
    const size_t chromaBytes = size_t(out.chromaWidth) * out.chromaHeight;
    CopyPlaneOut(out.y, data, width, width, height);
    CopyPlaneOut(out.u, data + lumaBytes, out.chromaWidth, out.chromaWidth, out.chromaHeight);
    CopyPlaneOut(out.v, data + lumaBytes + chromaBytes, out.chromaWidth, out.chromaWidth, out.chromaHeight);
    return out;
}

UnpackedYuv UnpackYvu9(const uint8_t* data, int width, int height)
{
    UnpackedYuv out;
    out.width = width;
    out.height = height;
    out.chromaWidth = width / 4;
    out.chromaHeight = height / 4;
    const size_t pitch = PackedRowBytes(1, width);
    const size_t chromaPitch = pitch / 4;
    CopyPlaneOut(out.y, data, pitch, width, height);
    const uint8_t* first = data + pitch * height;
    CopyPlaneOut(out.v, first, chromaPitch, out.chromaWidth, out.chromaHeight);
    CopyPlaneOut(out.u, first + chromaPitch * out.chromaHeight, chromaPitch, out.chromaWidth, out.chromaHeight);
    return out;
}
