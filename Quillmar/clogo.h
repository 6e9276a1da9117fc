// CLogo (algorithm id 12): blends a 24-bit bitmap logo (a watermark) into the frame, opaque or with
// a transparency percentage, optionally keyed: pixels of the key colour are transparent.
//
// Loading (InitLogo, ReadBmpLogo): the bitmap file "\DosDevices\" + name is read (BmpLogoFile),
// its rows kept top-down as red, green, blue at a width widened to a multiple of 16, then imported
// into a planar logo frame; with a key colour a mask frame marks the pixels that differ from it
// (Y at x, U and V at x / 2 where neither pixel of the pair is the key colour).
//
// Placing (ResizeTheLogo, at the first frame and at every change of frame size): the destination
// rectangle of the settings is scaled from the reference size to the frame, kept at least 16 wide
// and tall and inside the frame, its width rounded up to 16 and its height down to even, and then
// moved left (or narrowed) once more so that the rounding never reaches past the frame. The logo
// (and mask) are resized to it, and with a transparency percentage p premultiplied by 1 - p / 100.
//
// Applying (ApplyLogo): with p = 0 the logo is copied over the frame (through the mask with a key
// colour); with p > 0 every sample becomes RoundToInt(frame x p / 100 + logo) (only where the mask
// is set with a key colour), looked up in a table of the 65,536 results made at the placement. The
// frame is changed in place when it is writable, else in the step's work frame
// (PrepareInPlaceFrame).
#pragma once
#include "algorithm.h"
#include "bmplogofile.h"
#include "km/types.h"
#include "shared/bitmapfile.h"

class VideoFrame;

// The settings of the step as the chain builder gives them: 145 words, saved by InitLogo and put
// back at every placement. The rectangle is the destination in reference pixels (right = left +
// width, bottom = top + height); a reference size of 0 means the frame's own size. The key colour
// is a 0x00BBGGRR value (its bytes in memory are red, green, blue). The origination size of the
// settings record travels with them but takes no part in placing the logo.
struct LogoSettings {
    ULONG keyColorEnable;
    ULONG transparencyEnable;
    WCHAR fileName[260];
    LONG top;
    LONG left;
    LONG right;
    LONG bottom;
    LONG width;
    LONG height;
    LONG transparencyPercent;
    ULONG keyColor;
    ULONG duration; // not used by the step
    LONG referenceHeight;
    LONG referenceWidth;
    LONG originationHeight;
    LONG originationWidth;
};
static_assert(sizeof(LogoSettings) == 145 * 4);

class CLogo : public Algorithm {
public:
    // The smallest placed width and height.
    static constexpr LONG kMinimumSize = 16;
    // Scaled edges are kept within 0 .. kEdgeLimit.
    static constexpr LONG kEdgeLimit = 1 << 20;
    // The blend's results for every pair of frame and logo samples.
    static constexpr SIZE_T kBlendTableBytes = 256 * 256;

    CLogo();
    ~CLogo() override;

    // The settings the chain builder fills before InitLogo.
    LogoSettings& Settings() { return m_settings; }
    const LogoSettings& Settings() const { return m_settings; }

    // With an empty file name the logo stays unloaded; otherwise the name is converted to a narrow
    // string and ReadBmpLogo loads it. Then the settings are saved.
    void InitLogo();
    // Loads the bitmap "\DosDevices\" + name: true when the logo is loaded. Any failure (no file,
    // not a bitmap the step takes, no memory) leaves it unloaded; frames then pass unchanged.
    bool ReadBmpLogo(const char* name);
    // Places the logo for a frame of height x width (see the file comment).
    void ResizeTheLogo(LONG height, LONG width);
    // Blends or copies the sized logo into `frame` at the placed rectangle.
    void ApplyLogo(VideoFrame* frame);
    void Process(Frame* frame) override;
    // Same id, both enables, file name and the thirteen numeric settings (as saved).
    bool IsEqual(const Algorithm* other) const override;

    // State, for the chain's users and the tests.
    bool IsLoaded() const { return m_loaded; }
    const VideoFrame* GetLogoFrame() const { return m_logoFrame; }
    const VideoFrame* GetMaskFrame() const { return m_maskFrame; }
    const VideoFrame* GetSizedLogoFrame() const { return m_sizedLogo; }
    const VideoFrame* GetSizedMaskFrame() const { return m_sizedMask; }
    LONG PlacedTop() const { return m_placedTop; }
    LONG PlacedLeft() const { return m_placedLeft; }
    LONG PlacedWidth() const { return m_placedWidth; }
    LONG PlacedHeight() const { return m_placedHeight; }
    const BITMAPFILEHEADER& FileHeader() const { return m_fileHeader; }
    const BITMAPINFOHEADER& InfoHeader() const { return m_infoHeader; }
    LONG BitmapWidth() const { return m_bitmapWidth; }
    LONG BitmapHeight() const { return m_bitmapHeight; }

private:
    // Imports the picture into the logo frame and builds the mask; false on allocation failure.
    bool BuildLogoFrames(const BmpLogoFile& bitmap);
    void ReleaseLogo();
    void ReleaseSized();
    bool KeyColorOn() const { return m_settings.keyColorEnable != 0; }
    // The transparency in percent the blend uses, 0 to 100.
    LONG TransparencyPercent() const;

    LogoSettings m_settings{};
    LogoSettings m_savedSettings{};
    bool m_loaded = false;
    VideoFrame* m_logoFrame = nullptr;
    VideoFrame* m_maskFrame = nullptr;
    VideoFrame* m_sizedLogo = nullptr;
    VideoFrame* m_sizedMask = nullptr;
    UCHAR* m_blendTable = nullptr; // with a transparency percentage: RoundToInt(frame x f + logo)
    LONG m_placedTop = 0;
    LONG m_placedLeft = 0;
    LONG m_placedWidth = 0;
    LONG m_placedHeight = 0;
    // The frame size the logo was last placed for (0 x 0: not yet).
    LONG m_placedForWidth = 0;
    LONG m_placedForHeight = 0;
    BITMAPFILEHEADER m_fileHeader{};
    BITMAPINFOHEADER m_infoHeader{};
    LONG m_bitmapWidth = 0;
    LONG m_bitmapHeight = 0;
};
