// COverlayCC: the caption rectangle, the cached rows and their drawing.
#include "coverlaycc.h"

#include "cseperatevbifromvideo.h"
#include "kernel/poolallocation.h"
#include "roundtoint.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videoframe.h"

#include <algorithm>
#include <cstring>

COverlayCC::COverlayCC(const UCHAR* record) : Algorithm(kAlgorithmIdOverlayCC)
{
    TRACE_SCOPE(this, "COverlayCC::COverlayCC", kTraceLowEnter);
    if (record)
        std::memcpy(m_record, record, sizeof(m_record));
    // The name is a string of the record: it ends inside it whatever was sent.
    m_record[kClosedCaptionRecordBytes - 2] = m_record[kClosedCaptionRecordBytes - 1] = 0;
}

COverlayCC::~COverlayCC()
{
    TRACE_SCOPE(this, "COverlayCC::~COverlayCC", kTraceLowEnter);
    delete m_glyphs;
}

LONG COverlayCC::Word(ULONG offset) const
{
    LONG value;
    std::memcpy(&value, m_record + offset, sizeof(value));
    return value;
}

bool COverlayCC::IsEqual(const Algorithm* other) const
{
    return Algorithm::IsEqual(other) &&
           std::memcmp(m_record, static_cast<const COverlayCC*>(other)->m_record, sizeof(m_record)) == 0;
}

void COverlayCC::Init()
{
    TRACE_SCOPE(this, "COverlayCC::Init", kTraceLowEnter);
    WCHAR name[(kClosedCaptionRecordBytes - kFontNameOffset) / 2];
    std::memcpy(name, m_record + kFontNameOffset, sizeof(name));
    TRACE_LINE(this, "COverlayCC::Init", kTraceHighs, "m_CCSettings.wcCCFontName=[%ls]", name);
    if (!m_glyphs)
        m_glyphs = new CGlyphFile();
    m_on = false;
    if (m_glyphs->LoadGlyphFile(name) == 1 && Word(kForegroundOffset) != Word(kBackgroundOffset)) {
        m_field = std::clamp<LONG>(Word(kVbiFieldOffset) - 1, 0, 1);
        m_channel = std::clamp<LONG>(Word(kChannelOffset) - 1, 0, 1);
        m_top = Word(kTopOffset);
        m_left = Word(kLeftOffset);
        m_bottom = m_top + Word(kHeightOffset);
        m_right = m_left + Word(kWidthOffset);
        m_referenceHeight = Word(kReferenceHeightOffset);
        m_referenceWidth = Word(kReferenceWidthOffset);
        m_frameWidth = m_frameHeight = -1;
        ResetCCLineInfo(0, 3);
        m_on = true;
    } else {
        TRACE_LINE(this, "COverlayCC::Init", kTraceWarnings, "Caption overlay off: no glyph file or equal colours");
    }
}

void COverlayCC::ResizeTheCCOverlay(LONG height, LONG width)
{
    TRACE_SCOPE(this, "COverlayCC::ResizeTheCCOverlay", kTraceLowEnter, "nHeight = %d, nWidth = %d", height, width);
    if (height <= 0 || width <= 0)
        return;
    // A reference of 0 (or below) means the frame size.
    const double fy = double(height) / (m_referenceHeight > 0 ? m_referenceHeight : height);
    const double fx = double(width) / (m_referenceWidth > 0 ? m_referenceWidth : width);
    LONG top = RoundToInt(m_top * fy), bottom = RoundToInt(m_bottom * fy);
    LONG left = RoundToInt(m_left * fx), right = RoundToInt(m_right * fx);
    top = std::clamp<LONG>(top, 0, height);
    left = std::clamp<LONG>(left, 0, width);
    if (bottom - top < kMinimumSize)
        bottom = top + kMinimumSize;
    if (right - left < kMinimumSize)
        right = left + kMinimumSize;
    if ((right - left) % 2) {
        ++right;
        if (right > width) {
            --left;
            --right;
        }
    }
    if ((bottom - top) % 3) {
        bottom -= (bottom - top) % 3;
    }
    // Kept inside the frame: moved up or left, then cut.
    if (bottom > height) {
        top = std::max<LONG>(0, top - (bottom - height));
        bottom = std::min(height, top + (bottom - top));
        bottom = top + (bottom - top) / 3 * 3;
    }
    if (right > width) {
        left = std::max<LONG>(0, left - (right - width));
        right = std::min(width, right);
        right = left + ((right - left) & ~1);
    }
    m_top = top;
    m_bottom = bottom;
    m_left = left;
    m_right = right;
    m_referenceHeight = height;
    m_referenceWidth = width;
    m_overlayWidth = right - left;
    m_rowHeight = (bottom - top) / 3 + ((bottom - top) % 3 ? 1 : 0);
    ResetCCLineInfo(0, 3);
}

