// CSeperateVBIFromVideo: separation, alignment check, line-21 run-in search and byte reader, and
// the caption decoder with its state per field and data channel.
#include "cseperatevbifromvideo.h"

#include "driver.h"
#include "planework.h"
#include "stepframes.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr LONG kRiseLevel = 64;  // a rising edge: a sample at or above this while low
constexpr LONG kFallLevel = 49;  // a falling edge: a sample below this while high
constexpr LONG kWalkBackLevel = 48;
constexpr int kRunInCycles = 7;
constexpr LONG kEdgeSpacing = 4;
constexpr UCHAR kMarker[8] = {0x0D, 0x0E, 0x0A, 0x0D, 0x0B, 0x0A, 0x0B, 0x0E};
constexpr UCHAR kHalfScaleMarker[4] = {0x0C, 0x0B, 0x0A, 0x0D};

// The luma at a fractional position, linearly between the two samples around it.
double SampleAt(const UCHAR* luma, LONG width, double position)
{
    if (position <= 0)
        return luma[0];
    const LONG i = static_cast<LONG>(position);
    if (i >= width - 1)
        return luma[width - 1];
    const double f = position - i;
    return luma[i] * (1 - f) + luma[i + 1] * f;
}

void CopyPlanesRows(const void* object, const VideoFrame* in, LONG sourceRow, VideoFrame* out, LONG destinationRow,
                    LONG destinationStep, LONG rows, LONG width, const char* const descriptions[3])
{
    for (ULONG p = 0; p < 3; ++p) {
        const LONG planeWidth = p == 0 ? width : width / 2;
        GuardedPlaneWork(object, "CSeperateVBIFromVideo::SeperateTheData", descriptions[p], [&] {
            const LONG inStride = in->GetStride(p);
            const LONG outStride = out->GetStride(p);
            CopyPlaneRows(in->GetPlane(p) + size_t(sourceRow) * inStride, inStride,
                          out->GetPlane(p) + size_t(destinationRow) * outStride, outStride * destinationStep, planeWidth,
                          rows);
        });
    }
}

} // namespace

VbiSeparatorSettings VbiSeparatorSettings::FromDriver(LONG lineRemoval)
{
    VbiSeparatorSettings settings;
    settings.lineRemoval = lineRemoval;
    if (const Driver* driver = Driver::Instance()) {
        settings.alignmentDetectionEnable = driver->GetVideoAlignmentDetectionEnable();
        settings.alignmentDetectionLine = driver->GetVideoAlignmentDetectionLine();
        settings.hd1080HalfScale = driver->GetDspHD1080HalfScale() != 0;
    }
    return settings;
}

CSeperateVBIFromVideo::CSeperateVBIFromVideo(VbiSeparatorStream* stream, const UCHAR* inputDetectRecord,
                                             const VbiSeparatorSettings& settings)
    : Algorithm(kAlgorithmIdSeparateFrame), m_stream(stream), m_settings(settings)
{
    TRACE_SCOPE(this, "CSeperateVBIFromVideo::CSeperateVBIFromVideo", kTraceLowEnter, "LineRemoval=%d",
                settings.lineRemoval);
    if (inputDetectRecord)
        std::memcpy(m_inputDetectRecord, inputDetectRecord, kInputDetectRecordBytes);
    for (LONG f = 0; f < 2; ++f)
        for (LONG c = 0; c < 2; ++c)
            ResetCCLineInfo(f, c);
}

CSeperateVBIFromVideo::~CSeperateVBIFromVideo()
{
    TRACE_SCOPE(this, "CSeperateVBIFromVideo::~CSeperateVBIFromVideo", kTraceLowEnter);
    delete m_videoFrame;
    delete m_vbiFrame;
}

void CSeperateVBIFromVideo::ResetDetectionState()
{
    m_captionDecision = 0;
    m_runIn[0] = {};
    m_runIn[1] = {};
}

LONG CSeperateVBIFromVideo::VbiRowsOfField(LONG vbiLines, ULONG standard)
{
    if (vbiLines <= 0)
        return 0;
    LONG rows = vbiLines + kExtraVbiRows;
    if (standard == kFrameStandard525 && rows < kMinimumVbiRows525)
        rows = kMinimumVbiRows525;
    return rows;
}

