// StreamingPinInterface: what a processing tree's sink asks of the streaming pin it feeds. The
// streaming pins implement it; the sink reads the pin's kernel-streaming pin (for its client frames
// and stream pointers), its id, its kind, its run state, its reference clock, the stream name of
// its traces and event-log entries, and the VBI information header of VBI pins.
//
// Every call comes from the stream's queue thread while the pin may change state on a dispatch
// thread: the state is read, never cached, and may change right after the read.
#pragma once
#include "km/ksclock.h"
#include "km/kspin.h"
#include "km/types.h"
#include "shared/ksstreamrecords.h"

// Kinds of streaming pins.
inline constexpr ULONG kStreamingPinKindVideo = 0;
inline constexpr ULONG kStreamingPinKindAudio = 1;

class StreamingPinInterface {
public:
    // The kernel-streaming pin whose client frames the sink fills; null when the pin has none.
    virtual PKSPIN GetKsPin() const = 0;
    // The pin's kernel-streaming id (video capture filter: 0 analog input, 1 capture, 2 preview,
    // 3 VBI, 4 closed captions).
    virtual ULONG GetPinId() const = 0;
    // kStreamingPinKindVideo or kStreamingPinKindAudio.
    virtual ULONG GetPinKind() const = 0;
    // The pin's state now (KSSTATE_STOP .. KSSTATE_RUN).
    virtual KSSTATE GetRunState() const = 0;
    bool IsRunning() const { return GetRunState() == KSSTATE_RUN; }
    // The graph's reference clock the pin holds a reference on; null when it has none. The sink
    // does not take a reference of its own: the pin keeps its reference while it runs.
    virtual PIKSREFERENCECLOCK GetReferenceClock() const = 0;
    // The name of the pin's stream in traces and event-log entries ("VIDEO", "AUDIO", ...).
    virtual const char* GetStreamName() const = 0;
    // The VBI information header of the pin's format; null for pins that carry no VBI data.
    virtual const KS_VBIINFOHEADER* GetVBIInfoHeader() const = 0;

protected:
    ~StreamingPinInterface() = default;
};