bool COverlayCC::ProcessCCData()
{
    const auto* separator = static_cast<const CSeperateVBIFromVideo*>(FindParentWithId(kAlgorithmIdSeparateFrame));
    if (!separator)
        return false;
    for (ULONG i = 0; i < kCaptionRows; ++i)
        if (separator->GetCaptionRow(m_field, m_channel, i))
            return true;
    return false;
}

void COverlayCC::ResetCCLineInfo(ULONG first, ULONG end)
{
    for (ULONG i = first; i < end && i < 3; ++i) {
        m_rows[i].Release();
        m_rowSequence[i] = 0;
    }
}

void COverlayCC::OverlayCC(VideoFrame* frame, ULONG row, LONG y)
{
    static const char* const kPlain[3] = {"copy the Y plane", "copy the U plane", "copy the V plane"};
    static const char* const kMasked[3] = {"do a masked copy of Y plane", "do a masked copy of U plane",
                                           "do a masked copy of V plane"};
    if (row >= 3)
        return;
    m_rows[row].Draw(this, "COverlayCC::OverlayCC", frame, y, m_left, Word(kTransparencyOffset) != 0, kPlain, kMasked);
}

void COverlayCC::Process(Frame* frame)
{
    BeginTiming();
    auto* in = static_cast<VideoFrame*>(frame);
    if (!m_on || !in || in->GetWidth() <= 0 || in->GetHeight() <= 0) {
        EndTiming();
        DeliverToChildren(in);
        return;
    }
    if (in->GetWidth() != m_frameWidth || in->GetHeight() != m_frameHeight) {
        m_frameWidth = in->GetWidth();
        m_frameHeight = in->GetHeight();
        ResizeTheCCOverlay(m_frameHeight, m_frameWidth);
    }
    // Frames made while the signal is lost carry no captions.
    if (in->HasFlags(kFrameFlagBackup) || in->IsHostFrame() || !ProcessCCData()) {
        ResetCCLineInfo(0, 3);
        EndTiming();
        DeliverToChildren(in);
        return;
    }
    const auto* separator = static_cast<const CSeperateVBIFromVideo*>(FindParentWithId(kAlgorithmIdSeparateFrame));
    VideoFrame* out = nullptr;
    bool changed = false;
    LONG y = m_top;
    for (ULONG r = 0; r < 3; ++r) {
        const CaptionRow* row = separator->GetCaptionRow(m_field, m_channel, r);
        if (!row) {
            ResetCCLineInfo(r, r + 1);
            y += m_rowHeight;
            continue;
        }
        if (m_rows[r].Empty() || m_rowSequence[r] != row->sequence) {
            ResetCCLineInfo(r, r + 1);
            m_rowSequence[r] = row->sequence;
            GlyphBitmap line;
            if (m_glyphs->RenderText(row->codes, row->count, row->styles, ULONG(Word(kBackgroundOffset)),
                                     ULONG(Word(kForegroundOffset)), ULONG(std::max<LONG>(row->indent, 0)), &line)) {
                m_rows[r].Build(line, m_rowHeight, m_overlayWidth, ULONG(Word(kBackgroundOffset)));
                FreePool(line.pixels);
            }
            ++m_renders;
            changed = true;
            m_quietFrames = 0;
        }
        if (m_quietFrames < kQuietFrames && !m_rows[r].Empty()) {
            if (!out)
                out = PrepareInPlaceFrame(in, true);
            if (out)
                OverlayCC(out, r, y);
            y += m_rows[r].height;
        } else {
            y += m_rowHeight;
        }
    }
    if (!changed && m_quietFrames < kQuietFrames)
        ++m_quietFrames;
    EndTiming();
    DeliverToChildren(out ? out : in);
}
