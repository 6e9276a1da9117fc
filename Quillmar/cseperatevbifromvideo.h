// CSeperateVBIFromVideo (algorithm id 20): the first step of every video chain, shared by all the
// video pins of a stream. It splits each DSP buffer into a video frame (the active lines of both
// fields, interleaved) and a VBI frame (each field's VBI lines and the active lines after them,
// field 0's block first), returns the DMA buffer at once, checks the frame-alignment marker the
// DSP writes into a VBI row, finds the line-21 caption signal of the 525-line standard, reads its
// two bytes per field and decodes them into up to three caption rows per field and data channel,
// which the caption overlay reads. The VBI and caption delivery steps (ids 19 and 15) receive the
// VBI frame, every other child the video frame.
//
// Field numbering: frame field 1 is NTSC field 1 (line 21: CC1, CC2); the decoder's field index is
// the frame's swapped, so decoder field 0 is NTSC field 1, and the caption words are stored in the
// frames by the decoder's index.
#pragma once
#include "algorithm.h"
#include "vbiseparatorstream.h"
#include "videoframe.h"

// The settings of the separator that come from the driver's parameters.
struct VbiSeparatorSettings {
    LONG lineRemoval = 0;                 // "PerfVBILineRemoval"
    bool alignmentDetectionEnable = false; // "VideoAlignmentDetectionEnable"
    ULONG alignmentDetectionLine = 0;     // "VideoAlignmentDetectionLine"
    bool hd1080HalfScale = false;         // the DSP's half-scale 1080-line pictures
    // The driver's values (zero when no driver is loaded) with the given line removal.
    static VbiSeparatorSettings FromDriver(LONG lineRemoval);
};

inline constexpr ULONG kCaptionColumns = 40;
inline constexpr ULONG kCaptionRows = 3;
inline constexpr ULONG kCaptionStyleItalic = 0x200;
inline constexpr ULONG kCaptionStylePlain = 0x400;

// A finished caption row.
struct CaptionRow {
    ULONGLONG sequence;             // unique, increasing: a new row has a new number
    ULONG count;                    // characters, 0..40
    USHORT codes[kCaptionColumns];  // glyph codes
    ULONG styles[kCaptionColumns];  // 0x200 italic, 0x400 plain
    LONG indent;                    // blank cells before the first character
};

class CSeperateVBIFromVideo : public Algorithm {
public:
    static constexpr LONG kMaximumLines = 1125;
    static constexpr LONG kMaximumWidth = 1920;
    static constexpr LONG kExtraVbiRows = 14;
    static constexpr LONG kMinimumVbiRows525 = 23;
    static constexpr ULONG kAlignmentMissLimit = 5;
    // The alignment marker is 0D 0E 0A 0D 0B 0A 0B 0E, on half-scale 960-wide pictures 0C 0B 0A 0D.
    static constexpr LONG kHalfScaleWidth = 960;

    // `stream` may be null (no restart can then be asked for); `inputDetectRecord` is copied (580
    // bytes, zeros when null).
    CSeperateVBIFromVideo(VbiSeparatorStream* stream, const UCHAR* inputDetectRecord,
                          const VbiSeparatorSettings& settings);
    ~CSeperateVBIFromVideo() override;

    void Process(Frame* frame) override;
    // Ids equal: one separator serves every video pin.
    bool IsEqual(const Algorithm* other) const override { return Algorithm::IsEqual(other); }
    // The decision whether captions are needed is taken again at the next frame.
    void ResetDetectionState() override;

    // Decodes one field's pair (parity bits are stripped, not tested). `field` is the decoder's.
    void ProcessCCData(LONG field, UCHAR b1, UCHAR b2);
    void ProcessPreambleCode(LONG field, LONG channel, UCHAR b2);
    // The same with the line mode given: 1 for the second line of a caption (codes 0x70..0x7F,
    // and the row-12 code right after a row-11 line), else 0.
    void ProcessPreambleCode(LONG field, LONG channel, UCHAR b2, LONG lineMode);
    void ProcessMiscellaneousControlCode(LONG field, LONG channel, UCHAR b2);
    void ProcessSpecialCharacter(LONG field, LONG channel, UCHAR b2);
    void ProcessEndOfCaptionLine(LONG field, LONG channel, bool keep);
    void ScrollCaptionLine(LONG field, LONG channel);
    void DumpClosedCaptionLines(LONG field, LONG channel);
    void ResetCCLineInfo(LONG field, LONG channel);