const UCHAR* CSeperateVBIFromVideo::VbiRow(LONG frameField, LONG row) const
{
    if (!m_vbiFrame || row < 0 || row >= m_vbiRows[frameField & 1])
        return nullptr;
    const LONG base = (frameField & 1) ? m_vbiRows[0] : 0;
    return m_vbiFrame->GetPlane(0) + size_t(base + row) * m_vbiFrame->GetStride(0);
}

void CSeperateVBIFromVideo::Process(Frame* frame)
{
    BeginTiming();
    auto* in = static_cast<VideoFrame*>(frame);
    if (!in) {
        EndTiming();
        return;
    }
    const FrameFieldSize vbi[2] = {in->GetVbiSize(0), in->GetVbiSize(1)};
    const FrameFieldSize active[2] = {in->GetActiveSize(0), in->GetActiveSize(1)};
    // 1. Implausible geometry, or planes the buffer does not hold: the frame is dropped.
    bool plausible = true;
    LONGLONG lines = 0;
    for (int f = 0; f < 2; ++f) {
        if (vbi[f].width < 0 || vbi[f].height < 0 || active[f].width < 0 || active[f].height < 0 ||
            vbi[f].width > kMaximumWidth || active[f].width > kMaximumWidth)
            plausible = false;
        lines += LONGLONG(vbi[f].height) + active[f].height;
        for (LONG width : {vbi[f].width, active[f].width})
            if ((vbi[f].height + active[f].height) > 0 && width > in->GetStride(0))
                plausible = false;
    }
    if (lines > kMaximumLines || lines > LONGLONG(in->GetRowCount()) || !in->PlanesInBuffer() ||
        (lines > 0 && !in->GetPlane(0)))
        plausible = false;
    if (!plausible) {
        TRACE_LINE(this, "CSeperateVBIFromVideo::Process", kTraceWarnings,
                   "Frame dropped: VBI %d+%d lines, active %d+%d lines, widths %d and %d, %u rows in the buffer",
                   vbi[0].height, vbi[1].height, active[0].height, active[1].height, vbi[0].width, active[0].width,
                   in->GetRowCount());
        EndTiming();
        return;
    }
    // 2. Single-field and generated frames need no further field handling.
    const bool generated = in->HasFlags(kFrameFlagGenerated) || in->IsHostFrame();
    if (active[1].height == 0 || generated)
        in->AddFlags(kFrameFlagGenerated);
    else
        in->ClearFlags(kFrameFlagGenerated);

    // 3. The two frames, (re)made when their geometry changes. A frame that cannot be made (no
    // memory) drops this input: the children get nothing of it rather than half of it, the
    // caption decoder keeps its state, and the next input tries again.
    const LONG vbiWidth = std::max(vbi[0].width, vbi[1].width);
    const LONG vbiRows[2] = {VbiRowsOfField(vbi[0].height, in->GetVideoStandard()),
                             VbiRowsOfField(vbi[1].height, in->GetVideoStandard())};
    bool made = true;
    if (vbi[0].height + vbi[1].height == 0 || generated || vbiWidth == 0) {
        delete m_vbiFrame;
        m_vbiFrame = nullptr;
        m_vbiRows[0] = m_vbiRows[1] = 0;
    } else if (!m_vbiFrame || m_vbiFrame->GetWidth() != vbiWidth || m_vbiRows[0] != vbiRows[0] ||
               m_vbiRows[1] != vbiRows[1]) {
        delete m_vbiFrame;
        m_vbiFrame = NewVideoFrame(vbiWidth, vbiRows[0] + vbiRows[1]);
        m_vbiRows[0] = m_vbiFrame ? vbiRows[0] : 0;
        m_vbiRows[1] = m_vbiFrame ? vbiRows[1] : 0;
        m_lastDetectionLine = -1;
        m_runIn[0] = {};
        m_runIn[1] = {};
        made = m_vbiFrame != nullptr;
    }
    const LONG activeWidth = std::max(active[0].width, active[1].width);
    const LONG activeLines = active[0].height + active[1].height;
    if (activeLines == 0 || activeWidth == 0) {
        delete m_videoFrame;
        m_videoFrame = nullptr;
    } else if (!m_videoFrame || m_videoFrame->GetWidth() != activeWidth || m_videoFrame->GetHeight() != activeLines) {
        delete m_videoFrame;
        m_videoFrame = NewVideoFrame(activeWidth, activeLines);
        made = made && m_videoFrame != nullptr;
    }
    if (!made) {
        TRACE_LINE(this, "CSeperateVBIFromVideo::Process", kTraceWarnings,
                   "Frame dropped: no memory for the %dx%d VBI or the %dx%d video frame", vbiWidth,
                   vbiRows[0] + vbiRows[1], activeWidth, activeLines);
        EndTiming();
        return;
    }

    // 4. The copies, and the attributes of both frames.
    GuardedPlaneWork(this, "CSeperateVBIFromVideo::Process", "seperate VBI and video data", [&] { SeperateTheData(in); });
    if (m_videoFrame) {
        in->CopyAttributes(m_videoFrame, true);
        m_videoFrame->SetVbiSize(0, 0, 0);
        m_videoFrame->SetVbiSize(1, 0, 0);
        m_videoFrame->SetLineRemoval(m_settings.lineRemoval);
    }
    if (m_vbiFrame) {
        in->CopyAttributes(m_vbiFrame, true);
        m_vbiFrame->SetVbiSize(0, vbiWidth, m_vbiRows[0]);
        m_vbiFrame->SetVbiSize(1, vbiWidth, m_vbiRows[1]);
    }
    for (VideoFrame* out : {m_videoFrame, m_vbiFrame})
        if (out) {
            out->SetCaptionWord(0, 0x8080);
            out->SetCaptionWord(1, 0x8080);
        }

    // 5. Captions of the 525-line standard.
    DecodeCaptions(generated);

    // 6. The data lives in the step's frames now: the DSP may refill its buffer, so what is still
    // needed of the incoming frame is read first and the frame is not touched after.
    const ULONG standard = in->GetVideoStandard();
    const LONG pictureWidth = in->GetWidth();
    in = nullptr;
    if (Algorithm* root = GetRoot(); root && root != this)
        root->ReturnBuffer();

    // 7. Frame alignment.
    bool deliver = true;
    if (m_vbiFrame && !generated && standard != 0 && m_settings.alignmentDetectionEnable)
        CheckAlignment(pictureWidth, &deliver);
    EndTiming();
    if (!deliver)
        return;

    // 8. The VBI frame to the VBI and caption delivery, the video frame to the others. Without a
    // VBI frame (no VBI lines, a generated frame) the delivery steps get the video frame, whose
    // VBI sizes are zero and whose caption words are empty.
    auto frameFor = [this](const Algorithm* child) {
        const LONG id = child->GetAlgorithmId();
        return (id == kAlgorithmIdVBI || id == kAlgorithmIdCC) && m_vbiFrame ? m_vbiFrame : m_videoFrame;
    };
    LONG receivers[2] = {};
    for (LONG i = 0; i < GetChildCount(); ++i)
        receivers[frameFor(GetChild(i)) == m_vbiFrame && m_vbiFrame ? 1 : 0]++;
    for (LONG i = 0; i < GetChildCount(); ++i) {
        Algorithm* child = GetChild(i);
        VideoFrame* out = frameFor(child);
        if (!out) {
            const LONG id = child->GetAlgorithmId();
            if (id == kAlgorithmIdVBI || id == kAlgorithmIdCC)
                child->Process(nullptr); // answers with no caption and zero rows
            continue;
        }
        out->SetWritable(receivers[out == m_vbiFrame ? 1 : 0] == 1);
        child->Process(out);
    }
}

