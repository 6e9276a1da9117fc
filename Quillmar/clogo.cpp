// CLogo: the logo (watermark) step.
#include "clogo.h"

#include "imaging/imaging.h"
#include "kernel/kernelfile.h"
#include "kernel/poolallocation.h"
#include "kernel/unicodetext.h"
#include "planework.h"
#include "roundtoint.h"
#include "stepframes.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videoframe.h"

#include "km/access.h"
#include "km/file.h"
#include "km/status.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr WCHAR kDosDevicesPrefix[] = u"\\DosDevices\\";
constexpr size_t kFileNameCharacters = sizeof(LogoSettings::fileName) / sizeof(WCHAR);

// A logo file opened through KernelFile as the reader's byte source.
class KernelFileSource : public BitmapByteSource {
public:
    explicit KernelFileSource(KernelFile& file) : m_file(file) {}
    bool QuerySize(ULONGLONG* size) override
    {
        FILE_STANDARD_INFORMATION info{};
        if (!NT_SUCCESS(m_file.QueryStandardInfo(&info)) || info.EndOfFile.QuadPart < 0)
            return false;
        *size = static_cast<ULONGLONG>(info.EndOfFile.QuadPart);
        return true;
    }
    bool ReadAt(ULONGLONG offset, void* buffer, ULONG length) override
    {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        ULONG transferred = 0;
        return NT_SUCCESS(m_file.Read(buffer, length, &transferred, &at)) && transferred == length;
    }

private:
    KernelFile& m_file;
};

UCHAR ClampSample(int value)
{
    return static_cast<UCHAR>(std::clamp(value, 0, 255));
}

size_t NameLength(const WCHAR* name)
{
    size_t n = 0;
    while (n < kFileNameCharacters && name[n] != 0)
        ++n;
    return n;
}

bool SameName(const WCHAR* a, const WCHAR* b)
{
    const size_t length = NameLength(a);
    return length == NameLength(b) && std::memcmp(a, b, length * sizeof(WCHAR)) == 0;
}

// Multiplies every sample of `rows` rows of `width` samples by `factor`, rounded.
void ScaleSamples(UCHAR* plane, LONG stride, LONG width, LONG rows, double factor)
{
    for (LONG r = 0; r < rows; ++r) {
        UCHAR* row = plane + static_cast<ptrdiff_t>(r) * stride;
        for (LONG x = 0; x < width; ++x)
            row[x] = ClampSample(RoundToInt(row[x] * factor));
    }
}

// frame := blend[frame][logo] over width x rows samples; with a mask only where it is set.
void BlendSamples(UCHAR* frame, LONG frameStride, const UCHAR* logo, LONG logoStride, const UCHAR* mask,
                  LONG maskStride, LONG width, LONG rows, const UCHAR* blend)
{
    for (LONG r = 0; r < rows; ++r) {
        UCHAR* out = frame + static_cast<ptrdiff_t>(r) * frameStride;
        const UCHAR* in = logo + static_cast<ptrdiff_t>(r) * logoStride;
        const UCHAR* keep = mask ? mask + static_cast<ptrdiff_t>(r) * maskStride : nullptr;
        for (LONG x = 0; x < width; ++x) {
            if (keep && keep[x] == 0)
                continue;
            out[x] = blend[(size_t(out[x]) << 8) | in[x]];
        }
    }
}

} // namespace

CLogo::CLogo() : Algorithm(kAlgorithmIdLogo)
{
    TRACE_SCOPE(this, "CLogo::CLogo", kTraceLowEnter);
}

CLogo::~CLogo()
{
    TRACE_SCOPE(this, "CLogo::~CLogo", kTraceLowEnter);
    ReleaseSized();
    ReleaseLogo();
}

void CLogo::ReleaseLogo()
{
    delete m_logoFrame;
    delete m_maskFrame;
    m_logoFrame = nullptr;
    m_maskFrame = nullptr;
    m_loaded = false;
}

void CLogo::ReleaseSized()
{
    FreePool(m_blendTable);
    m_blendTable = nullptr;
    delete m_sizedLogo;
    delete m_sizedMask;
    m_sizedLogo = nullptr;
    m_sizedMask = nullptr;
    m_placedTop = m_placedLeft = m_placedWidth = m_placedHeight = 0;
}

