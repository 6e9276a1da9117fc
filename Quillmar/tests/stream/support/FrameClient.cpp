// The test application of the one-pin test filter (see FrameClient.h).
#include "FrameClient.h"

#include "StreamTestFilter.h"
#include "km/ksstream.h"
#include "standin/control.h"

namespace streamtest {

FrameClient::FrameClient(const std::u16string& filterPath)
{
    filter_ = CreateFileW(filterPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

FrameClient::~FrameClient()
{
    Close();
    for (auto& frame : frames_) {
        if (frame->thread.joinable())
            frame->thread.join();
        standin::KsUnregisterStreamBuffer(frame->cookie);
    }
    for (auto& batch : batches_) {
        if (batch->thread.joinable())
            batch->thread.join();
        for (uint32_t cookie : batch->cookies)
            standin::KsUnregisterStreamBuffer(cookie);
    }
    if (FilterOpen())
        CloseHandle(filter_);
}

DWORD FrameClient::Open(ULONG headerSize)
{
    const KSDATAFORMAT format = StreamTestRange();
    SetNextPinHeaderSize(headerSize);
    const DWORD error = standin::KsCreateStandardPin(filter_, 0, &format, sizeof format, &pin_);
    if (error == 0) {
        kspin_ = StreamTestOpenPin();
        headerSize_ = headerSize;
    }
    return error;
}

void FrameClient::Close()
{
    if (pin_ != nullptr) {
        CloseHandle(pin_);
        pin_ = nullptr;
        kspin_ = nullptr;
    }
}

DWORD FrameClient::Property(const GUID& set, ULONG id, ULONG flags, void* data, DWORD length)
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

DWORD FrameClient::SetState(KSSTATE state)
{
    return Property(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE, KSPROPERTY_TYPE_SET, &state, sizeof state);
}

size_t FrameClient::QueuedOnPin() const
{
    return kspin_ != nullptr ? standin::KsPinQueuedFrameCount(kspin_) : 0;
}

size_t FrameClient::Outstanding() const
{
    size_t count = 0;
    for (const auto& frame : frames_)
        count += frame->done.load() ? 0 : 1;
    for (const auto& batch : batches_)
        count += batch->done.load() ? 0 : batch->cookies.size();
    return count;
}

size_t FrameClient::QueueBatch(uint32_t length, size_t count)
{
    Batch& batch = *batches_.emplace_back(std::make_unique<Batch>());
    batch.buffers.assign(count, std::vector<UCHAR>(length, 0));
    batch.headers.assign(size_t(headerSize_) * count, 0);
    for (size_t i = 0; i < count; ++i) {
        batch.cookies.push_back(standin::KsRegisterStreamBuffer(batch.buffers[i].data(), length));
        KSSTREAM_HEADER header{};
        header.Size = headerSize_;
        header.Data = batch.cookies.back();
        header.FrameExtent = length;
        std::memcpy(batch.headers.data() + i * headerSize_, &header, sizeof header);
    }
    HANDLE pin = pin_;
    Batch* record = &batch;
    batch.thread = std::thread([record, pin] {
        DWORD bytes = 0;
        DeviceIoControl(pin, IOCTL_KS_READ_STREAM, nullptr, 0, record->headers.data(), DWORD(record->headers.size()),
                        &bytes, nullptr);
        record->done = true;
    });
    WaitFor([&] { return batch.done.load() || QueuedOnPin() >= Outstanding(); });
    return batches_.size() - 1;
}

bool FrameClient::WaitBatchDone(size_t batch)
{
    if (batch >= batches_.size())
        return false;
    return WaitFor([&] { return batches_[batch]->done.load(); });
}

KSSTREAM_HEADER FrameClient::BatchHeader(size_t batch, size_t frame) const
{
    KSSTREAM_HEADER header{};
    std::memcpy(&header, batches_[batch]->headers.data() + frame * headerSize_, sizeof header);
    return header;
}

KS_FRAME_INFO FrameClient::BatchFrameInfo(size_t batch, size_t frame) const
{
    KS_FRAME_INFO info{};
    std::memcpy(&info, batches_[batch]->headers.data() + frame * headerSize_ + sizeof(KSSTREAM_HEADER), sizeof info);
    return info;
}

FrameClient::ClientFrame& FrameClient::Queue(uint32_t length)
{
    ClientFrame& frame = *frames_.emplace_back(std::make_unique<ClientFrame>());
    frame.bytes.assign(length + kGuardBytes, 0);
    std::memset(frame.bytes.data() + length, kGuard, kGuardBytes);
    frame.length = length;
    frame.cookie = standin::KsRegisterStreamBuffer(frame.bytes.data(), length);
    frame.header.assign(headerSize_, 0);
    KSSTREAM_HEADER header{};
    header.Size = headerSize_;
    header.Data = frame.cookie;
    header.FrameExtent = length;
    std::memcpy(frame.header.data(), &header, sizeof header);
    HANDLE pin = pin_;
    ClientFrame* record = &frame;
    frame.thread = std::thread([record, pin] {
        DWORD bytes = 0;
        record->result = DeviceIoControl(pin, IOCTL_KS_READ_STREAM, nullptr, 0, record->header.data(),
                                         DWORD(record->header.size()), &bytes, nullptr);
        record->error = record->result ? 0 : GetLastError();
        record->done = true;
    });
    // The frame is the framework's (or refused) before the next one is sent.
    WaitFor([&] { return frame.done.load() || QueuedOnPin() >= Outstanding(); });
    return frame;
}

bool FrameClient::WaitDone(size_t index)
{
    if (index >= frames_.size())
        return false;
    return WaitFor([&] { return frames_[index]->done.load(); });
}

bool FrameClient::GuardIntact(size_t index) const
{
    const ClientFrame& frame = *frames_[index];
    for (size_t i = 0; i < kGuardBytes; ++i) {
        if (frame.bytes[frame.length + i] != kGuard)
            return false;
    }
    return true;
}

} // namespace streamtest
