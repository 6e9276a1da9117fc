#include "videochainsettings.h"

#include "km/status.h"

#include <cstdint>
#include <cstring>

NTSTATUS VideoChainSettings::SetVideoFormat(const KSDATAFORMAT* format, ULONG length)
{
    if (format == nullptr)
        return STATUS_INVALID_PARAMETER;
    if (format->Specifier == KSDATAFORMAT_SPECIFIER_VIDEOINFO) {
        if (length < sizeof(KS_DATAFORMAT_VIDEOINFOHEADER))
            return STATUS_INVALID_PARAMETER;
        KS_VIDEOINFOHEADER info;
        std::memcpy(&info, reinterpret_cast<const UCHAR*>(format) + sizeof(KSDATAFORMAT), sizeof(info));
        SetVideoInfo(info);
        return STATUS_SUCCESS;
    }
    if (length < sizeof(KS_DATAFORMAT_VIDEOINFOHEADER2))
        return STATUS_INVALID_PARAMETER;
    KS_VIDEOINFOHEADER2 info;
    std::memcpy(&info, reinterpret_cast<const UCHAR*>(format) + sizeof(KSDATAFORMAT), sizeof(info));
    SetVideoInfo2(info);
    return STATUS_SUCCESS;
}

void VideoChainSettings::SetVideoInfo(const KS_VIDEOINFOHEADER& info)
{
    SetFormatFields(info.rcTarget, info.AvgTimePerFrame, info.bmiHeader);
}

void VideoChainSettings::SetVideoInfo2(const KS_VIDEOINFOHEADER2& info)
{
    SetFormatFields(info.rcTarget, info.AvgTimePerFrame, info.bmiHeader);
}

void VideoChainSettings::SetFormatFields(const KS_RECT32& target, LONGLONG frameTime, const KS_BITMAPINFOHEADER& header)
{
    bitmap = header;
    avgTimePerFrame = frameTime;
    // A bitmap height of INT_MIN has no magnitude in 32 bits: it counts as the largest one.
    auto magnitude = [](LONG value) { return value < 0 ? (value == INT32_MIN ? INT32_MAX : -value) : value; };
    // An empty target takes the bitmap's size; so does a reversed or overflowing one, which
    // SetDataFormat never lets through.
    auto extent = [](int32_t low, int32_t high) {
        const LONGLONG size = static_cast<LONGLONG>(high) - low;
        return size > 0 && size <= INT32_MAX ? static_cast<LONG>(size) : 0;
    };
    const LONG targetWidth = extent(target.left, target.right);
    const LONG targetHeight = extent(target.top, target.bottom);
    outputWidth = targetWidth != 0 ? targetWidth : magnitude(header.biWidth);
    outputHeight = targetHeight != 0 ? targetHeight : magnitude(header.biHeight);
}
