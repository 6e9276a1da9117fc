// COverlayCC (algorithm id 16): draws the caption rows that the VBI separator decoded for one
// field and data channel into the picture, through a glyph file, in a rectangle of the 600-byte
// closed-caption record scaled to the frame size. Rows are rendered when they change (compared by
// sequence number) and drawn on every frame until 300 frames in a row bring no change; frames
// made while the signal is lost never show captions.
#pragma once
#include "algorithm.h"
#include "captionimage.h"
#include "cglyphfile.h"

inline constexpr ULONG kClosedCaptionRecordBytes = 600;

class COverlayCC : public Algorithm {
public:
    static constexpr ULONG kQuietFrames = 300;
    static constexpr LONG kMinimumSize = 16;
    // Offsets in the record.
    static constexpr ULONG kVbiFieldOffset = 28, kChannelOffset = 32, kEnableOffset = 36, kReferenceHeightOffset = 40,
                           kReferenceWidthOffset = 44, kTopOffset = 48, kLeftOffset = 52, kHeightOffset = 56,
                           kWidthOffset = 60, kTransparencyOffset = 64, kForegroundOffset = 68,
                           kBackgroundOffset = 72, kFontNameOffset = 80;

    explicit COverlayCC(const UCHAR* record);
    ~COverlayCC() override;

    // Loads the glyph file; the overlay is on when it loads and the colours differ.
    void Init();
    void ResizeTheCCOverlay(LONG height, LONG width);
    // Whether the separator above holds rows for the configured field and channel.
    bool ProcessCCData();
    void OverlayCC(VideoFrame* frame, ULONG row, LONG y);
    // Releases the cached rows first..end - 1.
    void ResetCCLineInfo(ULONG first, ULONG end);
    void Process(Frame* frame) override;
    // Ids and the 600 record bytes equal.
    bool IsEqual(const Algorithm* other) const override;

    bool IsOn() const { return m_on; }
    LONG Top() const { return m_top; }
    LONG Bottom() const { return m_bottom; }
    LONG Left() const { return m_left; }
    LONG Right() const { return m_right; }
    LONG RowHeight() const { return m_rowHeight; }
    ULONG Renders() const { return m_renders; }

private:
    LONG Word(ULONG offset) const;

    UCHAR m_record[kClosedCaptionRecordBytes] = {};
    CGlyphFile* m_glyphs = nullptr;
    bool m_on = false;
    LONG m_field = 0, m_channel = 0;
    LONG m_top = 0, m_bottom = 0, m_left = 0, m_right = 0;
    LONG m_referenceHeight = 0, m_referenceWidth = 0;
    LONG m_overlayWidth = 0, m_rowHeight = 0;
    LONG m_frameWidth = -1, m_frameHeight = -1;
    ULONGLONG m_rowSequence[3] = {};
    CaptionImage m_rows[3];
    ULONG m_quietFrames = 0;
    ULONG m_renders = 0;
};