LONG CLogo::TransparencyPercent() const
{
    return std::clamp<LONG>(m_settings.transparencyPercent, 0, 100);
}

void CLogo::InitLogo()
{
    TRACE_SCOPE(this, "CLogo::InitLogo", kTraceLowEnter);
    ReleaseSized();
    ReleaseLogo();
    m_placedForWidth = m_placedForHeight = 0;
    m_settings.fileName[kFileNameCharacters - 1] = 0;
    if (m_settings.fileName[0] != 0) {
        UnicodeText wide(m_settings.fileName, PagedPool);
        char narrow[kFileNameCharacters];
        if (wide.Get()->Buffer && NT_SUCCESS(wide.ToAnsi(narrow, sizeof(narrow))))
            ReadBmpLogo(narrow);
    }
    m_savedSettings = m_settings;
}

bool CLogo::ReadBmpLogo(const char* name)
{
    TRACE_SCOPE(this, "CLogo::ReadBmpLogo", kTraceLowEnter);
    ReleaseSized();
    ReleaseLogo();
    // A new logo is placed again at the next frame, whatever its size.
    m_placedForWidth = m_placedForHeight = 0;
    if (!name || !*name)
        return false;
    UnicodeText wideName;
    if (!NT_SUCCESS(wideName.FromAnsi(name, PagedPool)))
        return false;
    // "\DosDevices\" + the name, terminated.
    const size_t prefix = sizeof(kDosDevicesPrefix) / sizeof(WCHAR) - 1;
    const size_t characters = wideName.Get()->Length / sizeof(WCHAR);
    auto* path = static_cast<WCHAR*>(AllocatePoolOfType((prefix + characters + 1) * sizeof(WCHAR), PagedPool));
    if (!path)
        return false;
    std::memcpy(path, kDosDevicesPrefix, prefix * sizeof(WCHAR));
    std::memcpy(path + prefix, wideName.Get()->Buffer, characters * sizeof(WCHAR));
    path[prefix + characters] = 0;
    TRACE_LINE(this, "CLogo::ReadBmpLogo", kTraceHighs, "Logo File name is [%ls]", path);

    KernelFile file;
    NTSTATUS status = file.Create(path, nullptr, GENERIC_READ | SYNCHRONIZE, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                                  FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, FILE_OPEN,
                                  FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, nullptr);
    FreePool(path);
    if (!NT_SUCCESS(status)) {
        TRACE_LINE(this, "CLogo::ReadBmpLogo", kTraceErrors, "Logo file could not be opened, status=0x%08x", status);
        return false;
    }
    KernelFileSource source(file);
    BmpLogoFile bitmap;
    status = bitmap.ReadHeaders(source);
    if (!NT_SUCCESS(status)) {
        TRACE_LINE(this, "CLogo::ReadBmpLogo", kTraceErrors, "Logo file headers could not be read, status=0x%08x",
                   status);
        return false;
    }
    m_fileHeader = bitmap.FileHeader();
    m_infoHeader = bitmap.InfoHeader();
    const BITMAPINFOHEADER& info = m_infoHeader;
    TRACE_LINE(this, "CLogo::ReadBmpLogo", kTraceHighs,
               "biSize=%d, biWidth=%d, biHeight=%d, biPlanes=%d, biBitCount=%d, biCompression=0x%08x, biSizeImage=0x%08x",
               info.biSize, info.biWidth, info.biHeight, info.biPlanes, info.biBitCount, info.biCompression,
               info.biSizeImage);
    bool widened = false;
    status = bitmap.ReadPicture(source, &widened);
    if (!NT_SUCCESS(status)) {
        TRACE_LINE(this, "CLogo::ReadBmpLogo", kTraceErrors, "Logo bitmap not taken, status=0x%08x", status);
        return false;
    }
    if (widened)
        TRACE_LINE(this, "CLogo::ReadBmpLogo", kTraceHighs, "Logo width of %d resized to %d", bitmap.FileWidth(),
                   bitmap.Width());
    if (!BuildLogoFrames(bitmap)) {
        TRACE_LINE(this, "CLogo::ReadBmpLogo", kTraceErrors, "No memory for the logo frames");
        ReleaseLogo();
        return false;
    }
    m_bitmapWidth = bitmap.Width();
    m_bitmapHeight = bitmap.Height();
    m_loaded = true;
    return true;
}

