// The test reader of a capture pin (see KsStreamReader.h).
#include "KsStreamReader.h"

#include "km/fileobject.h"
#include "km/ksstream.h"
#include "standin/devicefile.h"
#include "standin/ks.h"
#include "shared/ksstreamrecords.h"

#include <cstring>

namespace kstest {

VideoRange StreamFormat(uint32_t width, int32_t height, uint64_t period)
{
    VideoRange format = CaptureRange(0);
    format.info.width = width;
    format.info.height = height;
    format.info.sizeImage = width * uint32_t(height) * format.info.bitCount / 8;
    format.info.avgTimePerFrame = period;
    return format;
}

KsStreamReader::~KsStreamReader()
{
    Close();
    for (auto& read : reads_) {
        if (read->thread.joinable())
            read->thread.join();
    }
    for (Buffer& buffer : buffers_)
        standin::KsUnregisterStreamBuffer(buffer.cookie);
}

DWORD KsStreamReader::Open(const VideoRange& format)
{
    return standin::KsCreateStandardPin(filter_, 0, &format, sizeof format, &pin_);
}

void KsStreamReader::Close()
{
    if (pin_) {
        CloseHandle(pin_);
        pin_ = nullptr;
    }
}

DWORD KsStreamReader::Property(const GUID& set, ULONG id, ULONG flags, void* data, DWORD length)
{
    KSPROPERTY property{};
    property.Set = set;
    property.Id = id;
    property.Flags = flags;
    DWORD bytes = 0;
    if (DeviceIoControl(pin_, IOCTL_KS_PROPERTY, &property, sizeof property, data, length, &bytes, nullptr))
        return 0;
    return GetLastError();
}

DWORD KsStreamReader::SetState(KSSTATE state)
{
    return Property(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE, KSPROPERTY_TYPE_SET, &state, sizeof state);
}

DWORD KsStreamReader::SetMasterClock(HANDLE clock)
{
    uint32_t value = uint32_t(reinterpret_cast<uintptr_t>(clock));
    return Property(KSPROPSETID_Stream, KSPROPERTY_STREAM_MASTERCLOCK, KSPROPERTY_TYPE_SET, &value, sizeof value);
}

DWORD KsStreamReader::SetHold(ULONG mode)
{
    return Property(kPinPropertySet, kHeldFrames, KSPROPERTY_TYPE_SET, &mode, sizeof mode);
}

ULONG KsStreamReader::HeldFrames()
{
    ULONG count = ~0u;
    Property(kPinPropertySet, kHeldFrames, KSPROPERTY_TYPE_GET, &count, sizeof count);
    return count;
}

KsStreamReader::Buffer& KsStreamReader::AddBuffer(uint32_t length)
{
    Buffer& buffer = buffers_.emplace_back();
    buffer.bytes.assign(length + kGuardBytes, 0);
    std::memset(buffer.bytes.data() + length, kGuard, kGuardBytes);
    buffer.length = length;
    buffer.cookie = standin::KsRegisterStreamBuffer(buffer.bytes.data(), length);
    return buffer;
}

std::vector<UCHAR> KsStreamReader::Headers(uint32_t headerSize, const std::vector<const Buffer*>& buffers,
                                           const std::vector<uint32_t>& extents)
{
    std::vector<UCHAR> headers(size_t(headerSize) * buffers.size(), 0);
    for (size_t i = 0; i < buffers.size(); ++i) {
        KSSTREAM_HEADER header{};
        header.Size = headerSize;
        header.Data = buffers[i] ? buffers[i]->cookie : 0;
        header.FrameExtent = buffers[i] ? extents[i] : 0;
        std::memcpy(headers.data() + i * headerSize, &header, sizeof header);
    }
    return headers;
}

KsStreamReader::Read& KsStreamReader::Submit(std::vector<UCHAR> headers)
{
    Read& read = *reads_.emplace_back(std::make_unique<Read>());
    read.headers = std::move(headers);
    HANDLE pin = pin_;
    read.thread = std::thread([&read, pin] {
        read.result = DeviceIoControl(pin, IOCTL_KS_READ_STREAM, nullptr, 0, read.headers.data(),
                                      DWORD(read.headers.size()), &read.bytes, nullptr);
        read.error = read.result ? 0 : GetLastError();
        read.done = true;
    });
    return read;
}

DWORD KsStreamReader::Send(std::vector<UCHAR>& headers)
{
    DWORD bytes = 0;
    if (DeviceIoControl(pin_, IOCTL_KS_READ_STREAM, nullptr, 0, headers.data(), DWORD(headers.size()), &bytes,
                        nullptr))
        return 0;
    return GetLastError();
}

size_t KsStreamReader::Pending() const
{
    PFILE_OBJECT file = nullptr;
    if (!NT_SUCCESS(standin::ReferenceDeviceFile(pin_, UserMode, &file)))
        return 0;
    const size_t count = standin::PendingRequestCount(file);
    ObDereferenceObject(file);
    return count;
}

size_t KsStreamReader::Queued()
{
    std::lock_guard<std::mutex> hold(kstest::Pin().lock);
    return kstest::Pin().openPin ? standin::KsPinQueuedFrameCount(kstest::Pin().openPin) : 0;
}

bool KsStreamReader::GuardIntact(const Buffer& buffer)
{
    for (size_t i = 0; i < kGuardBytes; ++i) {
        if (buffer.bytes[buffer.length + i] != kGuard)
            return false;
    }
    return true;
}

} // namespace kstest
