// CGlyphFile: loading through KernelFile and rendering through the shared core.
#include "cglyphfile.h"

#include "kernel/kernelfile.h"
#include "kernel/poolallocation.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstring>

namespace {

constexpr WCHAR kDosDevicesPrefix[] = u"\\DosDevices\\";

// Reads exactly `length` bytes from the current position.
bool ReadWhole(KernelFile& file, PUCHAR buffer, ULONGLONG length)
{
    while (length > 0) {
        const ULONG chunk = length > 0x10000000ull ? 0x10000000u : static_cast<ULONG>(length);
        ULONG transferred = 0;
        if (!NT_SUCCESS(file.Read(buffer, chunk, &transferred)) || transferred != chunk)
            return false;
        buffer += chunk;
        length -= chunk;
    }
    return true;
}

} // namespace

CGlyphFile::CGlyphFile()
{
    std::memset(m_header, 0, sizeof(m_header));
}

CGlyphFile::~CGlyphFile()
{
    Clear();
    DriverFree(m_layout);
}

void CGlyphFile::Clear()
{
    FreePool(m_bitmapArea);
    m_bitmapArea = nullptr;
    std::memset(m_bitmaps, 0, sizeof(m_bitmaps));
    std::memset(m_header, 0, sizeof(m_header));
}

const UCHAR* CGlyphFile::Bitmap(ULONG style, ULONG code) const
{
    if (style >= glyphfile::kStyleCount || code >= glyphfile::kGlyphCodes)
        return nullptr;
    return m_bitmaps[glyphfile::GlyphSlot(style, code)];
}

ULONG CGlyphFile::LoadGlyphFile(PCWSTR name)
{
    TRACE_SCOPE(this, "CGlyphFile::LoadGlyphFile", kTraceLowEnter);
    Clear();
    if (!name || name[0] == 0)
        return 0;
    size_t characters = 0;
    while (name[characters] != 0 && characters < 32767)
        ++characters;
    const size_t prefix = sizeof(kDosDevicesPrefix) / sizeof(WCHAR) - 1;
    auto* path = static_cast<WCHAR*>(AllocatePoolOfType((prefix + characters + 1) * sizeof(WCHAR), PagedPool));
    if (!path)
        return 0;
    std::memcpy(path, kDosDevicesPrefix, prefix * sizeof(WCHAR));
    std::memcpy(path + prefix, name, characters * sizeof(WCHAR));
    path[prefix + characters] = 0;
    TRACE_LINE(this, "CGlyphFile::LoadGlyphFile", kTraceHighs, "Glyph File name is [%ls]", path);

    KernelFile file;
    NTSTATUS status = file.Create(path, nullptr, GENERIC_READ | SYNCHRONIZE, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                                  FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, FILE_OPEN,
                                  FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, nullptr);
    FreePool(path);
    if (!NT_SUCCESS(status)) {
        TRACE_LINE(this, "CGlyphFile::LoadGlyphFile", kTraceErrors, "Glyph file could not be opened, status=0x%08x",
                   status);
        return 0;
    }
    FILE_STANDARD_INFORMATION info = {};
    if (!NT_SUCCESS(file.QueryStandardInfo(&info)) || info.EndOfFile.QuadPart < LONGLONG(glyphfile::kHeaderSize) ||
        !ReadWhole(file, m_header, glyphfile::kHeaderSize)) {
        TRACE_LINE(this, "CGlyphFile::LoadGlyphFile", kTraceErrors, "Glyph file is shorter than its header");
        Clear();
        return 0;
    }
    ULONGLONG bitmapBytes = 0;
    const glyphfile::HeaderCheck check = glyphfile::CheckHeader(m_header, &bitmapBytes);
    const ULONGLONG available = ULONGLONG(info.EndOfFile.QuadPart) - glyphfile::kHeaderSize;
    if (check != glyphfile::HeaderCheck::Valid || bitmapBytes > available) {
        TRACE_LINE(this, "CGlyphFile::LoadGlyphFile", kTraceErrors,
                   "Glyph file refused: check %d, bitmap bytes %I64u, bytes after the header %I64u",
                   static_cast<int>(check), bitmapBytes, available);
        Clear();
        return 0;
    }
    if (bitmapBytes > 0) {
        m_bitmapArea = static_cast<PUCHAR>(AllocatePoolOfType(static_cast<SIZE_T>(bitmapBytes), PagedPool));
        if (!m_bitmapArea || !ReadWhole(file, m_bitmapArea, bitmapBytes)) {
            TRACE_LINE(this, "CGlyphFile::LoadGlyphFile", kTraceErrors, "Glyph bitmaps could not be read");
            Clear();
            return 0;
        }
    }
    // The bitmaps follow the header style by style, code by code; each record's bitmap field now
    // holds the bitmap's address.
    ULONGLONG offset = 0;
    for (ULONG s = 0; s < glyphfile::kStyleCount; ++s) {
        for (ULONG c = 0; c < glyphfile::kGlyphCodes; ++c) {
            glyphfile::GlyphEntry entry = glyphfile::ReadEntry(m_header, s, c);
            const UCHAR* bitmap = entry.bitmapBytes ? m_bitmapArea + offset : nullptr;
            offset += entry.bitmapBytes;
            m_bitmaps[glyphfile::GlyphSlot(s, c)] = bitmap;
            entry.bitmapField = reinterpret_cast<ULONG_PTR>(bitmap);
            glyphfile::WriteEntry(m_header, s, c, entry);
        }
    }
    return 1;
}

ULONG CGlyphFile::GetCellWidth(ULONG styleWord) const
{
    return glyphfile::CellWidth(m_header, styleWord);
}

bool CGlyphFile::RenderText(const USHORT* codes, ULONG count, const ULONG* styles, ULONG background,
                            ULONG foreground, ULONG leading, GlyphBitmap* out)
{
    TRACE_SCOPE(this, "CGlyphFile::RenderText", kTraceLowEnter, "count=%u", count);
    if (!out)
        return false;
    *out = {};
    if (!IsLoaded())
        return false;
    if (!m_layout) {
        m_layout = static_cast<glyphfile::TextLayout*>(DriverAllocateNoRaise(sizeof(glyphfile::TextLayout)));
        if (!m_layout)
            return false;
    }
    static_assert(sizeof(ULONG) == sizeof(uint32_t) && sizeof(USHORT) == sizeof(uint16_t));
    if (!glyphfile::LayOutText(m_header, codes, reinterpret_cast<const uint32_t*>(styles), count, leading, 0,
                               m_layout))
        return false;
    const size_t pitch = size_t(m_layout->lineWidth) * 3;
    auto* pixels = static_cast<PUCHAR>(AllocatePoolOfType(pitch * size_t(m_layout->lineHeight), PagedPool));
    if (!pixels)
        return false;
    const glyphfile::LineTarget target = {pixels, pitch, false, glyphfile::PixelOrder::RedFirst};
    const int32_t width = glyphfile::DrawText(m_header, m_bitmaps, *m_layout, background, foreground, target);
    if (width <= 0) {
        FreePool(pixels);
        return false;
    }
    out->width = width;
    out->height = m_layout->lineHeight;
    out->pitch = static_cast<LONG>(pitch);
    out->pixels = pixels;
    return true;
}