void CSeperateVBIFromVideo::SeperateTheData(const VideoFrame* in)
{
    TRACE_SCOPE(this, "CSeperateVBIFromVideo::SeperateTheData", kTraceLowEnter);
    static const char* const kVbiTexts[3] = {"copy Y plane of VBI data field", "copy U plane of VBI data field",
                                             "copy V plane of VBI data field"};
    static const char* const kVideoTexts[3] = {"copy Y plane of video data field", "copy U plane of video data field",
                                               "copy V plane of video data field"};
    const FrameFieldSize vbi[2] = {in->GetVbiSize(0), in->GetVbiSize(1)};
    const FrameFieldSize active[2] = {in->GetActiveSize(0), in->GetActiveSize(1)};
    const bool twoFields = active[0].height > 0 && active[1].height > 0;
    LONG sourceRow = 0;
    LONG vbiBase = 0;
    for (LONG f = 0; f < 2; ++f) {
        const LONG fieldRows = vbi[f].height + active[f].height;
        if (m_vbiFrame) {
            const LONG rows = std::min(m_vbiRows[f], fieldRows);
            const LONG width = std::min(vbi[f].width, m_vbiFrame->GetWidth());
            CopyPlanesRows(this, in, sourceRow, m_vbiFrame, vbiBase, 1, rows, width, kVbiTexts);
            // Rows the buffer does not hold are black.
            for (LONG r = rows; r < m_vbiRows[f]; ++r)
                for (ULONG p = 0; p < 3; ++p)
                    std::memset(m_vbiFrame->GetPlane(p) + size_t(vbiBase + r) * m_vbiFrame->GetStride(p),
                                p == 0 ? 16 : 128, size_t(m_vbiFrame->GetStride(p)));
            vbiBase += m_vbiRows[f];
        }
        if (m_videoFrame && active[f].height > 0) {
            const LONG width = std::min(active[f].width, m_videoFrame->GetWidth());
            const LONG rows = std::min(active[f].height, m_videoFrame->GetHeight());
            CopyPlanesRows(this, in, sourceRow + vbi[f].height, m_videoFrame, twoFields ? f : 0, twoFields ? 2 : 1,
                           twoFields ? std::min(rows, (m_videoFrame->GetHeight() - f + 1) / 2) : rows, width,
                           kVideoTexts);
        }
        sourceRow += fieldRows;
    }
}

