// CVideoLOS: the rendered caption, its placement and its drawing on backup frames.
#include "cvideolos.h"

#include "kernel/poolallocation.h"
#include "roundtoint.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videoframe.h"

#include <algorithm>
#include <cstring>

CVideoLOS::CVideoLOS(const UCHAR* record) : Algorithm(kAlgorithmIdLOSOverlay)
{
    TRACE_SCOPE(this, "CVideoLOS::CVideoLOS", kTraceLowEnter);
    if (record)
        std::memcpy(m_record, record, sizeof(m_record));
}

CVideoLOS::~CVideoLOS()
{
    TRACE_SCOPE(this, "CVideoLOS::~CVideoLOS", kTraceLowEnter);
    FreePool(m_bitmap.pixels);
}

LONG CVideoLOS::Word(ULONG index) const
{
    LONG value;
    std::memcpy(&value, m_record + 4 * index, sizeof(value));
    return value;
}

bool CVideoLOS::IsEqual(const Algorithm* other) const
{
    return Algorithm::IsEqual(other) &&
           std::memcmp(m_record, static_cast<const CVideoLOS*>(other)->m_record, sizeof(m_record)) == 0;
}

void CVideoLOS::InitLOS()
{
    TRACE_SCOPE(this, "CVideoLOS::InitLOS", kTraceLowEnter);
    FreePool(m_bitmap.pixels);
    m_bitmap = {};
    m_placed.Release();
    m_frameWidth = m_frameHeight = -1;
    WCHAR name[kTextCharacters + 1] = {};
    std::memcpy(name, m_record + 4 * kFontNameWord, kTextCharacters * sizeof(WCHAR));
    USHORT codes[kTextCharacters];
    ULONG count = 0;
    const auto* text = reinterpret_cast<const UCHAR*>(m_record + 4 * kCaptionWord);
    for (; count < kTextCharacters; ++count) {
        const USHORT character = USHORT(text[2 * count] | text[2 * count + 1] << 8);
        if (character == 0)
            break;
        codes[count] = character < 256 ? character : USHORT('?');
    }
    CGlyphFile* glyphs = new CGlyphFile();
    if (count > 0 && glyphs->LoadGlyphFile(name) == 1)
        glyphs->RenderText(codes, count, nullptr, ULONG(Word(kBackgroundWord)), ULONG(Word(kForegroundWord)), 0,
                           &m_bitmap);
    delete glyphs;
    TRACE_LINE(this, "CVideoLOS::InitLOS", kTraceHighs, "m_bitmap.bmWidth=%d, m_bitmap.bmHeight=%d", m_bitmap.width,
               m_bitmap.height);
}

void CVideoLOS::ResizeTheLOSOverlay(LONG height, LONG width)
{
    TRACE_SCOPE(this, "CVideoLOS::ResizeTheLOSOverlay", kTraceLowEnter);
    TRACE_LINE(this, "CVideoLOS::ResizeTheLOSOverlay", kTraceHighs, "nHeight = %d, nWidth = %d", height, width);
    m_placed.Release();
    if (height <= 0 || width <= 0)
        return;
    LONG referenceHeight = Word(kReferenceHeightWord), referenceWidth = Word(kReferenceWidthWord);
    if (referenceHeight < 487 || referenceHeight > 1080)
        referenceHeight = 487;
    if (referenceWidth < 720 || referenceWidth > 1920)
        referenceWidth = 720;
    const double fy = double(height) / referenceHeight, fx = double(width) / referenceWidth;
    const LONG topEdge = Word(kTopWord), leftEdge = Word(kLeftWord);
    LONG top = RoundToInt(topEdge * fy - 0.05);
    LONG bottom = RoundToInt((double(topEdge) + Word(kHeightWord)) * fy - 0.05);
    LONG left = RoundToInt(leftEdge * fx - 0.05);
    LONG right = RoundToInt((double(leftEdge) + Word(kWidthWord)) * fx - 0.05);
    top = std::clamp<LONG>(top, 0, height);
    left = std::clamp<LONG>(left, 0, width);
    LONG h = std::max<LONG>(bottom - top, kMinimumSize), w = std::max<LONG>(right - left, kMinimumSize);
    h += h % 2;
    w += w % 2;
    h = std::min(h, height & ~1);
    w = std::min(w, width & ~1);
    if (top + h > height)
        top = height - h;
    if (left + w > width)
        left = width - w;
    m_top = top;
    m_left = left & ~1;
    m_height = h;
    m_width = w;
    if (m_bitmap.pixels)
        m_placed.BuildSized(m_bitmap, w, h, ULONG(Word(kBackgroundWord)));
}

void CVideoLOS::ApplyLOSOverlay(VideoFrame* frame)
{
    static const char* const kPlain[3] = {"copy the Y plane of LOS image", "copy the U plane of LOS image",
                                          "copy the V plane of LOS image"};
    m_placed.Draw(this, "CVideoLOS::ApplyLOSOverlay", frame, m_top, m_left, Word(kTransparencyWord) != 0, kPlain,
                  kPlain);
}

void CVideoLOS::Process(Frame* frame)
{
    BeginTiming();
    auto* in = static_cast<VideoFrame*>(frame);
    if (!in || Word(kEnableWord) == 0 || !m_bitmap.pixels || in->GetWidth() <= 0 || in->GetHeight() <= 0) {
        EndTiming();
        DeliverToChildren(in);
        return;
    }
    if (in->GetWidth() != m_frameWidth || in->GetHeight() != m_frameHeight) {
        TRACE_LINE(this, "CVideoLOS::Process", kTraceHighs, "pInputFrame->m_nWidth=%d, pInputFrame->m_nHeight=%d",
                   in->GetWidth(), in->GetHeight());
        m_frameWidth = in->GetWidth();
        m_frameHeight = in->GetHeight();
        ResizeTheLOSOverlay(m_frameHeight, m_frameWidth);
    }
    VideoFrame* out = in;
    if (in->HasFlags(kFrameFlagBackup)) {
        if (VideoFrame* drawn = PrepareInPlaceFrame(in, true)) {
            ApplyLOSOverlay(drawn);
            out = drawn;
        }
    }
    EndTiming();
    DeliverToChildren(out);
}
