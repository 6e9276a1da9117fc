// The host's side of the command set for the board's tests: a booted board, commands sent one at a
// time through the mailbox with fresh tags, answers taken in order, and host memory registered on
// the bus for DMA as the kernel's common buffers are.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "MailboxTestHost.h"
#include "board/CommandSet.h"
#include "platform/bus/Bus.h"

namespace board::testing {

// Host memory the board reaches by bus address for as long as it lives.
class HostBuffer {
public:
    explicit HostBuffer(size_t length, uint8_t fill = 0xCD) : m_bytes(length, fill)
    {
        if (platform::Bus::Instance().Dma().Register(m_bytes.data(), m_bytes.size(), m_bus) != platform::BusStatus::Ok)
            throw std::runtime_error("no bus address for a test buffer");
    }
    ~HostBuffer() { Withdraw(); }
    // Takes the buffer off the bus, as freeing it does: a transfer already copying finishes first,
    // later ones meet no block. Its bytes then stay readable while the board keeps running.
    void Withdraw()
    {
        if (m_bus != 0)
            platform::Bus::Instance().Dma().Unregister(m_bus, m_bytes.data(), m_bytes.size());
        m_bus = 0;
    }
    HostBuffer(const HostBuffer&) = delete;
    HostBuffer& operator=(const HostBuffer&) = delete;

    uint32_t Bus() const { return m_bus; }
    std::vector<uint8_t>& Bytes() { return m_bytes; }
    uint32_t Word(size_t at) const
    {
        uint32_t value;
        std::memcpy(&value, m_bytes.data() + at, 4);
        return value;
    }

private:
    std::vector<uint8_t> m_bytes;
    uint32_t m_bus = 0;
};

class CommandSetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        BootMainFirmware(board);
        ASSERT_TRUE(board.IsBooted());
    }

    // Puts a command into the slot with a new tag; returns the tag.
    uint64_t Put(uint32_t id, uint32_t parameter = 0, std::array<uint32_t, 8> payload = {})
    {
        const uint64_t tag = ++m_tag;
        EXPECT_TRUE(Eventually([&] { return PutCommand(board, CommandBytes(tag, id, parameter, payload)); }));
        return tag;
    }
    // The next answer, whatever it answers.
    MailboxResponse Next()
    {
        auto response = AwaitResponse(board);
        EXPECT_TRUE(response) << "no answer came";
        return response.value_or(MailboxResponse{});
    }
    // Sends one command and takes its answer, which must be the next one out.
    MailboxResponse Send(uint32_t id, uint32_t parameter = 0, std::array<uint32_t, 8> payload = {})
    {
        const uint64_t tag = Put(id, parameter, payload);
        MailboxResponse response = Next();
        EXPECT_EQ(response.Tag(), tag);
        EXPECT_EQ(response.Id(), id);
        return response;
    }
    // Waits until the firmware has handled every command put so far. The slot's flag is freed
    // before the command is handled; the log entry is made in the same step as the handling.
    void Taken()
    {
        EXPECT_TRUE(Eventually([&] {
            const auto log = board.Mailbox().CommandLog();
            return !log.empty() && log.back().tag == m_tag;
        }));
    }

    CommandSet& commands() { return board.Commands(); }

    CaptureBoard board;

private:
    uint64_t m_tag = 0x100;
};

} // namespace board::testing
