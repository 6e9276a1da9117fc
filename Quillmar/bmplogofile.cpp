// Reading and checking logo bitmaps.
#include "bmplogofile.h"

#include "kernel/poolallocation.h"
#include "km/status.h"

#include <cstring>

bool MemoryBitmapSource::QuerySize(ULONGLONG* size)
{
    *size = m_size;
    return true;
}

bool MemoryBitmapSource::ReadAt(ULONGLONG offset, void* buffer, ULONG length)
{
    if (offset > m_size || length > m_size - offset)
        return false;
    std::memcpy(buffer, m_data + offset, length);
    return true;
}

void BmpLogoFile::Release()
{
    FreePool(m_pixels);
    m_pixels = nullptr;
    m_width = 0;
    m_height = 0;
    m_fileWidth = 0;
}

NTSTATUS BmpLogoFile::ReadHeaders(BitmapByteSource& source)
{
    m_headersRead = false;
    if (!source.ReadAt(0, &m_fileHeader, sizeof(m_fileHeader)) ||
        !source.ReadAt(sizeof(m_fileHeader), &m_infoHeader, sizeof(m_infoHeader)))
        return STATUS_END_OF_FILE;
    m_headersRead = true;
    return STATUS_SUCCESS;
}

NTSTATUS BmpLogoFile::Check(BitmapByteSource& source) const
{
    if (!m_headersRead)
        return STATUS_INVALID_IMAGE_FORMAT;
    const BITMAPINFOHEADER& info = m_infoHeader;
    if (m_fileHeader.bfType != kBitmapFileSignature || info.biSize < sizeof(BITMAPINFOHEADER) ||
        info.biPlanes != 1 || info.biBitCount != 24 || info.biCompression != BI_RGB)
        return STATUS_INVALID_IMAGE_FORMAT;
    const int64_t rows = info.biHeight < 0 ? -int64_t(info.biHeight) : int64_t(info.biHeight);
    if (info.biWidth < 1 || rows < 1)
        return STATUS_INVALID_IMAGE_FORMAT;
    if (info.biWidth > kMaxDimension || rows > kMaxDimension)
        return STATUS_NOT_SUPPORTED;
    // The pixels start after both headers and end inside the file.
    if (ULONGLONG(m_fileHeader.bfOffBits) < sizeof(BITMAPFILEHEADER) + ULONGLONG(info.biSize))
        return STATUS_INVALID_IMAGE_FORMAT;
    ULONGLONG size = 0;
    if (!source.QuerySize(&size))
        return STATUS_END_OF_FILE;
    const ULONGLONG end = ULONGLONG(m_fileHeader.bfOffBits) + FileRowBytes(info.biWidth) * ULONGLONG(rows);
    if (end > size)
        return STATUS_END_OF_FILE;
    return STATUS_SUCCESS;
}

NTSTATUS BmpLogoFile::ReadPicture(BitmapByteSource& source, bool* widened)
{
    Release();
    NTSTATUS status = Check(source);
    if (!NT_SUCCESS(status))
        return status;
    const int32_t fileWidth = m_infoHeader.biWidth;
    const bool topDown = m_infoHeader.biHeight < 0;
    const int32_t rows = topDown ? -m_infoHeader.biHeight : m_infoHeader.biHeight;
    const int32_t width = (fileWidth + 15) / 16 * 16;
    const ULONG rowBytes = static_cast<ULONG>(FileRowBytes(fileWidth));

    auto* pixels = static_cast<uint8_t*>(AllocatePoolOfType(SIZE_T(width) * 3 * rows, PagedPool));
    auto* fileRow = static_cast<uint8_t*>(AllocatePoolOfType(rowBytes, PagedPool));
    if (!pixels || !fileRow) {
        FreePool(pixels);
        FreePool(fileRow);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    status = STATUS_SUCCESS;
    for (int32_t i = 0; i < rows; ++i) {
        if (!source.ReadAt(ULONGLONG(m_fileHeader.bfOffBits) + ULONGLONG(i) * rowBytes, fileRow, rowBytes)) {
            status = STATUS_END_OF_FILE;
            break;
        }
        // File rows run bottom-up unless the height is negative; the picture is top-down.
        const int32_t row = topDown ? i : rows - 1 - i;
        uint8_t* out = pixels + SIZE_T(row) * width * 3;
        for (int32_t x = 0; x < width; ++x) {
            // Nearest neighbour: destination column x takes file column x * old / new.
            const int32_t sourceX = static_cast<int32_t>(int64_t(x) * fileWidth / width);
            const uint8_t* in = fileRow + SIZE_T(sourceX) * 3;
            out[0] = in[2]; // blue, green, red in the file; red, green, blue here
            out[1] = in[1];
            out[2] = in[0];
            out += 3;
        }
    }
    FreePool(fileRow);
    if (!NT_SUCCESS(status)) {
        FreePool(pixels);
        return status;
    }
    m_pixels = pixels;
    m_width = width;
    m_height = rows;
    m_fileWidth = fileWidth;
    if (widened)
        *widened = width != fileWidth;
    return STATUS_SUCCESS;
}
