// A small user-mode reader of a capture pin, as an application would drive one: it opens the pin on
// a filter handle with a format, sets its state, registers frame buffers (with guard bytes past the
// registered length), and sends IOCTL_KS_READ_STREAM requests of stream-header arrays. Each request
// is sent from a thread of its own, since DeviceIoControl waits until the request completes; the
// reader keeps each request's headers and outcome for the test to read back. Tests only.
#pragma once
#include "KsMinidriver.h"
#include "um/ks.h"
#include "um/windows.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <thread>
#include <vector>

namespace kstest {

// A video format of the capture pin's UYVY range at the given size and frame period.
VideoRange StreamFormat(uint32_t width, int32_t height, uint64_t period);

class KsStreamReader {
public:
    static constexpr UCHAR kGuard = 0xCD;
    static constexpr size_t kGuardBytes = 32;

    struct Buffer {
        std::vector<UCHAR> bytes; // registered length, then kGuardBytes guard bytes
        uint32_t length = 0;
        uint32_t cookie = 0;
    };
    struct Read {
        std::vector<UCHAR> headers; // written back by the framework when the request completes
        std::thread thread;
        std::atomic<bool> done{false};
        BOOL result = FALSE;
        DWORD error = 0;
        DWORD bytes = 0;
    };

    explicit KsStreamReader(HANDLE filter) : filter_(filter) {}
    ~KsStreamReader();
    KsStreamReader(const KsStreamReader&) = delete;
    KsStreamReader& operator=(const KsStreamReader&) = delete;

    // KsCreatePin's result.
    DWORD Open(const VideoRange& format);
    HANDLE Pin() const { return pin_; }
    // Closes the pin handle (pending requests are cancelled by the close).
    void Close();
    // The Win32 error of the KSPROPERTY_CONNECTION_STATE set (0 on success).
    DWORD SetState(KSSTATE state);
    // Sets the graph's master clock on the pin (the clock handle's 32-bit value).
    DWORD SetMasterClock(HANDLE clock);
    // The pin's held-frames item of the test set.
    DWORD SetHold(ULONG mode);
    ULONG HeldFrames();

    // A frame buffer of `length` registered bytes, zero-filled, followed by guard bytes.
    Buffer& AddBuffer(uint32_t length);
    // `count` headers of `headerSize` bytes, each naming one buffer with the given extent (Data 0 and
    // FrameExtent 0 for a NULL buffer).
    static std::vector<UCHAR> Headers(uint32_t headerSize, const std::vector<const Buffer*>& buffers,
                                      const std::vector<uint32_t>& extents);
    // Sends the header array from a new thread; the request's record.
    Read& Submit(std::vector<UCHAR> headers);
    // The same request sent on this thread (for requests refused at once): 0 or its Win32 error.
    DWORD Send(std::vector<UCHAR>& headers);
    // Requests pending on the pin handle now (sent, not yet finished; perhaps not yet queued).
    size_t Pending() const;
    // Frames queued on the pin now (accepted by the framework, not yet completed).
    static size_t Queued();
    // Waits (real time, bounded) until the condition holds; false on time-out.
    template <typename Condition>
    static bool WaitFor(Condition condition, int milliseconds = 10000)
    {
        for (int waited = 0; !condition(); ++waited) {
            if (waited >= milliseconds)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    bool WaitDone(Read& read) { return WaitFor([&] { return read.done.load(); }); }
    // The header at `offset` in a request's array.
    template <typename Header>
    static Header HeaderAt(const Read& read, size_t offset)
    {
        Header header;
        std::memcpy(&header, read.headers.data() + offset, sizeof header);
        return header;
    }
    // Whether the guard bytes past the buffer's registered length are intact.
    static bool GuardIntact(const Buffer& buffer);

private:
    DWORD Property(const GUID& set, ULONG id, ULONG flags, void* data, DWORD length);

    HANDLE filter_;
    HANDLE pin_ = nullptr;
    std::deque<Buffer> buffers_;
    std::deque<std::unique_ptr<Read>> reads_;
};

} // namespace kstest
