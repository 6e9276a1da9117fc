// The board's pins as a capture program reaches them: the filter fixture's machine and board, plus
// the pin-set requests (a pin's data ranges, the intersection of caller ranges with them) and the
// settings a test seeds under the board's key before it opens a filter.
#pragma once
#include "../filters/FilterFixture.h"

#include "shared/ksaudiorecords.h"
#include "shared/kspinrecords.h"
#include "shared/ksvideorecords.h"

#include <cstdio>
#include <string>
#include <vector>

namespace pintest {

using filtertest::Result;

inline const std::u16string kVideo = u"Talvexon HD Video Device 1";
inline const std::u16string kAudio1 = u"SDI Audio 1 (Talvexon HD 1)";

inline constexpr ULONG kCapturePin = 1;
inline constexpr ULONG kPreviewPin = 2;
inline constexpr ULONG kVbiPin = 3;

// A pin-set request about pin `pinId`, followed by `extra` bytes (the caller's ranges).
inline std::vector<UCHAR> PinRequest(ULONG id, ULONG pinId, const std::vector<UCHAR>& extra = {})
{
    KSP_PIN request{};
    request.Property.Set = KSPROPSETID_Pin;
    request.Property.Id = id;
    request.Property.Flags = KSPROPERTY_TYPE_GET;
    request.PinId = pinId;
    std::vector<UCHAR> bytes(sizeof(request));
    std::memcpy(bytes.data(), &request, sizeof(request));
    bytes.insert(bytes.end(), extra.begin(), extra.end());
    return bytes;
}

inline Result SendPinRequest(HANDLE filter, std::vector<UCHAR>& request, std::vector<UCHAR>& data)
{
    DWORD bytes = 0;
    const BOOL ok = DeviceIoControl(filter, IOCTL_KS_PROPERTY, request.data(), static_cast<DWORD>(request.size()),
                                    data.empty() ? nullptr : data.data(), static_cast<DWORD>(data.size()), &bytes,
                                    nullptr);
    return {ok ? 0u : GetLastError(), bytes};
}

// The pin's data ranges as the pin set lists them, each as its own bytes.
inline std::vector<std::vector<UCHAR>> DataRanges(HANDLE filter, ULONG pinId)
{
    std::vector<UCHAR> request = PinRequest(KSPROPERTY_PIN_DATARANGES, pinId);
    std::vector<UCHAR> data(16384);
    std::vector<std::vector<UCHAR>> ranges;
    const Result result = SendPinRequest(filter, request, data);
    if (result.error != 0 || result.bytes < sizeof(KSMULTIPLE_ITEM))
        return ranges;
    KSMULTIPLE_ITEM list;
    std::memcpy(&list, data.data(), sizeof(list));
    size_t at = sizeof(list);
    for (ULONG i = 0; i < list.Count && at + sizeof(KSDATARANGE) <= result.bytes; ++i) {
        KSDATARANGE head;
        std::memcpy(&head, data.data() + at, sizeof(head));
        if (head.FormatSize > result.bytes - at)
            break;
        ranges.emplace_back(data.begin() + at, data.begin() + at + head.FormatSize);
        at += (head.FormatSize + 7) & ~size_t(7);
    }
    return ranges;
}

template <class T> T As(const std::vector<UCHAR>& bytes, size_t offset = 0)
{
    T value{};
    if (bytes.size() >= offset + sizeof(T))
        std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

// The .reg text of a binary value.
inline std::string HexValue(const void* data, size_t length)
{
    std::string text = "hex:";
    const auto* bytes = static_cast<const UCHAR*>(data);
    for (size_t i = 0; i < length; ++i) {
        char part[4];
        std::snprintf(part, sizeof(part), "%02x", bytes[i]);
        text += (i ? "," : "") + std::string(part);
    }
    return text;
}

inline std::string RegPath(const std::u16string& path)
{
    std::string narrow(path.begin(), path.end());
    narrow.replace(0, std::string("\\Registry\\Machine").size(), "HKEY_LOCAL_MACHINE");
    return narrow;
}

// A video-info format of the capture pin's ranges: `subFormat` at `width` x `height`, `bitCount`
// bits, `compression`, `frameTime` 100-ns units a frame.
inline KS_DATAFORMAT_VIDEOINFOHEADER VideoInfoFormat(const GUID& subFormat, LONG width, LONG height, USHORT bitCount,
                                                     ULONG compression, LONGLONG frameTime)
{
    KS_DATAFORMAT_VIDEOINFOHEADER format{};
    format.DataFormat.FormatSize = sizeof(format);
    format.DataFormat.MajorFormat = KSDATAFORMAT_TYPE_VIDEO;
    format.DataFormat.SubFormat = subFormat;
    format.DataFormat.Specifier = KSDATAFORMAT_SPECIFIER_VIDEOINFO;
    format.DataFormat.SampleSize = static_cast<ULONG>(width * height * bitCount / 8);
    format.VideoInfoHeader.AvgTimePerFrame = frameTime;
    KS_BITMAPINFOHEADER& bitmap = format.VideoInfoHeader.bmiHeader;
    bitmap.biSize = sizeof(bitmap);
    bitmap.biWidth = width;
    bitmap.biHeight = height;
    bitmap.biPlanes = 1;
    bitmap.biBitCount = bitCount;
    bitmap.biCompression = compression;
    bitmap.biSizeImage = format.DataFormat.SampleSize;
    return format;
}

class PinTest : public filtertest::FilterTest {
protected:
    // Writes values (.reg lines) under the board's driver key; filters opened later load them.
    void SeedDeviceKey(board::CaptureBoard& board, const std::string& lines)
    {
        Import("[" + RegPath(DriverKey(board)) + "]\r\n" + lines);
    }
    using FilterTest::Open;
};

} // namespace pintest
