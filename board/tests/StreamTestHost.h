// The host's side of streaming for the board's tests: streams created, buffers queued from one
// registered host block, answers taken in order, and the capture read back from host memory.
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "CommandSetTestHost.h"
#include "board/VideoStandards.h"
#include "platform/Clock.h"

namespace board::testing {

// The 525-line descriptor the host sends: 720 x 487, 244 + 243 active, 18 + 20 VBI, 138 h-blank.
constexpr std::array<uint32_t, 8> kNtscDescriptor = {0, 720 | 487u << 16, 27000000, 244 | 243u << 16,
                                                     720 | 18u << 16, 20 | 138u << 16, 720, 487};
constexpr uint32_t kVideoBufferSize = 4'320'000;
constexpr uint32_t kAudioBufferSize = 30'720;

class StreamTest : public CommandSetTest {
protected:
    uint32_t Create(uint32_t inputType, std::array<uint32_t, 8> descriptor = kNtscDescriptor)
    {
        const MailboxResponse created = Send(kCommandCreateStream, inputType, descriptor);
        EXPECT_EQ(created.Result(), kDspResultSuccess);
        return created.WordA();
    }
    void Enable(uint32_t handle, uint32_t expected = kDspResultSuccess)
    {
        EXPECT_EQ(Send(kCommandEnableStream, handle, {1}).Result(), expected);
    }
    // Buffers of `size` bytes in one host block; buffer i at Bus(i).
    void MakeBuffers(uint32_t count, uint32_t size)
    {
        m_size = size;
        m_host = std::make_unique<HostBuffer>(size_t{count} * size, 0xCD);
    }
    uint32_t Bus(uint32_t i) const { return m_host->Bus() + i * m_size; }
    const uint8_t* Data(uint32_t i) const { return m_host->Bytes().data() + size_t{i} * m_size; }
    uint8_t* Data(uint32_t i) { return m_host->Bytes().data() + size_t{i} * m_size; }
    // The buffer index an answer names.
    uint32_t IndexOf(const MailboxResponse& answer) const { return (answer.WordA() - m_host->Bus()) / m_size; }
    uint64_t Queue(uint32_t handle, uint32_t i) { return Put(kCommandQueueCaptureBuffer, handle, {Bus(i), m_size}); }
    // A stream of `inputType` with `count` new buffers of `size` bytes all queued, in order; the
    // queue commands' tags in `tags`.
    uint32_t CreateQueued(uint32_t inputType, uint32_t count, uint32_t size)
    {
        MakeBuffers(count, size);
        const uint32_t handle = Create(inputType);
        tags.clear();
        for (uint32_t i = 0; i < count; ++i)
            tags.push_back(Queue(handle, i));
        return handle;
    }
    std::vector<uint64_t> tags;
    // One frame of a new enabled stream with one buffer of `size` bytes (buffer 0), taken by the
    // manual frame clock; its answer.
    MailboxResponse CaptureOne(uint32_t inputType, uint32_t size)
    {
        commands().SetFrameClockManual(true);
        const uint32_t handle = CreateQueued(inputType, 1, size);
        Enable(handle);
        commands().StepFrames(handle, 1);
        return NextFill();
    }
    // Sends a command while a free-running clock may still fill buffers: the buffer answers ahead
    // of the command's own are skipped.
    MailboxResponse SendPastFills(uint32_t id, uint32_t parameter = 0, std::array<uint32_t, 8> payload = {})
    {
        const uint64_t tag = Put(id, parameter, payload);
        for (;;) {
            const MailboxResponse answer = Next();
            if (answer.Tag() == tag || answer.Id() != kCommandQueueCaptureBuffer)
                return answer;
        }
    }
    // The next answer, which must be a filled (or refused) buffer.
    MailboxResponse NextFill()
    {
        const MailboxResponse answer = Next();
        EXPECT_EQ(answer.Id(), kCommandQueueCaptureBuffer);
        return answer;
    }
    static uint32_t Stamp(const MailboxResponse& answer) { return answer.Word(kResponseTimeStamp); }
    static uint32_t Status(const MailboxResponse& answer, uint32_t word)
    {
        return answer.Word(kResponseStatusWords + 4 * word);
    }
    // Nothing comes out of the response slot for `ms` milliseconds of the clock.
    void ExpectQuiet(int64_t ms)
    {
        platform::Clock::SleepFor(ms * platform::Clock::kUnitsPerMillisecond);
        EXPECT_EQ(MailboxWord(board, kMailboxResponseValid), 0u);
    }

private:
    std::unique_ptr<HostBuffer> m_host;
    uint32_t m_size = 0;
};

} // namespace board::testing
