// BmpLogoFile: the reading of a logo bitmap, apart from where its bytes come from. The logo step
// opens the file; this class reads and checks its two headers and turns its pixel rows into the
// picture the step works on: red, green, blue rows, top-down, the width widened to a multiple of
// 16 by nearest neighbour.
//
// Only an uncompressed, single-plane, 24-bit file is taken, with an information header of at least
// 40 bytes, a pixel offset past the headers, a width and height of 1 to kMaxDimension (a negative
// height means top-down rows) and the whole of its pixels inside the file. Anything else is
// refused before a pixel buffer is allocated, so a header that claims a huge picture costs nothing.
#pragma once
#include "shared/bitmapfile.h"
#include "km/types.h"

#include <cstdint>

// Where the bytes of a bitmap come from: a file, or memory in tests and the fuzz harness.
class BitmapByteSource {
public:
    virtual ~BitmapByteSource() = default;
    // Bytes in the source; false when it cannot tell.
    virtual bool QuerySize(ULONGLONG* size) = 0;
    // Exactly `length` bytes from `offset`; false on any failure or short read.
    virtual bool ReadAt(ULONGLONG offset, void* buffer, ULONG length) = 0;
};

// Bytes of memory as a source.
class MemoryBitmapSource : public BitmapByteSource {
public:
    MemoryBitmapSource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool QuerySize(ULONGLONG* size) override;
    bool ReadAt(ULONGLONG offset, void* buffer, ULONG length) override;

private:
    const uint8_t* m_data;
    size_t m_size;
};

class BmpLogoFile {
public:
    static constexpr int32_t kMaxDimension = 4096;

    BmpLogoFile() = default;
    ~BmpLogoFile() { Release(); }
    BmpLogoFile(const BmpLogoFile&) = delete;
    BmpLogoFile& operator=(const BmpLogoFile&) = delete;

    // Reads the 14-byte file header and the first 40 bytes of the information header.
    // STATUS_END_OF_FILE when the source is shorter.
    NTSTATUS ReadHeaders(BitmapByteSource& source);
    // The checks above against the headers read and the source's size:
    // STATUS_INVALID_IMAGE_FORMAT for a file that is not such a bitmap, STATUS_NOT_SUPPORTED for a
    // picture larger than kMaxDimension, STATUS_END_OF_FILE for pixels past the end of the source.
    NTSTATUS Check(BitmapByteSource& source) const;
    // Check, then reads the rows from bfOffBits and builds the picture (paged pool). On failure
    // no picture is held. `widened` (when given) says whether the width had to be widened.
    NTSTATUS ReadPicture(BitmapByteSource& source, bool* widened = nullptr);

    const BITMAPFILEHEADER& FileHeader() const { return m_fileHeader; }
    const BITMAPINFOHEADER& InfoHeader() const { return m_infoHeader; }

    // The picture: Height() rows of Stride() bytes, top row first, each Width() pixels of red,
    // green, blue. Width() is the file's width rounded up to 16; null before ReadPicture.
    const uint8_t* Pixels() const { return m_pixels; }
    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    int32_t Stride() const { return m_width * 3; }
    // The file's own width.
    int32_t FileWidth() const { return m_fileWidth; }
    // Row bytes in the file: width x 3 rounded up to 4.
    static ULONGLONG FileRowBytes(int32_t width) { return (ULONGLONG(width) * 3 + 3) / 4 * 4; }

    void Release();

private:
    BITMAPFILEHEADER m_fileHeader{};
    BITMAPINFOHEADER m_infoHeader{};
    bool m_headersRead = false;
    uint8_t* m_pixels = nullptr;
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_fileWidth = 0;
};