bool CLogo::BuildLogoFrames(const BmpLogoFile& bitmap)
{
    const LONG width = bitmap.Width();
    const LONG height = bitmap.Height();
    if (KeyColorOn()) {
        m_maskFrame = NewVideoFrame(width, height);
        if (!m_maskFrame)
            return false;
        m_maskFrame->Fill(0, 0, 0);
        // The key colour's bytes in memory: red, green, blue, as the picture's pixels.
        const UCHAR key[3] = {UCHAR(m_settings.keyColor & 0xFF), UCHAR((m_settings.keyColor >> 8) & 0xFF),
                              UCHAR((m_settings.keyColor >> 16) & 0xFF)};
        for (LONG r = 0; r < height; ++r) {
            const UCHAR* pixel = bitmap.Pixels() + static_cast<ptrdiff_t>(r) * bitmap.Stride();
            UCHAR* maskY = m_maskFrame->GetPlane(0) + static_cast<ptrdiff_t>(r) * m_maskFrame->GetStride(0);
            UCHAR* maskU = m_maskFrame->GetPlane(1) + static_cast<ptrdiff_t>(r) * m_maskFrame->GetStride(1);
            UCHAR* maskV = m_maskFrame->GetPlane(2) + static_cast<ptrdiff_t>(r) * m_maskFrame->GetStride(2);
            for (LONG x = 0; x < width; x += 2) {
                const bool first = std::memcmp(pixel + x * 3, key, 3) != 0;
                const bool second = std::memcmp(pixel + (x + 1) * 3, key, 3) != 0;
                maskY[x] = first ? 1 : 0;
                maskY[x + 1] = second ? 1 : 0;
                // A chroma pair is taken only when neither of its pixels is the key colour.
                maskU[x / 2] = maskV[x / 2] = (first && second) ? 1 : 0;
            }
        }
    }
    m_logoFrame = NewVideoFrame(width, height);
    if (!m_logoFrame)
        return false;
    m_logoFrame->FillBlack();
    uint8_t* const planes[3] = {m_logoFrame->GetPlane(0), m_logoFrame->GetPlane(1), m_logoFrame->GetPlane(2)};
    const int32_t strides[3] = {m_logoFrame->GetStride(0), m_logoFrame->GetStride(1), m_logoFrame->GetStride(2)};
    // The rows are top-down already: a positive step from the first.
    return ConvertRGB24ToPlanar422(bitmap.Pixels(), bitmap.Stride(), planes, strides, width, height) == StatusOk;
}