void CSeperateVBIFromVideo::DecodeCaptions(bool generated)
{
    const bool applies = m_vbiFrame && !generated && m_vbiFrame->GetVideoStandard() == kFrameStandard525;
    if (applies && m_captionDecision == 0) {
        const Algorithm* top = GetRoot() ? GetRoot() : this;
        const bool needed = top->FindAlgorithmWithId(kAlgorithmIdCC) || top->FindAlgorithmWithId(kAlgorithmIdOverlayCC);
        m_captionDecision = needed ? 1 : 2;
        m_runIn[0] = {};
        m_runIn[1] = {};
    }
    if (!applies || m_captionDecision != 1) {
        for (LONG f = 0; f < 2; ++f)
            for (LONG c = 0; c < 2; ++c)
                ResetCCLineInfo(f, c);
        return;
    }
    const LONG width = m_vbiFrame->GetWidth();
    for (LONG frameField = 0; frameField < 2; ++frameField) {
        RunIn& runIn = m_runIn[frameField];
        // The line is looked for while the field has none, and again when it is lost.
        RunIn found = {};
        bool ok = false;
        if (runIn.found) {
            if (const UCHAR* row = VbiRow(frameField, runIn.row))
                ok = FindRunInInRow(row, width, &found);
            found.row = runIn.row;
        }
        if (!ok) {
            const bool hadLine = runIn.found;
            for (LONG r = 0; r < m_vbiRows[frameField] && !ok; ++r) {
                ok = FindRunInInRow(VbiRow(frameField, r), width, &found);
                found.row = r;
            }
            if (ok && (!hadLine || found.row != runIn.row))
                TRACE_LINE(this, "CSeperateVBIFromVideo::FindClosedCaptionRunIn", kTraceHighs,
                           "Found CC Line run-in on line %d in field %d", found.row, frameField);
        }
        if (!ok) {
            runIn = {};
            continue;
        }
        runIn = found;
        const USHORT word = ReadCaptionBytes(VbiRow(frameField, runIn.row), width, runIn);
        const LONG decoderField = 1 - frameField;
        for (VideoFrame* out : {m_videoFrame, m_vbiFrame})
            if (out)
                out->SetCaptionWord(decoderField, word);
        ProcessCCData(decoderField, static_cast<UCHAR>(word & 0xFF), static_cast<UCHAR>(word >> 8));
    }
}

