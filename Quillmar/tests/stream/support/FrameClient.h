// An application reading a capture pin of the one-pin test filter, as a capture program would: it
// opens the filter by its interface path, creates the pin with the header size the test chooses
// (112 bytes for video and audio, 136 for VBI), sets the pin's state, and queues client frames of
// chosen sizes, each followed by guard bytes, one IOCTL_KS_READ_STREAM request per frame. Queue
// returns once the framework holds the frame, so frames are filled in the order they were queued.
// The test then waits for a frame's completion and reads its header, extended header and data.
// DeviceIoControl waits for its request, so each request is sent from a thread of its own.
#pragma once
#include "um/ks.h"
#include "um/windows.h"
#include "km/kspin.h"
#include "shared/ksstreamrecords.h"
#include "testsupport/WaitUntil.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace streamtest {

class FrameClient {
public:
    static constexpr UCHAR kGuard = 0xCD;
    static constexpr size_t kGuardBytes = 64;

    struct ClientFrame {
        std::vector<UCHAR> bytes; // `length` registered bytes, then kGuardBytes guard bytes
        uint32_t length = 0;
        uint32_t cookie = 0;
        std::vector<UCHAR> header; // as sent; the framework writes the completed header back here
        std::thread thread;
        std::atomic<bool> done{false};
        BOOL result = FALSE;
        DWORD error = 0;
    };

    explicit FrameClient(const std::u16string& filterPath);
    // Closes the pin (pending frames are cancelled), waits for every request, forgets the buffers.
    ~FrameClient();
    FrameClient(const FrameClient&) = delete;
    FrameClient& operator=(const FrameClient&) = delete;

    bool FilterOpen() const { return filter_ != INVALID_HANDLE_VALUE && filter_ != nullptr; }
    // Creates the pin with the given stream-header size: KsCreatePin's result (0 on success).
    DWORD Open(ULONG headerSize = KS_VIDEO_STREAM_HEADER_SIZE);
    // The framework's pin behind the handle; null before Open.
    PKSPIN KsPin() const { return kspin_; }
    ULONG HeaderSize() const { return headerSize_; }
    // The Win32 error of the KSPROPERTY_CONNECTION_STATE set (0 on success).
    DWORD SetState(KSSTATE state);
    void Close();

    // A client frame of `length` bytes (zero-filled), queued on the pin; waits until the framework
    // holds it. Its index is the count of frames queued before it.
    ClientFrame& Queue(uint32_t length);
    size_t FrameCount() const { return frames_.size(); }
    ClientFrame& Frame(size_t index) { return *frames_[index]; }
    // Frames the framework holds now (queued, not completed).
    size_t QueuedOnPin() const;

    // `count` client frames of `length` bytes in one request (one header each); waits until the
    // framework holds them all. Returns the batch's index. The request completes when every frame
    // has.
    size_t QueueBatch(uint32_t length, size_t count);
    bool WaitBatchDone(size_t batch);
    KSSTREAM_HEADER BatchHeader(size_t batch, size_t frame) const;
    KS_FRAME_INFO BatchFrameInfo(size_t batch, size_t frame) const;

    // Waits (testsupport::WaitUntil) for frame `index` to complete; false on time-out.
    bool WaitDone(size_t index);
    bool Done(size_t index) const { return frames_[index]->done.load(); }
    // The completed header of frame `index` and its extended parts.
    KSSTREAM_HEADER Header(size_t index) const { return At<KSSTREAM_HEADER>(index, 0); }
    KS_FRAME_INFO FrameInfo(size_t index) const { return At<KS_FRAME_INFO>(index, sizeof(KSSTREAM_HEADER)); }
    KS_VBI_FRAME_INFO VbiFrameInfo(size_t index) const
    {
        return At<KS_VBI_FRAME_INFO>(index, sizeof(KSSTREAM_HEADER));
    }
    const UCHAR* Data(size_t index) const { return frames_[index]->bytes.data(); }
    bool GuardIntact(size_t index) const;

    // Waits (testsupport::WaitUntil) until the condition holds; false on time-out.
    template <typename Condition>
    static bool WaitFor(Condition condition)
    {
        return testsupport::WaitUntil(condition);
    }

private:
    template <typename Record>
    Record At(size_t index, size_t offset) const
    {
        Record record{};
        const auto& header = frames_[index]->header;
        if (header.size() >= offset + sizeof record)
            std::memcpy(&record, header.data() + offset, sizeof record);
        return record;
    }
    DWORD Property(const GUID& set, ULONG id, ULONG flags, void* data, DWORD length);
    size_t Outstanding() const;

    struct Batch {
        std::vector<std::vector<UCHAR>> buffers;
        std::vector<uint32_t> cookies;
        std::vector<UCHAR> headers;
        std::thread thread;
        std::atomic<bool> done{false};
    };

    HANDLE filter_ = INVALID_HANDLE_VALUE;
    std::deque<std::unique_ptr<Batch>> batches_;
    HANDLE pin_ = nullptr;
    PKSPIN kspin_ = nullptr;
    ULONG headerSize_ = 0;
    std::deque<std::unique_ptr<ClientFrame>> frames_;
};

} // namespace streamtest