void CLogo::ResizeTheLogo(LONG height, LONG width)
{
    TRACE_SCOPE(this, "CLogo::ResizeTheLogo", kTraceLowEnter, "nHeight=%d, nWidth=%d", height, width);
    m_settings = m_savedSettings;
    ReleaseSized();
    m_placedForHeight = height;
    m_placedForWidth = width;
    if (!m_loaded || height < 2 || width < 2)
        return;
    // A reference size of 0 means the frame's own size.
    const double vertical = double(height) / double(m_settings.referenceHeight > 0 ? m_settings.referenceHeight : height);
    const double horizontal = double(width) / double(m_settings.referenceWidth > 0 ? m_settings.referenceWidth : width);
    LogoSettings& s = m_settings;
    if (s.top < 0)
        s.top = 0;
    if (s.bottom < 0)
        s.bottom = m_bitmapHeight;
    if (s.left < 0)
        s.left = 0;
    if (s.right < 0)
        s.right = m_bitmapWidth;
    // Edges far outside any frame are held where the arithmetic below cannot overflow.
    auto scaled = [](LONG edge, double factor) { return std::clamp<LONG>(RoundToInt(edge * factor - 0.05), 0, kEdgeLimit); };
    s.top = scaled(s.top, vertical);
    s.bottom = scaled(s.bottom, vertical);
    s.left = scaled(s.left, horizontal);
    s.right = scaled(s.right, horizontal);
    if (s.bottom - s.top < kMinimumSize)
        s.bottom = s.top + kMinimumSize;
    if (s.right - s.left < kMinimumSize)
        s.right = s.left + kMinimumSize;
    // Keep inside the frame: move up (left), then cut at the frame's edge.
    if (s.bottom > height) {
        const LONG logoHeight = s.bottom - s.top;
        s.top = std::max<LONG>(height - logoHeight, 0);
        s.bottom = std::min<LONG>(s.top + logoHeight, height);
    }
    if (s.right > width) {
        const LONG logoWidth = s.right - s.left;
        s.left = std::max<LONG>(width - logoWidth, 0);
        s.right = std::min<LONG>(s.left + logoWidth, width);
    }
    LONG placedWidth = (s.right - s.left + 15) / 16 * 16;
    const LONG placedHeight = (s.bottom - s.top) / 2 * 2;
    // The rounding up may reach past the frame again: move left, and narrow when the frame is
    // narrower than the rounded width.
    LONG left = s.left;
    if (left + placedWidth > width) {
        left = width - placedWidth;
        if (left < 0) {
            left = 0;
            placedWidth = width;
        }
    }
    if (placedWidth < 2 || placedHeight < 2)
        return;

    TRACE_LINE(this, "CLogo::ResizeTheLogo", kTraceHighs, "Working on sized logo frame");
    m_sizedLogo = NewVideoFrame(placedWidth, placedHeight);
    if (!m_sizedLogo)
        return;
    if (m_logoFrame->IsSameSize(m_sizedLogo))
        m_sizedLogo->CopyFrame(m_logoFrame);
    else
        m_logoFrame->ScaleFrom(m_sizedLogo, 2);
    if (KeyColorOn() && m_maskFrame) {
        TRACE_LINE(this, "CLogo::ResizeTheLogo", kTraceHighs, "Working on sized masked frame");
        m_sizedMask = NewVideoFrame(placedWidth, placedHeight);
        if (!m_sizedMask) {
            ReleaseSized();
            return;
        }
        if (m_maskFrame->IsSameSize(m_sizedMask))
            m_sizedMask->CopyFrame(m_maskFrame);
        else
            m_maskFrame->ScaleFrom(m_sizedMask, 2);
    }
    const LONG percent = TransparencyPercent();
    if (percent > 0) {
        // Every blended sample is RoundToInt(frame x f + logo) of two bytes: the 65,536 results are
        // worked out here once, so that a frame costs one look-up a sample.
        m_blendTable = static_cast<UCHAR*>(AllocatePool(kBlendTableBytes));
        if (!m_blendTable) {
            ReleaseSized();
            return;
        }
        const double f = percent * 0.01;
        for (int frameSample = 0; frameSample < 256; ++frameSample)
            for (int logoSample = 0; logoSample < 256; ++logoSample)
                m_blendTable[(frameSample << 8) | logoSample] = ClampSample(RoundToInt(frameSample * f + logoSample));
        const double keep = 1.0 - percent / 100.0;
        ScaleSamples(m_sizedLogo->GetPlane(0), m_sizedLogo->GetStride(0), placedWidth, placedHeight, keep);
        ScaleSamples(m_sizedLogo->GetPlane(1), m_sizedLogo->GetStride(1), placedWidth / 2, placedHeight, keep);
        ScaleSamples(m_sizedLogo->GetPlane(2), m_sizedLogo->GetStride(2), placedWidth / 2, placedHeight, keep);
    }
    m_placedTop = s.top;
    m_placedLeft = left;
    m_placedWidth = placedWidth;
    m_placedHeight = placedHeight;
}