bool CSeperateVBIFromVideo::FindRunInInRow(const UCHAR* luma, LONG width, RunIn* result)
{
    *result = {};
    if (!luma || width < 64 || luma[0] >= kRiseLevel)
        return false;
    const LONG half = width / 2;
    double rises[kRunInCycles] = {};
    double falls[kRunInCycles] = {};
    int riseCount = 0, fallCount = 0;
    bool high = false;
    LONG lastEdge = -kEdgeSpacing;
    LONG highest = luma[0], lowest = luma[0];
    for (LONG i = 1; i < half; ++i) {
        const LONG s = luma[i], p = luma[i - 1];
        highest = std::max(highest, s);
        lowest = std::min(lowest, s);
        if (fallCount == kRunInCycles)
            continue;
        // An edge closer than kEdgeSpacing samples to the one before is noise on that edge.
        if (i - lastEdge < kEdgeSpacing)
            continue;
        if (!high && s >= kRiseLevel) {
            rises[riseCount++] = (i - 1) + double(kRiseLevel - p) / double(s - p);
            high = true;
            lastEdge = i;
        } else if (high && s < kFallLevel) {
            falls[fallCount++] = (i - 1) + double(p - kFallLevel) / double(p - s);
            high = false;
            lastEdge = i;
        }
    }
    if (riseCount < kRunInCycles || fallCount < kRunInCycles)
        return false;
    const double bitWidth = (rises[kRunInCycles - 1] - rises[0]) / (kRunInCycles - 1);
    if (bitWidth < 3 || bitWidth * 19 >= width)
        return false;
    // The start bits read low, low, high in the middle of the three cells after the run-in.
    const double lastPeak = (rises[kRunInCycles - 1] + falls[kRunInCycles - 1]) / 2;
    const double middles[3] = {lastPeak + 0.5 * bitWidth, lastPeak + 1.5 * bitWidth, lastPeak + 2.5 * bitWidth};
    if (middles[2] >= width - 1 || SampleAt(luma, width, middles[0]) >= kFallLevel ||
        SampleAt(luma, width, middles[1]) >= kFallLevel || SampleAt(luma, width, middles[2]) < kRiseLevel)
        return false;
    // From the third start bit back to its rising edge; the data cells begin one bit later.
    LONG p = static_cast<LONG>(middles[2]);
    const LONG stop = static_cast<LONG>(middles[1]);
    while (p > stop && luma[p] > kWalkBackLevel)
        --p;
    double edge = p;
    if (luma[p + 1] != luma[p])
        edge = p + std::clamp(double(kWalkBackLevel + 0.5 - luma[p]) / double(luma[p + 1] - luma[p]), 0.0, 1.0);
    const double dataStart = edge + bitWidth;
    if (dataStart + 16 * bitWidth > width)
        return false;
    result->found = true;
    result->dataStart = dataStart;
    result->bitWidth = bitWidth;
    result->highest = highest;
    result->lowest = lowest;
    return true;
}

USHORT CSeperateVBIFromVideo::ReadCaptionBytes(const UCHAR* luma, LONG width, const RunIn& runIn)
{
    if (!luma || !runIn.found)
        return 0x8080;
    const double threshold = (runIn.highest - runIn.lowest) / 2.0;
    ULONG bits = 0;
    for (int k = 0; k < 16; ++k)
        if (SampleAt(luma, width, runIn.dataStart + (k + 0.5) * runIn.bitWidth) >= threshold)
            bits |= 1u << k;
    UCHAR b1 = static_cast<UCHAR>(bits & 0xFF), b2 = static_cast<UCHAR>(bits >> 8);
    if (b1 == 0)
        b1 = 0x80;
    if (b2 == 0)
        b2 = 0x80;
    return static_cast<USHORT>(b1 | b2 << 8);
}

void CSeperateVBIFromVideo::CheckAlignment(LONG pictureWidth, bool* deliver)
{
    const LONG line = static_cast<LONG>(m_settings.alignmentDetectionLine);
    const bool halfScale = m_settings.hd1080HalfScale && pictureWidth == kHalfScaleWidth;
    const UCHAR* marker = halfScale ? kHalfScaleMarker : kMarker;
    const LONG bytes = halfScale ? 4 : 8;
    const UCHAR* row = VbiRow(0, line - 1);
    const bool hit = row && m_vbiFrame->GetWidth() >= bytes && std::memcmp(row, marker, size_t(bytes)) == 0;
    if (hit) {
        m_alignmentMisses = 0;
        if (line != m_lastDetectionLine) {
            TRACE_LINE(this, "CSeperateVBIFromVideo::Process", kTraceHighs,
                       "Video frame alignment marker WAS detected on line %d...", line);
            m_lastDetectionLine = line;
        }
        return;
    }
    if (++m_alignmentMisses < kAlignmentMissLimit)
        return;
    TRACE_LINE(this, "CSeperateVBIFromVideo::Process", kTraceErrors,
               "Video frame alignment marker was NOT detected on line %d.  Forcing video stream to restart...", line);
    m_alignmentMisses = 0;
    m_lastDetectionLine = -1;
    *deliver = false;
    UCHAR record[kInputDetectRecordBytes];
    if (!m_stream || !m_stream->GetCurrentInputDetectRecord(record))
        std::memcpy(record, m_inputDetectRecord, sizeof(record));
    record[kInputDetectStateOffset] = kInputDetectStateRestart;
    std::memcpy(m_inputDetectRecord, record, sizeof(record));
    if (m_stream)
        m_stream->ProcessInputStateChanged(record);
}

