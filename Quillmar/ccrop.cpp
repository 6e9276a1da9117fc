// CCrop: the rescale of the settings, the window rules and the view frame.
#include "ccrop.h"

#include "picturegeometry.h"
#include "roundtoint.h"
#include "tracescope.h"

CCrop::CCrop(const CropSettings& settings)
    : Algorithm(kAlgorithmIdCrop), m_settings(settings), m_constructionSettings(settings)
{
    TRACE_SCOPE(this, "CCrop::CCrop", kTraceLowEnter, "Enabled=%u, Top=%d, Height=%d, Left=%d, Width=%d",
                settings.enabled, settings.top, settings.height, settings.left, settings.width);
}

CCrop::~CCrop()
{
    TRACE_SCOPE(this, "CCrop::~CCrop", kTraceLowEnter);
}

bool CCrop::IsEqual(const Algorithm* other) const
{
    if (!Algorithm::IsEqual(other))
        return false;
    return m_settings.enabled == 0 && static_cast<const CCrop*>(other)->m_settings.enabled == 0;
}

void CCrop::Rescale(LONG frameHeight, LONG frameWidth)
{
    CropSettings& s = m_settings;
    const LONG referenceHeight = s.referenceHeight > 0 ? s.referenceHeight : frameHeight;
    const LONG referenceWidth = s.referenceWidth > 0 ? s.referenceWidth : frameWidth;
    if (referenceHeight == frameHeight && referenceWidth == frameWidth)
        return;
    const double vertical = static_cast<double>(frameHeight) / referenceHeight;
    const double horizontal = static_cast<double>(frameWidth) / referenceWidth;
    s.top = RoundToInt(s.top * vertical);
    s.height = RoundToInt(s.height * vertical);
    s.left = RoundToInt(s.left * horizontal);
    s.width = RoundToInt(s.width * horizontal);
    if (s.height - s.top < s.minimumHeight)
        s.height = s.minimumHeight + s.top;
    if (s.width - s.left < s.minimumWidth)
        s.width = s.minimumWidth + s.left;
    const LONG leftAlignment = s.leftAlignment < kMinimumAlignment ? kMinimumAlignment : s.leftAlignment;
    const LONG widthAlignment = s.widthAlignment < kMinimumAlignment ? kMinimumAlignment : s.widthAlignment;
    if (s.left > 0)
        s.left -= s.left % leftAlignment;
    if (s.width > 0)
        s.width -= s.width % widthAlignment;
    s.referenceHeight = frameHeight;
    s.referenceWidth = frameWidth;
}

void CCrop::Process(Frame* frame)
{
    BeginTiming();
    auto* in = static_cast<VideoFrame*>(frame);
    if (!IsPictureUsable(in) || in->GetHeight() < kMinimumWindow || in->GetWidth() < kMinimumWindow) {
        // Nothing to cut a window from: the frame goes on as it came.
        EndTiming();
        DeliverToChildren(frame);
        return;
    }
    const LONG frameHeight = in->GetHeight();
    const LONG frameWidth = in->GetWidth();

    CropWindow w;
    if (m_settings.enabled == 0) {
        w = CropWindow{0, frameHeight, 0, static_cast<LONG>(in->GetRowWidth())};
        m_settings.referenceHeight = frameHeight;
        m_settings.referenceWidth = frameWidth;
    } else {
        Rescale(frameHeight, frameWidth);
        w = CropWindow{m_settings.top, m_settings.height, m_settings.left, m_settings.width};
    }

    // Lines the VBI separator left at the top of the picture.
    const LONG removed = in->GetLineRemoval();
    if (removed > 0) {
        w.top += removed;
        w.height -= removed;
    }

    // The window stays inside the picture and keeps at least 2 rows and columns.
    if (w.top < 0)
        w.top = 0;
    if (w.left < 0)
        w.left = 0;
    if (w.top > frameHeight - kMinimumWindow)
        w.top = frameHeight - kMinimumWindow;
    if (w.left > frameWidth - kMinimumWindow)
        w.left = frameWidth - kMinimumWindow;
    w.left &= ~1;
    if (w.height > frameHeight - w.top)
        w.height = frameHeight - w.top;
    if (w.width > frameWidth - w.left)
        w.width = frameWidth - w.left;
    if (w.height < kMinimumWindow)
        w.height = kMinimumWindow;
    if (w.width < kMinimumWindow)
        w.width = kMinimumWindow;

    m_viewFrame.View(in, w);
    in->CopyAttributes(&m_viewFrame, true);
    // The removed lines are outside the view now.
    m_viewFrame.SetLineRemoval(0);
    if (in->GetActiveSize(1).height == 0) {
        m_viewFrame.SetActiveSize(0, w.width, w.height);
        m_viewFrame.SetActiveSize(1, w.width, 0);
    } else {
        m_viewFrame.SetActiveSize(0, w.width, (w.height + 1) / 2);
        m_viewFrame.SetActiveSize(1, w.width, w.height / 2);
    }
    // The view is the incoming picture: as writable as that is.
    m_viewFrame.SetWritable(in->IsWritable());
    m_lastWindow = w;
    EndTiming();
    DeliverToChildren(&m_viewFrame);
}

void CCrop::ViewFrame::View(const VideoFrame* source, const CropWindow& window)
{
    const LONGLONG rows = window.top;
    PUCHAR y = source->GetPlane(0) + rows * source->GetStride(0) + window.left;
    PUCHAR u = source->GetPlane(1) + rows * source->GetStride(1) + window.left / 2;
    PUCHAR v = source->GetPlane(2) + rows * source->GetStride(2) + window.left / 2;
    SetPlanes(y, source->GetStride(0), u, source->GetStride(1), v, source->GetStride(2));
    // Rows of exactly the window's width: a row width rounded up would reach past the picture.
    SetGeometry(static_cast<ULONG>(window.width), static_cast<ULONG>(window.height), window.width, window.height);
    SetBytesPerPixel(2);
}