void CLogo::ApplyLogo(VideoFrame* frame)
{
    TRACE_SCOPE(this, "CLogo::ApplyLogo", kTraceLowEnter);
    if (!frame || !m_sizedLogo || !frame->GetPlane(0))
        return;
    const VideoFrame* logo = m_sizedLogo;
    const VideoFrame* mask = KeyColorOn() ? m_sizedMask : nullptr;
    if (KeyColorOn() && !mask)
        return;
    // The rectangle was placed for this frame size; stay inside whatever frame comes.
    const LONG top = m_placedTop;
    const LONG left = m_placedLeft;
    if (top >= frame->GetHeight() || left >= frame->GetWidth())
        return;
    const LONG width = std::min<LONG>(m_placedWidth, frame->GetWidth() - left);
    const LONG rows = std::min<LONG>(m_placedHeight, frame->GetHeight() - top);
    const LONG chromaWidth = width / 2;

    struct PlaneTask {
        UCHAR* frame;
        LONG frameStride;
        const UCHAR* logo;
        LONG logoStride;
        const UCHAR* mask;
        LONG maskStride;
        LONG width;
        const char* copyText;
        const char* maskedText;
    };
    PlaneTask planes[3];
    for (ULONG p = 0; p < 3; ++p) {
        const LONG column = p == 0 ? left : left / 2;
        // The U mask governs V as well.
        const ULONG maskPlane = p == 0 ? 0 : 1;
        planes[p] = {frame->GetPlane(p) + static_cast<ptrdiff_t>(top) * frame->GetStride(p) + column,
                     frame->GetStride(p),
                     logo->GetPlane(p),
                     logo->GetStride(p),
                     mask ? mask->GetPlane(maskPlane) : nullptr,
                     mask ? mask->GetStride(maskPlane) : 0,
                     p == 0 ? width : chromaWidth,
                     nullptr,
                     nullptr};
    }
    planes[0].copyText = "copy Y plane of logo image";
    planes[1].copyText = "copy U plane of logo image";
    planes[2].copyText = "copy V plane of logo image";
    planes[0].maskedText = "copy masked Y plane of logo image";
    planes[1].maskedText = "copy masked U plane of logo image";
    planes[2].maskedText = "copy masked V plane of logo image";

    const LONG percent = TransparencyPercent();
    if (percent < 1) {
        for (const PlaneTask& t : planes) {
            if (t.width < 1)
                continue;
            if (mask) {
                GuardedPlaneWork(this, "CLogo::ApplyLogo", t.maskedText, [&] {
                    CopyPlaneMasked(t.logo, t.logoStride, t.frame, t.frameStride, t.width, rows, t.mask, t.maskStride);
                });
            } else {
                GuardedPlaneWork(this, "CLogo::ApplyLogo", t.copyText,
                                 [&] { CopyPlaneRows(t.logo, t.logoStride, t.frame, t.frameStride, t.width, rows); });
            }
        }
        return;
    }
    if (!m_blendTable)
        return;
    GuardedPlaneWork(this, "CLogo::ApplyLogo", "apply transparency", [&] {
        for (const PlaneTask& t : planes)
            BlendSamples(t.frame, t.frameStride, t.logo, t.logoStride, t.mask, t.maskStride, t.width, rows,
                         m_blendTable);
    });
}

void CLogo::Process(Frame* frame)
{
    TRACE_SCOPE(this, "CLogo::Process", kTraceLowEnter);
    BeginTiming();
    auto* input = static_cast<VideoFrame*>(frame);
    Frame* output = frame;
    if (input && m_loaded) {
        // The placement follows the frame size, whether or not a work frame is needed.
        if (input->GetWidth() != m_placedForWidth || input->GetHeight() != m_placedForHeight)
            ResizeTheLogo(input->GetHeight(), input->GetWidth());
        if (m_sizedLogo) {
            if (VideoFrame* target = PrepareInPlaceFrame(input, true)) {
                ApplyLogo(target);
                output = target;
            }
        }
    }
    EndTiming();
    DeliverToChildren(output);
}

bool CLogo::IsEqual(const Algorithm* other) const
{
    if (!Algorithm::IsEqual(other))
        return false;
    const LogoSettings& a = m_savedSettings;
    const LogoSettings& b = static_cast<const CLogo*>(other)->m_savedSettings;
    return a.keyColorEnable == b.keyColorEnable && a.transparencyEnable == b.transparencyEnable &&
           SameName(a.fileName, b.fileName) && a.top == b.top && a.left == b.left && a.right == b.right &&
           a.bottom == b.bottom && a.width == b.width && a.height == b.height &&
           a.transparencyPercent == b.transparencyPercent && a.keyColor == b.keyColor && a.duration == b.duration &&
           a.referenceHeight == b.referenceHeight && a.referenceWidth == b.referenceWidth &&
           a.originationHeight == b.originationHeight && a.originationWidth == b.originationWidth;
}
