// Reading a kernel pin's frames into a graph's samples.
#include "ksproxy/KsPinReader.h"

#include "devices/DeviceControl.h"
#include "um/ioapiset.h"
#include "um/ks.h"

#include <chrono>
#include <cstring>

namespace ksproxy {

KsPinReader::KsPinReader(dshow::OutputPin* pin, dshow::Filter* filter, HANDLE kernelPin, uint32_t headerSize,
                         int threads)
    : pin_(pin), filter_(filter), kernelPin_(kernelPin), headerSize_(headerSize)
{
    for (int i = 0; i < threads; ++i)
        threads_.emplace_back([this] { Read(); });
}

KsPinReader::~KsPinReader()
{
    Stop();
}

void KsPinReader::Stop()
{
    std::unique_lock<std::mutex> hold(lock_);
    stopping_ = true;
    changed_.notify_all();
    // A thread may be about to send its read when the cancel goes out: cancel again until all ended.
    while (ended_ < int(threads_.size())) {
        hold.unlock();
        CancelIoEx(kernelPin_, nullptr);
        hold.lock();
        changed_.wait_for(hold, std::chrono::milliseconds(1), [this] { return ended_ == int(threads_.size()); });
    }
    hold.unlock();
    for (std::thread& thread : threads_)
        if (thread.joinable())
            thread.join();
}

void KsPinReader::Read()
{
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (stopping_)
                break;
        }
        IMediaSample* sample = nullptr;
        if (FAILED(pin_->GetDeliveryBuffer(&sample, 0)))
            break;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        const LONG size = sample->GetSize();
        const uint32_t cookie = standin::KsRegisterStreamBuffer(data, uint32_t(size));
        if (!cookie) {
            sample->Release();
            break;
        }
        std::vector<BYTE> header(headerSize_, 0);
        KSSTREAM_HEADER head{};
        head.Size = headerSize_;
        head.FrameExtent = uint32_t(size);
        head.Data = cookie;
        std::memcpy(header.data(), &head, sizeof head);
        if (headerSize_ > sizeof head) {
            const uint32_t extended = headerSize_ - uint32_t(sizeof head);
            std::memcpy(header.data() + sizeof head, &extended, sizeof extended);
        }
        uint64_t ticket = 0;
        {
            std::unique_lock<std::mutex> hold(lock_);
            changed_.wait(hold, [this] { return !sending_ || stopping_; });
            if (stopping_) {
                hold.unlock();
                standin::KsUnregisterStreamBuffer(cookie);
                sample->Release();
                break;
            }
            sending_ = true;
            ticket = nextTicket_++;
        }
        bool taken = false;
        auto dispatched = [&] {
            std::lock_guard<std::mutex> hold(lock_);
            taken = true;
            sending_ = false;
            changed_.notify_all();
        };
        DWORD bytes = 0;
        const BOOL read = user::DeviceControl(kernelPin_, IOCTL_KS_READ_STREAM, nullptr, 0, header.data(),
                                              headerSize_, &bytes, dispatched);
        standin::KsUnregisterStreamBuffer(cookie);
        bool delivered = true;
        {
            std::unique_lock<std::mutex> hold(lock_);
            if (!taken) {
                sending_ = false;
                changed_.notify_all();
            }
            changed_.wait(hold, [&] { return nextDelivery_ == ticket; });
            const bool deliver = read && !stopping_;
            hold.unlock();
            delivered = deliver && Deliver(sample, header, bytes);
            hold.lock();
            ++nextDelivery_;
            changed_.notify_all();
        }
        sample->Release();
        if (!delivered)
            break;
    }
    std::lock_guard<std::mutex> hold(lock_);
    ++ended_;
    changed_.notify_all();
}

bool KsPinReader::Deliver(IMediaSample* sample, const std::vector<BYTE>& header, DWORD bytes)
{
    if (bytes < sizeof(KSSTREAM_HEADER))
        return false;
    KSSTREAM_HEADER head;
    std::memcpy(&head, header.data(), sizeof head);
    const LONG used = LONG(std::min<uint32_t>(head.DataUsed, uint32_t(sample->GetSize())));
    sample->SetActualDataLength(used);
    if (head.OptionsFlags & KSSTREAM_HEADER_OPTIONSF_TIMEVALID) {
        const int64_t numerator = head.PresentationTime.Numerator ? head.PresentationTime.Numerator : 1;
        const int64_t denominator = head.PresentationTime.Denominator ? head.PresentationTime.Denominator : 1;
        REFERENCE_TIME start = head.PresentationTime.Time * numerator / denominator - filter_->StreamStart();
        REFERENCE_TIME end = start + head.Duration;
        sample->SetTime(&start, (head.OptionsFlags & KSSTREAM_HEADER_OPTIONSF_DURATIONVALID) ? &end : nullptr);
    } else {
        sample->SetTime(nullptr, nullptr);
    }
    bool discontinuity = (head.OptionsFlags & KSSTREAM_HEADER_OPTIONSF_DATADISCONTINUITY) != 0;
    {
        std::lock_guard<std::mutex> hold(lock_);
        discontinuity = discontinuity || first_;
        first_ = false;
    }
    sample->SetDiscontinuity(discontinuity ? TRUE : FALSE);
    sample->SetSyncPoint(TRUE);
    sample->SetPreroll(FALSE);
    return SUCCEEDED(pin_->Deliver(sample));
}

} // namespace ksproxy
