// CColorSpaces: the proc-amp step (algorithm id 7) of the video chains. Brightness, contrast and
// gamma go through a 256-entry luma table; hue and saturation through two 64 KB chroma tables
// (new U and new V for every pair of U and V), rebuilt only when the settings change, so that each
// sample costs one table look-up.
//
// The values and tables come as the proc-amp block: ten words (hue, saturation, contrast, gamma
// and brightness, each followed by its neutral value), the 256-byte luma table, then the sine and
// cosine tables (chroma tables A and B). Tables that are all zero (the registry's default before
// any page wrote them) are computed from the values instead.
//
// Concurrency: Process runs under the stream's processing lock on the queue thread. SetTables,
// called from a property request while the stream runs, builds a complete new table set outside
// the lock and swaps it in under that lock, so a frame is adjusted wholly with the old or wholly
// with the new settings.
#pragma once
#include "algorithm.h"
#include "km/types.h"

class VideoFrame;

// The proc-amp block as the filter hands it to a running step (586 words).
struct ProcAmpBlock {
    LONG hue;
    LONG hueNeutral;
    LONG saturation;
    LONG saturationNeutral;
    LONG contrast;
    LONG contrastNeutral;
    LONG gamma;
    LONG gammaNeutral;
    LONG brightness;
    LONG brightnessNeutral;
    UCHAR lumaTable[256];   // 64 words
    LONG sineTable[256];    // chroma table A
    LONG cosineTable[256];  // chroma table B
};
inline constexpr ULONG kProcAmpBlockWords = 586;
static_assert(sizeof(ProcAmpBlock) == kProcAmpBlockWords * 4, "the block is 586 words");

class CColorSpaces : public Algorithm {
public:
    // Chroma results stay within this range.
    static constexpr LONG kChromaMinimum = 16;
    static constexpr LONG kChromaMaximum = 240;

    // Neutral values (hue 0, saturation 0, contrast 100, gamma 100, brightness 0), tables not
    // loaded: the step passes frames on unchanged until UpdateSettings.
    CColorSpaces();
    ~CColorSpaces() override;

    // The chain builder's settings: values and tables of the pin's proc-amp record (all-zero tables
    // are computed from the values). UpdateSettings must follow.
    void LoadSettings(const ProcAmpBlock& block);
    // Active flags from the values, the two chroma lookup tables from chroma tables A and B and
    // the saturation; tables loaded.
    void UpdateSettings();
    // New values and tables for a running step: `words` must be kProcAmpBlockWords. The new set is
    // built outside the processing lock and swapped in under it. False (nothing changed) for a
    // short block or when the memory for the new set cannot be had: the caller rebuilds the chain.
    bool SetTables(const ULONG* block, ULONG words);

    void Process(Frame* frame) override;
    // Ids, the two active flags and the ten value words equal; the tables are not compared.
    bool IsEqual(const Algorithm* other) const override;

    // out.Y = luma table[in.Y] over the picture; not in place and without hue-saturation, U and V
    // are copied. False when the frames' geometry does not allow it or an exception was caught.
    bool AdjustBrightnessContrastGamma(const VideoFrame* in, VideoFrame* out, bool inPlace);
    // out.U = newU[in.U][in.V], out.V = newV[in.V][in.U] for every chroma pair (both read before
    // either is written); not in place and without brightness-contrast-gamma, Y is copied.
    bool AdjustHueSaturation(const VideoFrame* in, VideoFrame* out, bool inPlace);

    // What the step works with now (tests and traces).
    bool IsBrightnessContrastGammaActive() const;
    bool IsHueSaturationActive() const;
    bool AreTablesLoaded() const;
    ProcAmpBlock GetSettings() const;
    // The U and the V that a sample pair with chroma (u, v) becomes.
    UCHAR NewU(UCHAR u, UCHAR v) const;
    UCHAR NewV(UCHAR u, UCHAR v) const;
    // Exceptions caught while adjusting a frame (the first ten are logged).
    ULONG GetExceptionCount() const { return m_exceptionCount; }

private:
    // One complete set of settings and tables; SetTables swaps whole sets.
    struct TableSet {
        bool brightnessContrastGammaActive;
        bool hueSaturationActive;
        bool tablesLoaded;
        ProcAmpBlock settings;
        UCHAR newU[256 * 256]; // [U][V]
        UCHAR newV[256 * 256]; // [U][V], read back as [V][U]
    };

    static TableSet* AllocateTableSet(bool raiseOnFailure);
    static void LoadBlock(TableSet* set, const ProcAmpBlock& block);
    static void BuildTables(TableSet* set);
    bool CheckGeometry(const VideoFrame* in, const VideoFrame* out) const;

    TableSet* m_tables;
    ULONG m_exceptionCount = 0;
};
