// A sink for the tests of steps and chains: the leaf of a chain (algorithm id 1, so that a step's
// destructor leaves it alone) that records a copy of every frame it receives: its attributes, its
// geometry, whether it arrived writable, and its bytes (the three planes row by row for video
// frames, the buffer for others). It can also lend a buffer of a chosen size, as the real sink
// lends a client buffer through GetDestinationBuffer, and records whether each frame came lent.
#pragma once
#include "algorithm.h"
#include "frame.h"

#include <mutex>
#include <vector>

namespace streamtest {

class RecordingSink : public Algorithm {
public:
    struct Delivery {
        LONGLONG frameTime;
        ULONGLONG sequenceNumber;
        ULONG flags;
        ULONG frameInterval;
        LONG timeOffset;
        ULONG inputIdentifier;
        LONG width;
        LONG height;
        LONG format;
        ULONG dataSize;
        bool writable;
        bool lent; // written into the lent buffer
        USHORT captionWord[2];
        FrameFieldSize vbiSize[2];
        FrameFieldSize activeSize[2];
        // Video: the rows of Y, then U, then V (row-width bytes a luma row, half a chroma row).
        // Other frames: the first data-size bytes.
        std::vector<UCHAR> bytes;
        const Frame* frame; // the frame object itself (compare, never dereference later)
    };

    RecordingSink();
    ~RecordingSink() override;

    void Process(Frame* frame) override;
    // Lends the sink's own buffer (see SetLendBytes) when it holds bytesNeeded.
    bool GetDestinationBuffer(Frame* frame, ULONG bytesNeeded) override;

    // Bytes of the buffer GetDestinationBuffer lends; 0 (the default) lends nothing.
    void SetLendBytes(ULONG bytes);
    // Whether to copy the frames' bytes (on by default).
    void SetKeepBytes(bool keep) { keepBytes_ = keep; }

    // The deliveries so far. Read them from another thread than the one delivering only once the
    // deliveries have ended; Count may be read while they go on (a wait for a number of them).
    const std::vector<Delivery>& Deliveries() const { return deliveries_; }
    size_t Count() const
    {
        std::lock_guard<std::mutex> hold(lock_);
        return deliveries_.size();
    }
    void Clear()
    {
        std::lock_guard<std::mutex> hold(lock_);
        deliveries_.clear();
    }
    // The lent buffer's bytes as the step left them in the last lent delivery.
    const std::vector<UCHAR>& LentBuffer() const { return lendBuffer_; }
    int LendRequests() const { return lendRequests_; }

private:
    mutable std::mutex lock_; // over deliveries_ as it grows
    std::vector<Delivery> deliveries_;
    std::vector<UCHAR> lendBuffer_;
    bool keepBytes_ = true;
    bool lent_ = false;
    PUCHAR savedData_ = nullptr;
    ULONG savedSize_ = 0;
    int lendRequests_ = 0;
};

} // namespace streamtest
