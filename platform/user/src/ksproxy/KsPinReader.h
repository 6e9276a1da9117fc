// The reading threads of a running proxy output pin: as many as the connection has buffers, each
// keeping one IOCTL_KS_READ_STREAM outstanding on the kernel pin with a sample of the allocator as its
// frame. The reads are sent one after another, each once the driver has taken the previous one, and
// their samples go downstream in that order: the order the driver fills them.
#pragma once
#include "dshow/OutputPin.h"
#include "dshow/Filter.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace ksproxy {

class KsPinReader {
public:
    // `headerSize`: 48 bytes, or with the extended video (112) or VBI (136) frame information.
    KsPinReader(dshow::OutputPin* pin, dshow::Filter* filter, HANDLE kernelPin, uint32_t headerSize, int threads);
    ~KsPinReader();
    KsPinReader(const KsPinReader&) = delete;
    KsPinReader& operator=(const KsPinReader&) = delete;

    // Cancels the outstanding reads (CancelIoEx) until every thread has ended, and joins them.
    void Stop();

private:
    void Read();
    bool Deliver(IMediaSample* sample, const std::vector<BYTE>& header, DWORD bytes);

    dshow::OutputPin* const pin_;
    dshow::Filter* const filter_;
    const HANDLE kernelPin_;
    const uint32_t headerSize_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool sending_ = false;    // a read is on its way to the driver
    uint64_t nextTicket_ = 0; // the order reads were taken by the driver
    uint64_t nextDelivery_ = 0;
    bool first_ = true;
    int ended_ = 0;
    std::vector<std::thread> threads_;
};

} // namespace ksproxy