// The caption decoder.

ULONG CSeperateVBIFromVideo::GetCaptionRowCount(LONG field, LONG channel) const
{
    return State(field, channel).rowCount;
}

const CaptionRow* CSeperateVBIFromVideo::GetCaptionRow(LONG field, LONG channel, ULONG index) const
{
    const ChannelState& s = State(field, channel);
    if (index >= s.rowCount || index >= kCaptionRows || !s.rowPresent[index])
        return nullptr;
    return &s.rows[index];
}

void CSeperateVBIFromVideo::AddCharacter(ChannelState& s, USHORT code, bool mapped)
{
    if (mapped) {
        switch (code) {
        case 0x2A: code = 129; break;  // a acute
        case 0x5C: code = 131; break;  // e acute
        case 0x5E: code = 133; break;  // i acute
        case 0x5F: code = 135; break;  // o acute
        case 0x60: code = 137; break;  // u acute
        case 0x7B: code = 138; break;  // c cedilla
        case 0x7C: code = 0x20; break; // division sign: no glyph
        case 0x7D:
        case 0x7E: code = 176; break;  // n tilde
        default: break;
        }
    }
    s.column = std::clamp<LONG>(s.column, 0, LONG(kCaptionColumns) - 1);
    s.codes[s.column] = code;
    s.styles[s.column] = s.italics ? kCaptionStyleItalic : kCaptionStylePlain;
    ++s.column;
}

void CSeperateVBIFromVideo::ProcessCCData(LONG field, UCHAR b1, UCHAR b2)
{
    field &= 1;
    b1 &= 0x7F;
    b2 &= 0x7F;
    if (b1 >= 0x01 && b1 <= 0x0F) {
        // Extended data: the text that follows is not captions.
        const LONG channel = m_currentChannel[field];
        ChannelState& s = State(field, channel);
        if (s.column > 0)
            ProcessEndOfCaptionLine(field, channel, false);
        s.ignoreText = true;
        return;
    }
    if (b1 >= 0x10 && b1 <= 0x1F) {
        const LONG channel = (b1 & 0x08) ? 1 : 0;
        m_currentChannel[field] = channel;
        ChannelState& s = State(field, channel);
        s.ignoreText = false;
        const USHORT pair = static_cast<USHORT>(b1 | b2 << 8);
        if (s.lastControl == pair) {
            s.lastControl = 0;
            return;
        }
        s.lastControl = pair;
        const UCHAR base = b1 & 0xF7;
        const bool address = (b2 >= 0x50 && b2 <= 0x5F) || b2 >= 0x70;
        if (base == 0x11) {
            if (b2 >= 0x30 && b2 <= 0x3F) {
                ProcessSpecialCharacter(field, channel, b2);
            } else if (b2 >= 0x20 && b2 <= 0x2F) {
                s.italics = b2 == 0x2E;
                if (s.column > 0)
                    AddCharacter(s, 0x20, false);
            } else if (b2 >= 0x40 && b2 <= 0x4F) {
                if (s.column > 0)
                    ProcessEndOfCaptionLine(field, channel, true);
                s.waitingForAddress = false;
            } else if (address) {
                PreambleAddress(field, channel, b1, b2);
            }
        } else if (base == 0x10) {
            // Row 11 has a code of its own, 0x10 (0x18) with 0x40..0x5F.
            if (b2 >= 0x50 && b2 <= 0x5F) {
                PreambleAddress(field, channel, b1, b2);
            } else if (b2 >= 0x40 && b2 <= 0x4F) {
                ProcessEndOfCaptionLine(field, channel, true);
                s.waitingForAddress = false;
            }
        } else if (base == 0x13 || base == 0x14 || base == 0x15 || base == 0x17) {
            // Miscellaneous control codes come with 0x14 on NTSC field 1 and 0x15 on field 2.
            const UCHAR miscellaneous = field == 0 ? 0x14 : 0x15;
            if (address) {
                PreambleAddress(field, channel, b1, b2);
            } else if (b2 >= 0x40 && b2 <= 0x4F) {
                ProcessEndOfCaptionLine(field, channel, true);
                s.waitingForAddress = false;
            } else if (base == miscellaneous && b2 >= 0x20 && b2 <= 0x2F) {
                ProcessMiscellaneousControlCode(field, channel, b2);
            }
        }
        return;
    }
    // Text (0x00 or 0x20..0x7F); any pair but padding ends a repeat of the last control pair.
    const LONG channel = m_currentChannel[field];
    ChannelState& s = State(field, channel);
    if (b1 != 0 || b2 != 0)
        s.lastControl = 0;
    if (s.ignoreText || s.waitingForAddress)
        return;
    if (b1 >= 0x20)
        AddCharacter(s, b1, true);
    if (b2 >= 0x20 && b2 <= 0x7F)
        AddCharacter(s, b2, true);
}

