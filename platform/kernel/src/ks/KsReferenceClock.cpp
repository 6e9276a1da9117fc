// Reference clocks: the clock object a graph creates and sets on a pin as its master clock, and the
// IKsReferenceClock a pin's driver gets for it, both on the machine's one clock through the
// performance counter (10 MHz, so one count is 100 ns).
#include "KsObjects.h"
#include "km/ksclock.h"
#include "km/object.h"
#include "km/status.h"
#include "km/time.h"
#include "standin/ks.h"
#include "standin/object.h"

#include <atomic>

namespace standin {
namespace {

OBJECT_TYPE g_clockType{"KsClock"};

std::atomic<size_t> g_interfaces{0};

LONGLONG Now100ns()
{
    LARGE_INTEGER frequency;
    const LARGE_INTEGER counter = KeQueryPerformanceCounter(&frequency);
    if (frequency.QuadPart == 10'000'000)
        return counter.QuadPart;
    return LONGLONG(static_cast<long double>(counter.QuadPart) * 10'000'000 / frequency.QuadPart);
}

class MachineClock : public KernelObject {
public:
    MachineClock() : KernelObject(&g_clockType), start_(Now100ns()) {}
    LONGLONG Start() const { return start_; }
    std::string Describe() const override { return "master clock"; }

private:
    const LONGLONG start_;
};

// What a pin's driver holds: its own reference on the clock object, so the interface outlives the
// pin and the clock's handle.
class ReferenceClock final : public IKsReferenceClock {
public:
    explicit ReferenceClock(MachineClock* clock) : clock_(clock)
    {
        ReferenceObject(clock_);
        ++g_interfaces;
    }
    ULONG NTAPI AddRef() override { return ++references_; }
    ULONG NTAPI Release() override
    {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }
    // The clock always runs, so its presentation time is its physical time.
    LONGLONG NTAPI GetTime() override { return Now100ns() - clock_->Start(); }
    LONGLONG NTAPI GetPhysicalTime() override { return GetTime(); }
    LONGLONG NTAPI GetCorrelatedTime(LONGLONG* SystemTime) override
    {
        const LONGLONG now = Now100ns();
        if (SystemTime)
            *SystemTime = now;
        return now - clock_->Start();
    }
    LONGLONG NTAPI GetCorrelatedPhysicalTime(LONGLONG* SystemTime) override { return GetCorrelatedTime(SystemTime); }
    NTSTATUS NTAPI GetResolution(KSRESOLUTION* Resolution) override
    {
        if (!Resolution)
            return STATUS_INVALID_PARAMETER;
        Resolution->Granularity = 1;
        Resolution->Error = 0;
        return STATUS_SUCCESS;
    }
    NTSTATUS NTAPI GetState(KSSTATE* State) override
    {
        if (!State)
            return STATUS_INVALID_PARAMETER;
        *State = KSSTATE_RUN;
        return STATUS_SUCCESS;
    }

private:
    ~ReferenceClock()
    {
        DereferenceObject(clock_);
        --g_interfaces;
    }
    MachineClock* clock_;
    std::atomic<ULONG> references_{1};
};

} // namespace

NTSTATUS KsCreateMachineClock(KPROCESSOR_MODE mode, PHANDLE handle)
{
    if (!handle)
        return STATUS_INVALID_PARAMETER;
    auto* clock = new MachineClock;
    InsertObject(clock);
    const NTSTATUS status = CreateHandle(clock, GENERIC_READ, mode == KernelMode ? OBJ_KERNEL_HANDLE : 0, handle);
    DereferenceObject(clock); // the handle holds it now, or nothing does
    return status;
}

NTSTATUS KsPinSetMasterClock(KsPinObject* pin, uint32_t handle, KPROCESSOR_MODE mode)
{
    KernelObject* clock = nullptr;
    if (handle) {
        const NTSTATUS status = ReferenceObjectByHandle(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(handle)), 0,
                                                        &g_clockType, mode, &clock, nullptr);
        if (!NT_SUCCESS(status))
            return status;
    }
    KsAcquireControl(&pin->pin);
    auto* old = static_cast<KernelObject*>(pin->masterClock);
    pin->masterClock = clock;
    KsReleaseControl(&pin->pin);
    if (old)
        DereferenceObject(old);
    return STATUS_SUCCESS;
}

void KsPinReleaseMasterClock(KsPinObject* pin)
{
    if (auto* clock = static_cast<KernelObject*>(pin->masterClock))
        DereferenceObject(clock);
    pin->masterClock = nullptr;
}

size_t KsReferenceClocksOutstanding()
{
    return g_interfaces.load();
}

} // namespace standin

extern "C" NTSTATUS NTAPI KsPinGetReferenceClockInterface(PKSPIN Pin, PIKSREFERENCECLOCK* Interface)
{
    using namespace standin;
    if (!Pin || !Interface)
        return STATUS_INVALID_PARAMETER;
    *Interface = nullptr;
    KsAcquireControl(Pin);
    auto* clock = static_cast<MachineClock*>(static_cast<KernelObject*>(KsPinRecord(Pin)->masterClock));
    if (clock)
        *Interface = new ReferenceClock(clock);
    KsReleaseControl(Pin);
    return clock ? STATUS_SUCCESS : STATUS_DEVICE_NOT_READY;
}
