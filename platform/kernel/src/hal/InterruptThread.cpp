// The interrupt thread: waiting for the line, the rounds of service routines, the report and pause
// of an unclaimed interrupt, and the hand-shake with a disconnection.
#include "InterruptThread.h"

#include "Reports.h"
#include "km/irql.h"
#include "km/spinlock.h"
#include "platform/Clock.h"
#include "standin/system.h"
#include "standin/verifier.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <utility>

namespace standin {

namespace {

thread_local InterruptThread* t_current = nullptr;
std::atomic<size_t> g_threadCount{0};

// A Linux thread holding a spin lock can be preempted, so a waiter gives up its slice now and then.
constexpr unsigned kSpinsBeforeYield = 1024;

std::string RoutineText(PKSERVICE_ROUTINE routine, ULONG vector)
{
    return "interrupt service routine " + PointerText(reinterpret_cast<const void*>(routine)) +
           " of vector " + HexText(vector);
}

void Pause()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

} // namespace

InterruptThread::InterruptThread(ULONG vector, std::shared_ptr<platform::InterruptLine> line, KIRQL irql,
                                 bool shared)
    : vector_(vector), line_(std::move(line)), irql_(irql), shared_(shared)
{
}

InterruptThread::~InterruptThread()
{
    Stop();
}

void InterruptThread::Start()
{
    thread_ = std::jthread([this](std::stop_token stop) { Run(std::move(stop)); });
    ++g_threadCount;
}

void InterruptThread::Stop()
{
    if (!thread_.joinable())
        return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.request_stop(); // ends a wait for the line
    thread_.join();
    --g_threadCount;
}

bool InterruptThread::Accepts(bool share, KIRQL irql)
{
    std::lock_guard<std::mutex> hold(lock_);
    return !stopping_ && share && shared_ && irql == irql_;
}

void InterruptThread::Attach(KINTERRUPT* interrupt)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        interrupt->Thread = this;
        interrupt->Connected.store(true, std::memory_order_release);
        connections_.push_back(interrupt);
        ++generation_;
    }
    changed_.notify_all();
}

bool InterruptThread::Detach(KINTERRUPT* interrupt)
{
    bool last;
    {
        std::lock_guard<std::mutex> hold(lock_);
        interrupt->Connected.store(false, std::memory_order_release);
        connections_.erase(std::remove(connections_.begin(), connections_.end(), interrupt),
                           connections_.end());
        ++generation_;
        last = connections_.empty();
        if (last)
            stopping_ = true;
    }
    changed_.notify_all();
    return last;
}

void InterruptThread::WaitUntilIdle(const KINTERRUPT* interrupt)
{
    std::unique_lock<std::mutex> hold(lock_);
    idle_.wait(hold, [&] { return current_ != interrupt; });
}

InterruptThread* InterruptThread::Current()
{
    return t_current;
}

size_t InterruptThread::Count()
{
    return g_threadCount.load();
}

void InterruptThread::Run(std::stop_token stop)
{
    t_current = this;
    SetCurrentIrql(irql_);
    uint64_t reportedAssertion = 0; // the assertion already reported as unclaimed
    // While the line is asserted the wait returns at once, so the routines are called again for as
    // long as the level stays up.
    while (line_->WaitUntilAsserted(stop)) {
        const uint64_t assertion = line_->AssertionCount();
        const Round round = ServiceRound();
        if (round.stopping)
            break;
        if (round.claimed || !line_->IsAsserted() || line_->AssertionCount() != assertion)
            continue;
        // Nobody claimed a line that stayed up. When the connection list changed under the round, a
        // routine that would claim it may not have been asked yet: go round again at once.
        if (ListChangedSince(round.generation))
            continue;
        if (assertion != reportedAssertion) {
            reportedAssertion = assertion;
            ReportUnclaimed(round.called);
        }
        if (!PauseAfterUnclaimed(round.generation))
            break;
    }
    SetCurrentIrql(PASSIVE_LEVEL);
    t_current = nullptr;
}

