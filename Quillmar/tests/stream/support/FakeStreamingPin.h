// A streaming pin for the sink's tests: it answers what the sink asks of a pin (StreamingPinInterface)
// over a real kernel-streaming pin (the one-pin test filter's, opened by a FrameClient), with a run
// state, id, kind, stream name, VBI header and reference clock the test sets. The state it reports
// is its own, as a driver pin keeps its own state word: the framework pin only has to accept frames
// (any state but Stop).
#pragma once
#include "streamingpininterface.h"

#include <atomic>

namespace streamtest {

class FakeStreamingPin : public StreamingPinInterface {
public:
    explicit FakeStreamingPin(PKSPIN pin = nullptr, ULONG id = 1, ULONG kind = kStreamingPinKindVideo)
        : pin_(pin), id_(id), kind_(kind)
    {
    }

    void SetKsPin(PKSPIN pin) { pin_.store(pin); }
    void SetRunState(KSSTATE state) { state_.store(state); }
    void SetPinId(ULONG id) { id_.store(id); }
    void SetPinKind(ULONG kind) { kind_.store(kind); }
    void SetReferenceClock(PIKSREFERENCECLOCK clock) { clock_.store(clock); }
    void SetStreamName(const char* name) { name_.store(name); }
    void SetVBIInfoHeader(const KS_VBIINFOHEADER* header) { vbi_.store(header); }

    PKSPIN GetKsPin() const override { return pin_.load(); }
    ULONG GetPinId() const override { return id_.load(); }
    ULONG GetPinKind() const override { return kind_.load(); }
    KSSTATE GetRunState() const override { return state_.load(); }
    PIKSREFERENCECLOCK GetReferenceClock() const override { return clock_.load(); }
    const char* GetStreamName() const override { return name_.load(); }
    const KS_VBIINFOHEADER* GetVBIInfoHeader() const override { return vbi_.load(); }

private:
    std::atomic<PKSPIN> pin_;
    std::atomic<ULONG> id_;
    std::atomic<ULONG> kind_;
    std::atomic<KSSTATE> state_{KSSTATE_RUN};
    std::atomic<PIKSREFERENCECLOCK> clock_{nullptr};
    std::atomic<const char*> name_{"VIDEO"};
    std::atomic<const KS_VBIINFOHEADER*> vbi_{nullptr};
};

} // namespace streamtest
