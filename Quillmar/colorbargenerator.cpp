// ColorBarGenerator: the colour-bar picture of the test sources and the backup frames.
#include "colorbargenerator.h"

#include <algorithm>
#include <cstring>

ColorBarGenerator::ColorBarGenerator(const BITMAPINFOHEADER& header, bool animate) : m_animate(animate)
{
    std::memcpy(m_y, kBarY, sizeof m_y);
    std::memcpy(m_u, kBarU, sizeof m_u);
    std::memcpy(m_v, kBarV, sizeof m_v);
    const LONGLONG width = header.biWidth;
    const LONGLONG height = header.biHeight < 0 ? -LONGLONG(header.biHeight) : LONGLONG(header.biHeight);
    if (width < 2 || width > kMaximumWidth || height < 1 || height > kMaximumHeight)
        return;
    m_width = static_cast<LONG>(width);
    m_height = static_cast<LONG>(height);
    m_rowSize = static_cast<ULONG>((ULONGLONG(header.biBitCount) * ULONGLONG(width) + 31) / 8) & ~3u;
    m_stride = (static_cast<ULONG>(m_width) + 15) & ~15u;
    m_imageSize = header.biSizeImage != 0 ? header.biSizeImage : m_stride * static_cast<ULONG>(m_height) * 2;
}

ULONG ColorBarGenerator::Render(PUCHAR buffer)
{
    if (buffer == nullptr || m_imageSize == 0)
        return 0;
    std::memset(buffer, 0xFF, m_imageSize);
    const ULONG lumaBytes = m_imageSize / 2;
    const ULONG chromaBytes = m_imageSize / 4;
    const ULONG chromaStride = m_stride / 2;
    // Rows that fit in every plane.
    const ULONG rows = std::min<ULONG>(static_cast<ULONG>(m_height), std::min(lumaBytes / m_stride, chromaBytes / chromaStride));
    if (rows == 0)
        return m_imageSize;
    PUCHAR y = buffer;
    PUCHAR u = buffer + lumaBytes;
    PUCHAR v = buffer + lumaBytes + chromaBytes;
    const ULONG pairs = static_cast<ULONG>(m_width) / 2;
    for (ULONG k = 0; k < pairs; ++k) {
        const ULONG bar = kBarCount * k / pairs;
        y[2 * k] = m_y[bar];
        y[2 * k + 1] = m_y[bar];
        u[k] = m_u[bar];
        v[k] = m_v[bar];
    }
    if (m_animate) {
        for (UCHAR& value : m_y)
            value = static_cast<UCHAR>(value + 1);
    }
    for (ULONG r = 1; r < rows; ++r) {
        std::memcpy(y + r * m_stride, y, 2 * pairs);
        std::memcpy(u + r * chromaStride, u, pairs);
        std::memcpy(v + r * chromaStride, v, pairs);
    }
    return m_imageSize;
}
