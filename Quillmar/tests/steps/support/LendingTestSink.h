// LendingTestSink: a leaf step (algorithm id 1) that stands for a pin's sink with a client buffer
// of a chosen size. Like the real sink it lends that buffer through GetDestinationBuffer when it
// holds the bytes asked for (the frame's data then points into it, its data size the buffer's),
// makes no copy of a frame written there, copies any other frame (the smaller of the two sizes)
// and gives the frame its own data pointer and size back. It records what it saw of every frame.
//
// The buffer is one heap block of exactly the chosen size, so AddressSanitizer sees a write past it.
#pragma once
#include "algorithm.h"
#include "frame.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class LendingTestSink : public Algorithm {
public:
    explicit LendingTestSink(size_t bufferBytes, uint8_t fill = 0xA5);
    ~LendingTestSink() override;

    bool GetDestinationBuffer(Frame* frame, ULONG bytesNeeded) override;
    void Process(Frame* frame) override;

    // The client buffer.
    uint8_t* Buffer() { return m_buffer.get(); }
    size_t BufferBytes() const { return m_bytes; }
    std::vector<uint8_t> BufferCopy() const { return {m_buffer.get(), m_buffer.get() + m_bytes}; }

    // What the sink saw.
    size_t Deliveries() const { return m_deliveries; }
    size_t LendRequests() const { return m_lendRequests; }
    size_t Lends() const { return m_lends; }
    size_t Copies() const { return m_copies; }
    ULONG LastBytesNeeded() const { return m_lastBytesNeeded; }
    // Of the last frame delivered: the frame, its data pointer and size as delivered, its Y plane,
    // its writable mark, its width and height, and whether it came written into the buffer.
    Frame* LastFrame() const { return m_lastFrame; }
    const uint8_t* LastData() const { return m_lastData; }
    ULONG LastDataSize() const { return m_lastDataSize; }
    const uint8_t* LastPlaneY() const { return m_lastPlaneY; }
    bool LastWritable() const { return m_lastWritable; }
    LONG LastWidth() const { return m_lastWidth; }
    LONG LastHeight() const { return m_lastHeight; }
    bool LastWasLent() const { return m_lastWasLent; }

private:
    size_t m_bytes;
    std::unique_ptr<uint8_t[]> m_buffer;
    Frame* m_lentFrame = nullptr;
    PUCHAR m_savedData = nullptr;
    ULONG m_savedSize = 0;
    size_t m_deliveries = 0;
    size_t m_lendRequests = 0;
    size_t m_lends = 0;
    size_t m_copies = 0;
    ULONG m_lastBytesNeeded = 0;
    Frame* m_lastFrame = nullptr;
    const uint8_t* m_lastData = nullptr;
    ULONG m_lastDataSize = 0;
    const uint8_t* m_lastPlaneY = nullptr;
    bool m_lastWritable = false;
    LONG m_lastWidth = 0;
    LONG m_lastHeight = 0;
    bool m_lastWasLent = false;
};
