// The interrupt thread of one interrupt line and the routines connected to it. While the line is
// asserted the thread goes round the connections in the order they were made, calling each routine
// at its SynchronizeIrql under its spin lock, until one claims the interrupt; then it looks at the
// line again. A round that nobody claims while the line stays up is reported once per assertion and
// retried after a pause, so a stuck line neither goes unnoticed nor keeps a core busy.
#pragma once
#include "InterruptObject.h"
#include "platform/bus/InterruptLine.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace standin {

class InterruptThread {
public:
    // Pause between rounds that nobody claims: at least this much simulated time, so that it
    // follows the clock's speed factor like every other wait, and at least kUnclaimedRealPause of
    // real time, so that a fast clock cannot turn a stuck line into a spinning core.
    static constexpr int64_t kUnclaimedPauseUnits = 10'000; // 1 ms
    static constexpr auto kUnclaimedRealPause = std::chrono::milliseconds(1);

    // The thread of a line: it runs at `irql`; the first connection says whether it may be shared.
    InterruptThread(ULONG vector, std::shared_ptr<platform::InterruptLine> line, KIRQL irql, bool shared);
    ~InterruptThread();
    InterruptThread(const InterruptThread&) = delete;
    InterruptThread& operator=(const InterruptThread&) = delete;

    // Starts the host thread; throws std::system_error when it cannot.
    void Start();
    // Requests the end and joins the host thread. Not from the thread itself.
    void Stop();

    const platform::InterruptLine* Line() const { return line_.get(); }
    ULONG Vector() const { return vector_; }
    KIRQL Irql() const { return irql_; }
    // Whether a further connection with these terms may join the line's connections.
    bool Accepts(bool share, KIRQL irql);

    // Adds the connection after those already made.
    void Attach(KINTERRUPT* interrupt);
    // Takes the connection out, so that no new call of its routine begins; returns true when it was
    // the last one, and the thread then stops calling routines altogether.
    bool Detach(KINTERRUPT* interrupt);
    // Returns once the routine of a detached connection is not being called.
    void WaitUntilIdle(const KINTERRUPT* interrupt);

    // The interrupt thread the caller runs on, or null.
    static InterruptThread* Current();
    static size_t Count();

private:
    enum class Outcome { Claimed, NotClaimed, Skipped, Stopping };
    struct Round {
        bool claimed = false;
        bool stopping = false;
        size_t called = 0;
        uint64_t generation = 0; // of the connection list the round went through
    };

    void Run(std::stop_token stop);
    Round ServiceRound();
    Outcome Call(KINTERRUPT* interrupt);
    bool TakeSpinLock(KINTERRUPT* interrupt, PKSPIN_LOCK spinLock);
    void EndCall();
    bool ListChangedSince(uint64_t generation);
    void ReportUnclaimed(size_t called);
    // Pauses after an unclaimed round; false when the thread is to stop.
    bool PauseAfterUnclaimed(uint64_t generation);

    const ULONG vector_;
    const std::shared_ptr<platform::InterruptLine> line_;
    const KIRQL irql_;
    const bool shared_;

    std::mutex lock_;
    std::condition_variable_any changed_; // the connection list changed, or the thread is stopping
    std::condition_variable idle_;        // a call ended
    std::vector<KINTERRUPT*> connections_;
    KINTERRUPT* current_ = nullptr; // the connection whose call is under way
    uint64_t generation_ = 0;       // counts changes of the connection list
    bool stopping_ = false;

    std::vector<KINTERRUPT*> round_; // the interrupt thread's copy of the list for one round
    std::jthread thread_;
};

} // namespace standin
