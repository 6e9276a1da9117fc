// The board's pins as a capture program reaches them: the filter fixture's machine and board, plus
// the pin-set requests (a pin's data ranges, the intersection of caller ranges with them) and the
// settings a test seeds under the board's key before it opens a filter.
#pragma once
#include "../filters/FilterFixture.h"

#include "platform/Clock.h"
#include "shared/ksaudiorecords.h"
#include "shared/kspinrecords.h"
#include "shared/ksvideorecords.h"
#include "shared/ksvidcaprecords.h"
#include "um/ks.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace pintest {

using filtertest::Result;
using filtertest::Win32Of;

inline const std::u16string kVideo = u"Talvexon HD Video Device 1";
inline const std::u16string kAudio1 = u"SDI Audio 1 (Talvexon HD 1)";

inline constexpr ULONG kCapturePin = 1;
inline constexpr ULONG kPreviewPin = 2;
inline constexpr ULONG kVbiPin = 3;
// A video stream header: the header and its KS_FRAME_INFO.
inline constexpr ULONG kVideoHeaderBytes = 112;

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
    const BOOL ok = DeviceIoControl(filter, IOCTL_KS_PROPERTY, request.data(),
                                    static_cast<DWORD>(request.size()), data.empty() ? nullptr : data.data(),
                                    static_cast<DWORD>(data.size()), &bytes, nullptr);
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
inline KS_DATAFORMAT_VIDEOINFOHEADER VideoInfoFormat(const GUID& subFormat, LONG width, LONG height,
                                                     USHORT bitCount, ULONG compression, LONGLONG frameTime)
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

// A pin as a capture program holds it: created on a filter with a format, its state set, its
// properties asked, and client buffers read in batches (one read request carrying several frames,
// so that they complete in order).
class PinClient {
public:
    PinClient() = default;
    PinClient(const PinClient&) = delete;
    PinClient& operator=(const PinClient&) = delete;
    ~PinClient() { Close(); }

    // KsCreatePin's result (0 on success).
    DWORD Create(HANDLE filter, ULONG pinId, const void* format, size_t formatBytes)
    {
        return standin::KsCreateStandardPin(filter, pinId, format, formatBytes, &pin_);
    }
    HANDLE Handle() const { return pin_; }
    void Close()
    {
        if (pin_ != nullptr) {
            CloseHandle(pin_);
            pin_ = nullptr;
        }
        for (auto& batch : batches_)
            if (batch->thread.joinable())
                batch->thread.join();
    }
    // A property of the pin: `data` is both the request's tail and the answer.
    DWORD Property(const GUID& set, ULONG id, ULONG flags, void* data, DWORD length, DWORD* bytes = nullptr)
    {
        KSPROPERTY property{};
        property.Set = set;
        property.Id = id;
        property.Flags = flags;
        DWORD returned = 0;
        const BOOL ok = DeviceIoControl(pin_, IOCTL_KS_PROPERTY, &property, sizeof(property), data, length,
                                        &returned, nullptr);
        if (bytes != nullptr)
            *bytes = returned;
        return ok ? 0u : GetLastError();
    }
    DWORD SetState(KSSTATE state)
    {
        return Property(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE, KSPROPERTY_TYPE_SET, &state,
                        sizeof(state));
    }
    // Stepped one state at a time, as a graph does.
    DWORD StepTo(KSSTATE from, KSSTATE to)
    {
        const int step = to > from ? 1 : -1;
        for (int state = int(from) + step; state != int(to) + step; state += step)
            if (const DWORD error = SetState(static_cast<KSSTATE>(state)))
                return error;
        return 0;
    }
    KSALLOCATOR_FRAMING_EX Framing()
    {
        KSALLOCATOR_FRAMING_EX framing{};
        Property(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_ALLOCATORFRAMING_EX, KSPROPERTY_TYPE_GET,
                 &framing, sizeof(framing));
        return framing;
    }

