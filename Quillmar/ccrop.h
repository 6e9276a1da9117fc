// CCrop: the crop step (algorithm id 3) of the capture and preview chains. It cuts a window out of
// the incoming picture without copying a pixel: the frame it passes on is a view whose planes
// point into the incoming frame's planes, with the incoming strides.
//
// The window is kept inside the picture: top and left not negative, at least 2 rows and 2 columns,
// top + height and left + width within the picture, left on an even column (a chroma sample
// covers two). Settings made for another picture size (the reference size; 0 means the picture's
// own) are scaled to the picture once, then kept with the picture's size as the new reference.
#pragma once
#include "algorithm.h"
#include "km/types.h"
#include "videoframe.h"

// The crop settings as the chain builder gives them (eleven words, in this order).
struct CropSettings {
    ULONG enabled;
    LONG top;
    LONG height;
    LONG left;
    LONG width;
    LONG referenceHeight;
    LONG referenceWidth;
    LONG minimumHeight;
    LONG minimumWidth;
    LONG leftAlignment;
    LONG widthAlignment;
};
static_assert(sizeof(CropSettings) == 11 * 4, "eleven settings words");

// The window last applied.
struct CropWindow {
    LONG top;
    LONG height;
    LONG left;
    LONG width;
};

class CCrop : public Algorithm {
public:
    // The smallest window the step makes, in rows and in columns.
    static constexpr LONG kMinimumWindow = 2;
    // Alignments below this count as this.
    static constexpr LONG kMinimumAlignment = 2;

    explicit CCrop(const CropSettings& settings);
    ~CCrop() override;

    void Process(Frame* frame) override;
    // Equal only when both steps are disabled: an enabled crop is never shared.
    bool IsEqual(const Algorithm* other) const override;

    // The settings in use (after a rescale, the scaled ones) and as built.
    const CropSettings& GetSettings() const { return m_settings; }
    const CropSettings& GetConstructionSettings() const { return m_constructionSettings; }
    const CropWindow& GetLastWindow() const { return m_lastWindow; }

private:
    // A frame laid over a window of another frame's picture; it owns no buffer.
    class ViewFrame : public VideoFrame {
    public:
        void View(const VideoFrame* source, const CropWindow& window);
    };

    void Rescale(LONG frameHeight, LONG frameWidth);

    CropSettings m_settings;
    CropSettings m_constructionSettings;
    ViewFrame m_viewFrame;
    CropWindow m_lastWindow = {};
};
