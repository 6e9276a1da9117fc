// CVideoLOS (algorithm id 18): the loss-of-signal overlay. The caption text of the 1,120-byte
// loss-of-signal record is rendered once with its glyph file; the image is placed in the record's
// rectangle scaled to the frame size and drawn (through its mask when transparency is on) only on
// the frames the backup generator makes while the input has no signal (flag 4).
#pragma once
#include "algorithm.h"
#include "captionimage.h"
#include "cglyphfile.h"

inline constexpr ULONG kLossOfSignalRecordBytes = 1120;

class CVideoLOS : public Algorithm {
public:
    static constexpr LONG kMinimumSize = 16;
    // Word numbers in the record.
    static constexpr ULONG kEnableWord = 8, kReferenceHeightWord = 9, kReferenceWidthWord = 10, kTopWord = 11,
                           kLeftWord = 12, kHeightWord = 13, kWidthWord = 14, kTransparencyWord = 15,
                           kForegroundWord = 16, kBackgroundWord = 17, kCaptionWord = 20, kFontNameWord = 150;
    static constexpr ULONG kTextCharacters = 260;

    explicit CVideoLOS(const UCHAR* record);
    ~CVideoLOS() override;

    // Renders the caption text into the image (trace "m_bitmap.bmWidth=%d, m_bitmap.bmHeight=%d").
    void InitLOS();
    void ResizeTheLOSOverlay(LONG height, LONG width);
    void ApplyLOSOverlay(VideoFrame* frame);
    void Process(Frame* frame) override;
    // Ids and the 1,120 record bytes equal.
    bool IsEqual(const Algorithm* other) const override;

    LONG Top() const { return m_top; }
    LONG Left() const { return m_left; }
    LONG Height() const { return m_height; }
    LONG Width() const { return m_width; }
    bool HasImage() const { return m_bitmap.pixels != nullptr; }

private:
    LONG Word(ULONG index) const;

    UCHAR m_record[kLossOfSignalRecordBytes] = {};
    GlyphBitmap m_bitmap = {};
    CaptionImage m_placed;
    LONG m_top = 0, m_left = 0, m_height = 0, m_width = 0;
    LONG m_frameWidth = -1, m_frameHeight = -1;
};