    // The caption rows of a decoder field and channel (0 or 1): the slot count (0..3) and each
    // slot's row, null for an empty slot or an index outside the count.
    ULONG GetCaptionRowCount(LONG field, LONG channel) const;
    const CaptionRow* GetCaptionRow(LONG field, LONG channel, ULONG index) const;

    // What the run-in search found in a frame field (frame index 0 or 1).
    struct RunIn {
        bool found;
        LONG row;          // VBI row within the field's block
        double dataStart;  // sample where the first data bit's cell begins
        double bitWidth;   // samples a bit
        LONG highest;
        LONG lowest;
    };
    const RunIn& GetRunIn(LONG frameField) const { return m_runIn[frameField & 1]; }
    // Analyses one row of luma for the line-21 run-in (public for the tests and benchmarks).
    static bool FindRunInInRow(const UCHAR* luma, LONG width, RunIn* result);
    // Reads the 16 data bits after a found run-in: low byte the first byte; a byte that reads 0
    // becomes 0x80.
    static USHORT ReadCaptionBytes(const UCHAR* luma, LONG width, const RunIn& runIn);

    VideoFrame* GetVideoFrame() const { return m_videoFrame; }
    VideoFrame* GetVbiFrame() const { return m_vbiFrame; }
    ULONG GetAlignmentMisses() const { return m_alignmentMisses; }
    // Rows of a field's block in the VBI frame for the frame's VBI line count.
    static LONG VbiRowsOfField(LONG vbiLines, ULONG standard);

private:
    struct ChannelState {
        LONG column;
        LONG indent;
        bool italics;
        bool waitingForAddress;
        bool ignoreText;
        bool skipNextAddress;
        USHORT lastControl; // 0: none
        LONG lastPreambleRow; // the screen row (1..15) of the last preamble address, 0: none
        LONG lineMode;
        USHORT codes[kCaptionColumns];
        ULONG styles[kCaptionColumns];
        CaptionRow rows[kCaptionRows];
        bool rowPresent[kCaptionRows];
        ULONG rowCount;
    };

    void SeperateTheData(const VideoFrame* in);
    void DecodeCaptions(bool generated);
    // `pictureWidth`: the incoming frame's width, read before its buffer went back.
    void CheckAlignment(LONG pictureWidth, bool* deliver);
    void AddCharacter(ChannelState& state, USHORT code, bool mapped);
    void PreambleAddress(LONG field, LONG channel, UCHAR b1, UCHAR b2);
    // The screen row (1..15) a preamble address names; 0 for a pair that names none.
    static LONG PreambleRow(UCHAR b1, UCHAR b2);
    void FreeRowsFrom(ChannelState& state, ULONG first);
    // The oldest of three rows freed, the others moved up.
    static void DropOldestRow(ChannelState& state);
    ChannelState& State(LONG field, LONG channel) { return m_channels[field & 1][channel & 1]; }
    const ChannelState& State(LONG field, LONG channel) const { return m_channels[field & 1][channel & 1]; }
    // The luma of VBI row `row` of frame field `frameField`, null outside the field's block.
    const UCHAR* VbiRow(LONG frameField, LONG row) const;

    VbiSeparatorStream* m_stream;
    UCHAR m_inputDetectRecord[kInputDetectRecordBytes] = {};
    VbiSeparatorSettings m_settings;
    VideoFrame* m_videoFrame = nullptr;
    VideoFrame* m_vbiFrame = nullptr;
    LONG m_vbiRows[2] = {};
    ULONG m_alignmentMisses = 0;
    LONG m_lastDetectionLine = -1;
    int m_captionDecision = 0; // 0 undecided, 1 needed, 2 not needed
    RunIn m_runIn[2] = {};
    ChannelState m_channels[2][2] = {};
    LONG m_currentChannel[2] = {};
    ULONGLONG m_rowSequence = 0;
};