LONG CSeperateVBIFromVideo::PreambleRow(UCHAR b1, UCHAR b2)
{
    const bool lower = (b2 & 0x7F) >= 0x60;
    switch (b1 & 0x77) {
    case 0x11: return lower ? 2 : 1;
    case 0x12: return lower ? 4 : 3;
    case 0x15: return lower ? 6 : 5;
    case 0x16: return lower ? 8 : 7;
    case 0x17: return lower ? 10 : 9;
    case 0x10: return lower ? 0 : 11;
    case 0x13: return lower ? 13 : 12;
    case 0x14: return lower ? 15 : 14;
    default: return 0;
    }
}

void CSeperateVBIFromVideo::PreambleAddress(LONG field, LONG channel, UCHAR b1, UCHAR b2)
{
    ChannelState& s = State(field, channel);
    // The codes 0x70..0x7F name the lower row of a pair and start a caption's second line. Rows
    // 11 and 12 are no pair: row 12's 0x50..0x5F code right after a line begun on row 11 (still
    // being received) is that caption's second line as well, and keeps the first.
    const LONG row = PreambleRow(b1, b2);
    const bool secondLine =
        b2 >= 0x70 || (row != 0 && row == s.lastPreambleRow + 1 && s.lineMode == 0 && s.column > 0);
    s.lastPreambleRow = row;
    if (!secondLine) {
        if (!s.skipNextAddress) {
            ProcessEndOfCaptionLine(field, channel, true);
            DumpClosedCaptionLines(field, channel);
        }
    } else if (!s.skipNextAddress && s.lineMode == 1) {
        DumpClosedCaptionLines(field, channel);
    }
    ProcessPreambleCode(field, channel, b2, secondLine ? 1 : 0);
}

void CSeperateVBIFromVideo::ProcessPreambleCode(LONG field, LONG channel, UCHAR b2)
{
    ProcessPreambleCode(field, channel, b2, b2 >= 0x70 ? 1 : 0);
}

void CSeperateVBIFromVideo::ProcessPreambleCode(LONG field, LONG channel, UCHAR b2, LONG mode)
{
    ChannelState& s = State(field, channel);
    s.waitingForAddress = false;
    if (s.skipNextAddress) {
        s.skipNextAddress = false;
        return;
    }
    TRACE_LINE(this, "CSeperateVBIFromVideo::ProcessPreambleCode", kTraceLows,
               "chData = 0x%02x, nNewPreambleLineIndex=%d, m_nLastPreambleLineIndex[%d][%d]=%d", b2, mode, field,
               channel, s.lineMode);
    s.italics = false;
    s.lineMode = mode;
    ProcessEndOfCaptionLine(field, channel, false);
    if (s.indent == 0)
        s.indent = (b2 & 0x0E) * 2;
    // The next row goes to slot 0 (first line) or 1 (second line); rows above it are freed.
    FreeRowsFrom(s, ULONG(mode));
    s.rowCount = ULONG(mode);
}

