// The main firmware's mailbox service: takes the host's commands out of the command slot, hands
// them to the firmware's command table, and posts answers and the DSP's own messages through the
// response slot from a FIFO, in the order the firmware made them. Flags are written last in both
// directions, counter A advances for every command taken and counter B for every response posted,
// and each of those raises one host interrupt.
//
// One object lives as long as the board; the firmware calls Serve on its thread (doorbell, the
// 1 ms tick, and a wake-up when a test hook queued an answer). Boot, warm reset and the host's
// restart (its one-word request, which the firmware answers by clearing busy, valid, both counters
// and then the request) drop the FIFO, the held commands and any half-finished exchange; the
// command log and the test settings stay.
//
// A command without an entry in the command table is answered at once with 0xFFFF (unknown
// command); the main firmware's command set (CommandSet) fills the table.
//
// Thread-safe. Lock order: the service's lock is taken after the board's locks and only ever wraps
// DSP memory accesses; interrupts are raised and the firmware woken with it released.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "board/MailboxMessages.h"

namespace board {

class FirmwareHost;

class MailboxService {
public:
    // A typed command: returns the answers to post now, in order (none when the command answers
    // later or never; several when it first answers what it ends, as a stream's destroy does).
    // Handlers run under the service's lock, so they must not call the service; an answer made
    // later goes through Post from outside any handler.
    using CommandHandler = std::function<std::vector<MailboxResponse>(const MailboxCommand&)>;

    // What a test makes the firmware do with every command of one id instead of the table's answer.
    struct CommandFault {
        bool drop = false;     // take the command, never answer it
        uint32_t result = 0;   // else answer with this DSP result...
        uint32_t wordA = 0;    // ...and these words
        uint32_t wordB = 0;
    };

    // ---- the firmware's side (the DSP thread) ----

    // One pass over the mailbox: carries out a host restart, takes a command when the slot is busy,
    // posts the next due answer when the response slot is free. While a test steps the service
    // (SetSteppedByTest), only its own passes (`byTest`) do anything.
    void Serve(FirmwareHost& host, bool byTest = false);
    // A new boot or a warm reset: counters 0, nothing queued, held or half done.
    void Restart();
    // The command table: `handler` answers every command with this id (none: unknown command).
    void SetCommandHandler(uint32_t id, CommandHandler handler);
    // Called with the service's lock held whenever the service drops its exchanges (boot, warm
    // reset, the host's restart), so the firmware drops what belongs to them too.
    void SetRestartHandler(std::function<void()> handler);
    // Called (without the service's lock) when a hook queued something the firmware should post.
    void SetWake(std::function<void()> wake);

    // ---- test hooks ----

    // Holding: commands are taken (slot freed, counter A, interrupt) but not answered until a test
    // answers or drops them. Turning it off leaves the ones already held waiting.
    void SetHoldAnswers(bool hold);
    // Commands held, in the order taken.
    std::vector<MailboxCommand> HeldCommands() const;
    // Answers the oldest held command with this tag; false when none is held.
    bool AnswerHeld(uint64_t tag, uint32_t result, uint32_t wordA = 0, uint32_t wordB = 0);
    bool AnswerHeld(uint64_t tag, const MailboxResponse& response);
    // Forgets the oldest held command with this tag without an answer; false when none is held.
    bool DropHeld(uint64_t tag);
    // Answers every held command with the table's answer, in the order taken; returns how many.
    size_t ReleaseHeld();
    // Every answer (and message) queued from now on is posted no sooner than `delay` 100-ns units
    // of the clock after it was made; 0 = at once. FIFO order is kept.
    void SetAnswerDelay(int64_t delay);
    // Per command id: drop it or answer with a chosen result (none: back to the table's answer).
    void SetCommandFault(uint32_t id, std::optional<CommandFault> fault);
    // Queues any response, e.g. a message with tag 0 or an answer with a tag nobody sent.
    void Post(const MailboxResponse& response);
    // A hung DSP: the service does nothing at all, so busy stays 1 and the counters stay frozen.
    void SetStalled(bool stalled);
    // The firmware's own passes do nothing; the test runs each pass itself
    // (CaptureBoard::StepMailbox), e.g. between two of the host's writes. Turning it on returns once
    // a pass already under way has raised its interrupts, so nothing of it comes later.
    void SetSteppedByTest(bool stepped);

    // The commands taken since the last ClearCommandLog, in order (also across resets): the most
    // recent kDefaultCommandLogCapacity (or as many as SetCommandLogCapacity says), the oldest
    // dropped first, so that a long capture, which sends hundreds of commands a second, does not
    // grow the log without bound.
    static constexpr size_t kDefaultCommandLogCapacity = 16384;
    std::vector<MailboxCommand> CommandLog() const;
    void ClearCommandLog();
    // Keeps at most `capacity` (at least 1) commands, dropping the oldest first.
    void SetCommandLogCapacity(size_t capacity);
    // Commands dropped for the capacity since the last ClearCommandLog.
    uint64_t CommandLogDropped() const;
    // The counters as the firmware last wrote them.
    uint32_t CounterA() const;
    uint32_t CounterB() const;
    // Answers waiting in the FIFO (posted ones are gone from it).
    size_t QueuedAnswers() const;
    // Times the firmware saw the host restart the mailbox.
    uint64_t HostRestarts() const;

private:
    struct Queued {
        MailboxResponse response;
        int64_t due = 0;
    };

    void QueueLocked(const MailboxResponse& response);
    std::vector<MailboxResponse> TableAnswersLocked(const MailboxCommand& command);
    void DropExchangesLocked();
    void TrimCommandLogLocked();
    void Wake();

    mutable std::mutex m_lock;
    std::condition_variable m_raised;
    int m_raising = 0; // passes between their work and the interrupts they raise
    std::function<void()> m_wake;
    std::function<void()> m_onRestart;
    std::map<uint32_t, CommandHandler> m_table;
    std::map<uint32_t, CommandFault> m_faults;
    std::deque<Queued> m_fifo;
    std::deque<MailboxCommand> m_held;
    std::deque<MailboxCommand> m_log;
    size_t m_logCapacity = kDefaultCommandLogCapacity;
    uint64_t m_logDropped = 0;
    uint32_t m_counterA = 0;
    uint32_t m_counterB = 0;
    uint64_t m_restarts = 0;
    int64_t m_delay = 0;
    bool m_hold = false;
    bool m_stalled = false;
    bool m_steppedByTest = false;
};

} // namespace board
