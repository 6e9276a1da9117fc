// The fake device plugged into the process's bus with its registers mapped, the service routines the
// interrupt tests connect, and connections that disconnect themselves at the end of their scope.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "FakeDevice.h"
#include "km/hal.h"
#include "km/interrupt.h"
#include "km/irql.h"
#include "km/mm.h"
#include "km/status.h"
#include "platform/bus/Bus.h"
#include "standin/system.h"
#include "standin/verifier.h"

namespace inttest {

using fake::FakeDevice;

constexpr KIRQL kDeviceIrql = 5;
constexpr ULONG kCauseA = 0x1;
constexpr ULONG kCauseB = 0x2;

// Waits in real time, up to a minute, for `done` to hold.
inline bool Eventually(const std::function<bool()>& done)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// A service routine that owns one cause bit of the fake device's status register: it claims the
// interrupt and acknowledges the cause (write 1 to clear) when the bit is set, as a driver does.
// `hook` runs first, on the interrupt thread, for what a test needs to see or do there.
struct Isr {
    PUCHAR regs = nullptr;
    ULONG cause = kCauseA;
    int id = 0;
    std::vector<int>* log = nullptr; // shared call order
    std::mutex* logLock = nullptr;
    std::function<void()> hook;
    std::atomic<int> calls{0};
    std::atomic<int> claims{0};
    std::atomic<KIRQL> irql{0xFF};
    std::atomic<size_t> spinLocksHeld{0};
    std::atomic<std::thread::id> thread{};

    static BOOLEAN Service(PKINTERRUPT, PVOID context)
    {
        auto* isr = static_cast<Isr*>(context);
        isr->irql = KeGetCurrentIrql();
        isr->thread = std::this_thread::get_id();
        isr->spinLocksHeld = standin::SpinLocksHeldByCurrentThread();
        if (isr->log) {
            std::lock_guard<std::mutex> hold(*isr->logLock);
            isr->log->push_back(isr->id);
        }
        if (isr->hook)
            isr->hook();
        ++isr->calls;
        auto* status = reinterpret_cast<PULONG>(isr->regs + FakeDevice::kStatus);
        if ((READ_REGISTER_ULONG(status) & isr->cause) == 0)
            return FALSE;
        WRITE_REGISTER_ULONG(status, isr->cause);
        ++isr->claims;
        return TRUE;
    }
};

// Disconnects at the end of its scope, so that a test that stops half-way never leaves a routine
// connected to objects that are gone: declare it after what the routine uses.
class Connection {
public:
    explicit Connection(PKINTERRUPT interrupt = nullptr) : interrupt_(interrupt) {}
    Connection(Connection&& other) noexcept : interrupt_(std::exchange(other.interrupt_, nullptr)) {}
    Connection& operator=(Connection&&) = delete;
    ~Connection() { Disconnect(); }
    void Disconnect()
    {
        if (interrupt_)
            IoDisconnectInterrupt(std::exchange(interrupt_, nullptr));
    }
    PKINTERRUPT get() const { return interrupt_; }

private:
    PKINTERRUPT interrupt_;
};

inline Connection ConnectRoutine(PKSERVICE_ROUTINE routine, PVOID context, ULONG vector = FakeDevice::kVector,
                                 KIRQL irql = kDeviceIrql, KIRQL synchronizeIrql = kDeviceIrql,
                                 BOOLEAN share = TRUE, PKSPIN_LOCK spinLock = nullptr)
{
    PKINTERRUPT interrupt = nullptr;
    EXPECT_EQ(IoConnectInterrupt(&interrupt, routine, context, spinLock, vector, irql, synchronizeIrql,
                                 LevelSensitive, share, 1, FALSE),
              STATUS_SUCCESS);
    return Connection(interrupt);
}

class InterruptTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(device.Plug(), platform::BusStatus::Ok);
        PHYSICAL_ADDRESS base;
        base.QuadPart = FakeDevice::kRegisterBase;
        regs = static_cast<PUCHAR>(MmMapIoSpace(base, FakeDevice::kRegisterLength, MmNonCached));
        ASSERT_NE(regs, nullptr);
    }
    void TearDown() override
    {
        if (regs)
            MmUnmapIoSpace(regs, FakeDevice::kRegisterLength);
    }

    Connection Connect(Isr& isr, int id, ULONG cause, KIRQL synchronizeIrql = kDeviceIrql,
                       PKSPIN_LOCK spinLock = nullptr)
    {
        isr.regs = regs;
        isr.cause = cause;
        isr.id = id;
        isr.log = &log;
        isr.logLock = &logLock;
        return ConnectRoutine(Isr::Service, &isr, FakeDevice::kVector, kDeviceIrql, synchronizeIrql, TRUE,
                              spinLock);
    }
    // Sets cause bits as the device's own logic would; the line follows the status register.
    void Raise(ULONG causes)
    {
        WRITE_REGISTER_ULONG(reinterpret_cast<PULONG>(regs + FakeDevice::kRaise), causes);
    }
    PULONG StatusRegister() { return reinterpret_cast<PULONG>(regs + FakeDevice::kStatus); }
    std::vector<int> Log()
    {
        std::lock_guard<std::mutex> hold(logLock);
        return log;
    }

    FakeDevice device{platform::Bus::Instance().Memory(), platform::Bus::Instance().Interrupts()};
    PUCHAR regs = nullptr;
    std::mutex logLock;
    std::vector<int> log;
};

// Silences the verifier's echo for a test that provokes breaches, and hands them over.
class ExpectedBreaches {
public:
    ExpectedBreaches() { standin::VerifierSetEcho(false); }
    ~ExpectedBreaches() { standin::VerifierSetEcho(true); }
    std::vector<standin::VerifierViolation> Take() { return standin::VerifierTakeViolations(); }
};

} // namespace inttest