void CSeperateVBIFromVideo::ProcessMiscellaneousControlCode(LONG field, LONG channel, UCHAR b2)
{
    ChannelState& s = State(field, channel);
    switch (b2) {
    case 0x25:
    case 0x26:
    case 0x27: // roll-up
        ScrollCaptionLine(field, channel);
        ProcessEndOfCaptionLine(field, channel, true);
        s.lineMode = 0;
        s.skipNextAddress = true;
        s.waitingForAddress = false;
        break;
    case 0x2D: // carriage return
    case 0x2F: // end of caption
        ProcessEndOfCaptionLine(field, channel, false);
        break;
    case 0x2E: // erase the line being received
        s.column = 0;
        s.indent = 0;
        s.italics = false;
        std::memset(s.codes, 0, sizeof(s.codes));
        std::memset(s.styles, 0, sizeof(s.styles));
        s.waitingForAddress = false;
        break;
    default:
        if (b2 >= 0x20 && b2 <= 0x2C)
            s.waitingForAddress = false;
        break;
    }
}

void CSeperateVBIFromVideo::ProcessSpecialCharacter(LONG field, LONG channel, UCHAR b2)
{
    static constexpr SHORT kCodes[16] = {5, 2, 3, -1, 6, 1, 0, 4, 152, 0x20, 154, 140, 142, 144, 146, 148};
    if (b2 < 0x30 || b2 > 0x3F)
        return;
    ChannelState& s = State(field, channel);
    const SHORT code = kCodes[b2 - 0x30];
    if (code < 0)
        return;
    if (b2 == 0x39 && s.column == 0) {
        s.indent += 2;
        return;
    }
    AddCharacter(s, static_cast<USHORT>(code), false);
}

void CSeperateVBIFromVideo::ProcessEndOfCaptionLine(LONG field, LONG channel, bool keep)
{
    ChannelState& s = State(field, channel);
    if (s.column > 0) {
        CaptionRow row = {};
        row.sequence = ++m_rowSequence;
        row.count = ULONG(std::min<LONG>(s.column, kCaptionColumns));
        std::memcpy(row.codes, s.codes, sizeof(row.codes));
        std::memcpy(row.styles, s.styles, sizeof(row.styles));
        row.indent = s.indent;
        if (s.rowCount >= kCaptionRows)
            DropOldestRow(s);
        s.rows[s.rowCount] = row;
        s.rowPresent[s.rowCount] = true;
        ++s.rowCount;
    }
    s.column = 0;
    if (!keep) {
        s.indent = 0;
        s.italics = false;
    }
    std::memset(s.codes, 0, sizeof(s.codes));
    std::memset(s.styles, 0, sizeof(s.styles));
}

void CSeperateVBIFromVideo::ScrollCaptionLine(LONG field, LONG channel)
{
    ChannelState& s = State(field, channel);
    if (s.rowCount == 0)
        return;
    if (s.rowCount >= kCaptionRows)
        DropOldestRow(s);
    s.rowPresent[s.rowCount] = false;
    ++s.rowCount;
}

void CSeperateVBIFromVideo::DropOldestRow(ChannelState& s)
{
    for (ULONG i = 0; i + 1 < kCaptionRows; ++i) {
        s.rows[i] = s.rows[i + 1];
        s.rowPresent[i] = s.rowPresent[i + 1];
    }
    s.rowPresent[kCaptionRows - 1] = false;
    s.rowCount = kCaptionRows - 1;
}

void CSeperateVBIFromVideo::FreeRowsFrom(ChannelState& s, ULONG first)
{
    for (ULONG i = first; i < kCaptionRows; ++i) {
        s.rowPresent[i] = false;
        s.rows[i] = {};
    }
}

void CSeperateVBIFromVideo::DumpClosedCaptionLines(LONG field, LONG channel)
{
    ChannelState& s = State(field, channel);
    FreeRowsFrom(s, 0);
    s.rowCount = 0;
}

void CSeperateVBIFromVideo::ResetCCLineInfo(LONG field, LONG channel)
{
    ChannelState& s = State(field, channel);
    s = {};
    s.waitingForAddress = true;
    s.lineMode = -1;
    m_currentChannel[field & 1] = 0;
}
