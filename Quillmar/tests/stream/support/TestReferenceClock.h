// A reference clock for tests: the time is what the test sets, and every reference taken and
// released is counted.
#pragma once
#include "km/ksclock.h"

#include <atomic>

namespace streamtest {

class TestReferenceClock : public IKsReferenceClock {
public:
    void SetTime(LONGLONG time) { time_.store(time); }
    void Advance(LONGLONG interval) { time_.fetch_add(interval); }
    LONGLONG Time() const { return time_.load(); }
    LONG References() const { return references_.load(); }
    // Calls of the correlated forms (what the sink reads).
    int CorrelatedReads() const { return correlatedReads_.load(); }

    ULONG NTAPI AddRef() override { return ULONG(++references_); }
    ULONG NTAPI Release() override { return ULONG(--references_); }
    LONGLONG NTAPI GetTime() override { return time_.load(); }
    LONGLONG NTAPI GetPhysicalTime() override { return time_.load(); }
    LONGLONG NTAPI GetCorrelatedTime(LONGLONG* systemTime) override
    {
        ++correlatedReads_;
        if (systemTime)
            *systemTime = time_.load();
        return time_.load();
    }
    LONGLONG NTAPI GetCorrelatedPhysicalTime(LONGLONG* systemTime) override { return GetCorrelatedTime(systemTime); }
    NTSTATUS NTAPI GetResolution(KSRESOLUTION* resolution) override
    {
        if (resolution)
            *resolution = {1, 0};
        return STATUS_SUCCESS;
    }
    NTSTATUS NTAPI GetState(KSSTATE* state) override
    {
        if (state)
            *state = KSSTATE_RUN;
        return STATUS_SUCCESS;
    }

private:
    std::atomic<LONGLONG> time_{0};
    std::atomic<LONG> references_{0};
    std::atomic<int> correlatedReads_{0};
};

} // namespace streamtest