InterruptThread::Round InterruptThread::ServiceRound()
{
    Round round;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (stopping_) {
            round.stopping = true;
            return round;
        }
        round_ = connections_;
        round.generation = generation_;
    }
    for (KINTERRUPT* interrupt : round_) {
        const Outcome outcome = Call(interrupt);
        if (outcome == Outcome::Stopping) {
            round.stopping = true;
            break;
        }
        if (outcome == Outcome::Skipped)
            continue;
        ++round.called;
        if (outcome == Outcome::Claimed) {
            round.claimed = true;
            break;
        }
    }
    round_.clear();
    return round;
}

// A call begins only while the connection is in the list, and marks itself current before it touches
// the object; a disconnection takes the connection out and then waits until it is no longer current,
// so the object stays valid for the whole call and no call begins after the disconnection.
InterruptThread::Outcome InterruptThread::Call(KINTERRUPT* interrupt)
{
    PKSERVICE_ROUTINE routine;
    PVOID context;
    PKSPIN_LOCK spinLock;
    KIRQL level;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (stopping_)
            return Outcome::Stopping;
        if (!interrupt->Connected.load(std::memory_order_relaxed))
            return Outcome::Skipped;
        current_ = interrupt;
        routine = interrupt->ServiceRoutine;
        context = interrupt->ServiceContext;
        spinLock = interrupt->ActualLock;
        level = interrupt->SynchronizeIrql;
    }
    SetCurrentIrql(level);
    if (!TakeSpinLock(interrupt, spinLock)) {
        EndCall();
        return Outcome::Skipped;
    }
    // Taken out while this thread waited for the lock: the disconnection may already be under way,
    // and a call that begins now would overlap it.
    {
        std::unique_lock<std::mutex> hold(lock_);
        if (!interrupt->Connected.load(std::memory_order_relaxed)) {
            hold.unlock();
            KeReleaseSpinLockFromDpcLevel(spinLock);
            EndCall();
            return Outcome::Skipped;
        }
    }

    BOOLEAN claimed = FALSE;
    try {
        claimed = routine(interrupt, context);
    } catch (...) {
        VerifierReport("unhandled-exception",
                       RoutineText(routine, vector_) + " ended by an exception it did not handle");
    }
    const KIRQL irql = KeGetCurrentIrql();
    if (irql != level) {
        VerifierReport("irql", RoutineText(routine, vector_) + " returned at IRQL " + std::to_string(irql) +
                                   " instead of " + std::to_string(level));
        SetCurrentIrql(level);
    }
    KeReleaseSpinLockFromDpcLevel(spinLock);
    EndCall();
    return claimed ? Outcome::Claimed : Outcome::NotClaimed;
}

// Spins for the connection's spin lock as a processor would, but gives up when the connection is
// taken out meanwhile: the disconnecting thread may itself hold the lock (inside
// KeSynchronizeExecution, say) while it waits for this call to end.
bool InterruptThread::TakeSpinLock(KINTERRUPT* interrupt, PKSPIN_LOCK spinLock)
{
    for (unsigned spins = 1;; ++spins) {
        if (KeTryToAcquireSpinLockAtDpcLevel(spinLock))
            return true;
        if (!interrupt->Connected.load(std::memory_order_acquire))
            return false;
        Pause();
        if (spins % kSpinsBeforeYield == 0)
            std::this_thread::yield();
    }
}

void InterruptThread::EndCall()
{
    SetCurrentIrql(irql_);
    {
        std::lock_guard<std::mutex> hold(lock_);
        current_ = nullptr;
    }
    idle_.notify_all();
}

bool InterruptThread::ListChangedSince(uint64_t generation)
{
    std::lock_guard<std::mutex> hold(lock_);
    return generation_ != generation;
}

void InterruptThread::ReportUnclaimed(size_t called)
{
    VerifierReport("interrupt", "vector " + HexText(vector_) + " stays asserted and none of its " +
                                    std::to_string(called) +
                                    " connected routine(s) claimed it; they are called " +
                                    "again every millisecond until one does or the line is released");
}

bool InterruptThread::PauseAfterUnclaimed(uint64_t generation)
{
    const auto realEnd = std::chrono::steady_clock::now() + kUnclaimedRealPause;
    std::unique_lock<std::mutex> hold(lock_);
    auto changed = [&] { return stopping_ || generation_ != generation; };
    platform::Clock::WaitUntil(hold, changed_, platform::Clock::DeadlineAfter(kUnclaimedPauseUnits), changed);
    changed_.wait_until(hold, realEnd, changed);
    return !stopping_;
}

} // namespace standin