    struct Batch {
        std::vector<std::vector<UCHAR>> buffers;
        std::vector<uint32_t> cookies;
        std::vector<UCHAR> headers;
        ULONG headerSize = 0;
        std::thread thread;
        std::atomic<bool> done{false};
        DWORD error = 0; // the read's Win32 error (0: it succeeded); read once done
        ~Batch()
        {
            for (uint32_t cookie : cookies)
                standin::KsUnregisterStreamBuffer(cookie);
        }
        KSSTREAM_HEADER Header(size_t i) const { return As<KSSTREAM_HEADER>(headers, i * headerSize); }
        KS_FRAME_INFO FrameInfo(size_t i) const
        {
            return As<KS_FRAME_INFO>(headers, i * headerSize + sizeof(KSSTREAM_HEADER));
        }
    };
    // Sends `count` buffers of `length` bytes in one read request.
    Batch& Read(size_t count, ULONG length, ULONG headerSize)
    {
        Batch& batch = *batches_.emplace_back(std::make_unique<Batch>());
        batch.headerSize = headerSize;
        batch.buffers.assign(count, std::vector<UCHAR>(length, 0));
        batch.headers.assign(size_t(headerSize) * count, 0);
        for (size_t i = 0; i < count; ++i) {
            batch.cookies.push_back(standin::KsRegisterStreamBuffer(batch.buffers[i].data(), length));
            KSSTREAM_HEADER header{};
            header.Size = headerSize;
            header.Data = batch.cookies.back();
            header.FrameExtent = length;
            std::memcpy(batch.headers.data() + i * headerSize, &header, sizeof(header));
        }
        HANDLE pin = pin_;
        Batch* record = &batch;
        batch.thread = std::thread([record, pin] {
            DWORD bytes = 0;
            const BOOL ok = DeviceIoControl(pin, IOCTL_KS_READ_STREAM, nullptr, 0, record->headers.data(),
                                            DWORD(record->headers.size()), &bytes, nullptr);
            record->error = ok ? 0u : GetLastError();
            record->done = true;
        });
        return batch;
    }
    // Waits (testsupport::WaitUntil: a board that never delivers ends the test) for the batch.
    static bool WaitDone(Batch& batch)
    {
        if (!testsupport::WaitUntil([&] { return batch.done.load(); }))
            return false;
        batch.thread.join();
        return true;
    }

private:
    HANDLE pin_ = nullptr;
    std::vector<std::unique_ptr<Batch>> batches_;
};

// The caller's list of ranges for a DATAINTERSECTION request.
inline std::vector<UCHAR> RangeList(const std::vector<std::vector<UCHAR>>& ranges)
{
    std::vector<UCHAR> list(sizeof(KSMULTIPLE_ITEM));
    for (const auto& range : ranges) {
        list.insert(list.end(), range.begin(), range.end());
        list.resize((list.size() + 7) & ~size_t(7));
    }
    KSMULTIPLE_ITEM head{static_cast<uint32_t>(list.size()), static_cast<uint32_t>(ranges.size())};
    std::memcpy(list.data(), &head, sizeof(head));
    return list;
}

// The intersection of `callerRanges` with the pin's, into a buffer of `bufferBytes`.
inline Result Intersect(HANDLE filter, ULONG pinId, const std::vector<std::vector<UCHAR>>& callerRanges,
                        size_t bufferBytes, std::vector<UCHAR>* answer)
{
    std::vector<UCHAR> request = PinRequest(KSPROPERTY_PIN_DATAINTERSECTION, pinId, RangeList(callerRanges));
    answer->assign(bufferBytes, 0);
    return SendPinRequest(filter, request, *answer);
}

class PinTest : public filtertest::FilterTest {
protected:
    // Once the board is up the machine's clock runs at its own pace: the start's fixed pauses pass
    // quicker, but a DSP command's time-out (four seconds of machine time) must stay longer than a
    // build slowed by the sanitizers takes to answer while frames flow.
    board::CaptureBoard& Start(const std::string& parameters = {}, board::BoardConfiguration configuration = {})
    {
        board::CaptureBoard& board = FilterTest::Start(parameters, configuration);
        platform::Clock::SetSpeedFactor(1.0);
        return board;
    }
    // Writes values (.reg lines) under the board's driver key; filters opened later load them.
    void SeedDeviceKey(board::CaptureBoard& board, const std::string& lines)
    {
        Import("[" + RegPath(DriverKey(board)) + "]\r\n" + lines);
    }
    using FilterTest::Open;
};

} // namespace pintest
