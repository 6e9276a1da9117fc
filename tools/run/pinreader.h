// PinReader: one capture pin as the main job reads it from user mode: made on its filter with
// KsCreatePin and a format, stepped from Stop to Run, then read by threads of its own, each keeping
// one IOCTL_KS_READ_STREAM request of one registered buffer outstanding, so that the pin always
// holds `kOutstanding` requests. Every completed buffer goes to the consumer (from the thread that
// read it; the consumer locks what it shares). Stop steps the pin back to Stop, which completes the
// outstanding requests, closes it and joins the threads.
#pragma once
#include "um/ks.h"
#include "um/windows.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace capture {

struct DeliveredBuffer {
    KSSTREAM_HEADER header{};
    KS_FRAME_INFO frameInfo{}; // of video pins whose header carries one (zeros otherwise)
    const uint8_t* data = nullptr;
    uint32_t dataUsed = 0;
};

class PinReader {
public:
    static constexpr int kOutstanding = 4;
    using Consumer = std::function<void(const DeliveredBuffer&)>;

    // `bufferBytes` a buffer, `headerSize` bytes of stream header a request (48, or 112 with the
    // frame information of a video pin).
    PinReader(std::string name, uint32_t bufferBytes, uint32_t headerSize, Consumer consumer);
    ~PinReader();
    PinReader(const PinReader&) = delete;
    PinReader& operator=(const PinReader&) = delete;

    // KsCreatePin's result (0 on success).
    DWORD Open(HANDLE filter, ULONG pinId, const void* format, size_t formatBytes);
    // Steps Stop, Acquire, Pause, Run and starts the readers; the first failing state's error.
    DWORD Run();
    // Back to Stop, the pin closed, the readers joined. Safe to call more than once.
    void Stop();

    const std::string& Name() const { return m_name; }
    HANDLE Handle() const { return m_pin; }
    uint64_t Completed() const { return m_completed.load(); }
    // Requests that ended in an error while the pin was meant to run.
    uint64_t Failed() const { return m_failed.load(); }
    DWORD SetState(KSSTATE state);

private:
    void ReadLoop();

    std::string m_name;
    uint32_t m_bufferBytes;
    uint32_t m_headerSize;
    Consumer m_consumer;
    HANDLE m_pin = nullptr;
    std::atomic<bool> m_stopping{false};
    std::atomic<uint64_t> m_completed{0};
    std::atomic<uint64_t> m_failed{0};
    std::vector<std::thread> m_threads;
};

} // namespace capture
