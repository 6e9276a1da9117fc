// The mailbox service's handshake with the host, its answer FIFO and the test hooks.
#include "board/MailboxService.h"

#include <algorithm>
#include <utility>

#include "board/DspMemory.h"
#include "board/Firmware.h"
#include "board/MailboxLayout.h"
#include "platform/Clock.h"

namespace board {

using platform::Clock;

namespace {

constexpr uint32_t Field(uint32_t offset) { return kMailboxAddress + offset; }

} // namespace

void MailboxService::Serve(FirmwareHost& host, bool byTest)
{
    DspMemory& memory = host.Memory();
    int interrupts = 0;
    {
        std::lock_guard lock(m_lock);
        if (m_stalled || (m_steppedByTest && !byTest))
            return;

        // The host's "already running" start asks in one word: answers, held commands and a
        // half-finished exchange belong to a host that is gone. The firmware clears the flags and
        // counters itself, within this pass, and acknowledges last; the interrupt tells the host.
        if (memory.Read32(Field(kMailboxRestart)) == kMailboxRestartRequest) {
            DropExchangesLocked();
            m_counterA = 0;
            m_counterB = 0;
            for (uint32_t field :
                 {kMailboxCommandBusy, kMailboxResponseValid, kMailboxCounterA, kMailboxCounterB})
                memory.Write32(Field(field), 0);
            memory.Write32(Field(kMailboxRestart), 0);
            ++m_restarts;
            ++interrupts;
        }

        // Command in: the slot first, then the flag, then the counter.
        if (memory.Read32(Field(kMailboxCommandBusy)) == 1) {
            std::array<uint8_t, kMailboxCommandSlotSize> slot;
            memory.Read(Field(kMailboxCommandSlot), slot.data(), slot.size());
            memory.Write32(Field(kMailboxCommandBusy), 0);
            memory.Write32(Field(kMailboxCounterA), ++m_counterA);
            ++interrupts;

            const MailboxCommand command = MailboxCommand::Decode(slot);
            m_log.push_back(command);
            TrimCommandLogLocked();
            const auto fault = m_faults.find(command.id);
            if (fault != m_faults.end()) {
                if (!fault->second.drop)
                    QueueLocked(MailboxResponse::AnswerTo(command, fault->second.result, fault->second.wordA,
                                                          fault->second.wordB));
            } else if (m_hold) {
                m_held.push_back(command);
            } else {
                for (const MailboxResponse& response : TableAnswersLocked(command))
                    QueueLocked(response);
            }
        }

        // Response out: the whole slot, then the flag, then the counter. The host may read the slot
        // at any time; it only trusts it once the flag says so.
        if (!m_fifo.empty() && m_fifo.front().due <= Clock::Now() &&
            memory.Read32(Field(kMailboxResponseValid)) == 0) {
            const MailboxResponse& response = m_fifo.front().response;
            memory.Write(Field(kMailboxResponseSlot), response.bytes.data(), response.bytes.size());
            memory.Write32(Field(kMailboxResponseValid), 1);
            memory.Write32(Field(kMailboxCounterB), ++m_counterB);
            m_fifo.pop_front();
            ++interrupts;
        }
        if (interrupts == 0)
            return;
        ++m_raising;
    }
    for (int i = 0; i < interrupts; ++i)
        host.RaiseHostInterrupt();
    {
        std::lock_guard lock(m_lock);
        --m_raising;
    }
    m_raised.notify_all();
}

void MailboxService::SetSteppedByTest(bool stepped)
{
    {
        std::unique_lock lock(m_lock);
        m_steppedByTest = stepped;
        if (stepped)
            m_raised.wait(lock, [&] { return m_raising == 0; });
    }
    if (!stepped)
        Wake(); // what waited for a pass is served now
}

void MailboxService::Restart()
{
    std::lock_guard lock(m_lock);
    DropExchangesLocked();
    m_counterA = 0;
    m_counterB = 0;
}

void MailboxService::DropExchangesLocked()
{
    m_fifo.clear();
    m_held.clear();
    if (m_onRestart)
        m_onRestart();
}

std::vector<MailboxResponse> MailboxService::TableAnswersLocked(const MailboxCommand& command)
{
    const auto entry = m_table.find(command.id);
    if (entry != m_table.end())
        return entry->second(command);
    return {MailboxResponse::AnswerTo(command, kDspErrorUnknownCommand)};
}

void MailboxService::QueueLocked(const MailboxResponse& response)
{
    m_fifo.push_back(Queued{response, Clock::DeadlineAfter(m_delay)});
}

void MailboxService::SetCommandHandler(uint32_t id, CommandHandler handler)
{
    std::lock_guard lock(m_lock);
    if (handler)
        m_table[id] = std::move(handler);
    else
        m_table.erase(id);
}

void MailboxService::SetRestartHandler(std::function<void()> handler)
{
    std::lock_guard lock(m_lock);
    m_onRestart = std::move(handler);
}

void MailboxService::SetWake(std::function<void()> wake)
{
    std::lock_guard lock(m_lock);
    m_wake = std::move(wake);
}

void MailboxService::Wake()
{
    std::function<void()> wake;
    {
        std::lock_guard lock(m_lock);
        wake = m_wake;
    }
    if (wake)
        wake();
}

// ---- test hooks ----

void MailboxService::SetHoldAnswers(bool hold)
{
    std::lock_guard lock(m_lock);
    m_hold = hold;
}

std::vector<MailboxCommand> MailboxService::HeldCommands() const
{
    std::lock_guard lock(m_lock);
    return {m_held.begin(), m_held.end()};
}

bool MailboxService::AnswerHeld(uint64_t tag, uint32_t result, uint32_t wordA, uint32_t wordB)
{
    {
        std::lock_guard lock(m_lock);
        const auto held = std::find_if(m_held.begin(), m_held.end(), [&](auto& c) { return c.tag == tag; });
        if (held == m_held.end())
            return false;
        QueueLocked(MailboxResponse::AnswerTo(*held, result, wordA, wordB));
        m_held.erase(held);
    }
    Wake();
    return true;
}

bool MailboxService::AnswerHeld(uint64_t tag, const MailboxResponse& response)
{
    {
        std::lock_guard lock(m_lock);
        const auto held = std::find_if(m_held.begin(), m_held.end(), [&](auto& c) { return c.tag == tag; });
        if (held == m_held.end())
            return false;
        QueueLocked(response);
        m_held.erase(held);
    }
    Wake();
    return true;
}

bool MailboxService::DropHeld(uint64_t tag)
{
    std::lock_guard lock(m_lock);
    const auto held = std::find_if(m_held.begin(), m_held.end(), [&](auto& c) { return c.tag == tag; });
    if (held == m_held.end())
        return false;
    m_held.erase(held);
    return true;
}

size_t MailboxService::ReleaseHeld()
{
    size_t released = 0;
    {
        std::lock_guard lock(m_lock);
        for (const MailboxCommand& command : m_held) {
            for (const MailboxResponse& response : TableAnswersLocked(command))
                QueueLocked(response);
            ++released;
        }
        m_held.clear();
    }
    Wake();
    return released;
}

void MailboxService::SetAnswerDelay(int64_t delay)
{
    std::lock_guard lock(m_lock);
    m_delay = std::max<int64_t>(delay, 0);
}

void MailboxService::SetCommandFault(uint32_t id, std::optional<CommandFault> fault)
{
    std::lock_guard lock(m_lock);
    if (fault)
        m_faults[id] = *fault;
    else
        m_faults.erase(id);
}

void MailboxService::Post(const MailboxResponse& response)
{
    {
        std::lock_guard lock(m_lock);
        QueueLocked(response);
    }
    Wake();
}

void MailboxService::SetStalled(bool stalled)
{
    {
        std::lock_guard lock(m_lock);
        m_stalled = stalled;
    }
    if (!stalled)
        Wake();
}

std::vector<MailboxCommand> MailboxService::CommandLog() const
{
    std::lock_guard lock(m_lock);
    return {m_log.begin(), m_log.end()};
}

void MailboxService::ClearCommandLog()
{
    std::lock_guard lock(m_lock);
    m_log.clear();
    m_logDropped = 0;
}

void MailboxService::SetCommandLogCapacity(size_t capacity)
{
    std::lock_guard lock(m_lock);
    m_logCapacity = capacity < 1 ? 1 : capacity;
    TrimCommandLogLocked();
}

uint64_t MailboxService::CommandLogDropped() const
{
    std::lock_guard lock(m_lock);
    return m_logDropped;
}

void MailboxService::TrimCommandLogLocked()
{
    while (m_log.size() > m_logCapacity) {
        m_log.pop_front();
        ++m_logDropped;
    }
}

uint32_t MailboxService::CounterA() const
{
    std::lock_guard lock(m_lock);
    return m_counterA;
}

uint32_t MailboxService::CounterB() const
{
    std::lock_guard lock(m_lock);
    return m_counterB;
}

size_t MailboxService::QueuedAnswers() const
{
    std::lock_guard lock(m_lock);
    return m_fifo.size();
}

uint64_t MailboxService::HostRestarts() const
{
    std::lock_guard lock(m_lock);
    return m_restarts;
}

} // namespace board
