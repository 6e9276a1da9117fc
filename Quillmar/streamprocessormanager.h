// StreamProcessorManager: one per device. It holds the device's video and audio stream processor,
// makes each when the first pin of its kind leaves Stop, routes every pin transition to it,
// destroys it when the last pin of its kind is back in Stop, and rebuilds the chains of active
// pins when settings change.
//
// The manager's lock covers only the two processor slots: a processor is looked up under it and
// used outside it, and one that goes is taken out of its slot under the lock and destroyed after
// (its stream's teardown waits for the DSP). The pin transitions come serialised by the framework
// (the device mutex), so a processor looked up stays until the same thread removes it.
//
// The twelve transitions are virtual: the device's own tests put a manager double in its place.
#pragma once
#include "kernel/driverheap.h"
#include "kplxfastlock.h"
#include "logicalstreamtable.h"
#include "km/ksfilter.h"
#include "km/types.h"

class BasicFilter;
class LogicalStream;
class PhysicalStreamFactory;
class StreamDeviceServices;
class StreamProcessor;
class StreamProcessorPin;

class StreamProcessorManager : public DriverAllocated {
public:
    // Video pins are ids 1 to 4.
    static constexpr ULONG kFirstVideoPinType = 1;
    static constexpr ULONG kLastVideoPinType = 4;

    StreamProcessorManager(StreamDeviceServices* services, PhysicalStreamFactory* factory);
    // StopAllStreams.
    virtual ~StreamProcessorManager();
    StreamProcessorManager(const StreamProcessorManager&) = delete;
    StreamProcessorManager& operator=(const StreamProcessorManager&) = delete;

    StreamDeviceServices* GetServices() const { return m_services; }
    PhysicalStreamFactory* GetFactory() const { return m_factory; }
    // The factory of the processors made from now on (the physical streams give theirs).
    void SetFactory(PhysicalStreamFactory* factory) { m_factory = factory; }

    // A pin leaves Stop: it joins the processor of its kind, which is made (with its stream) for
    // the first pin. *stream receives the stream.
    virtual NTSTATUS VideoStreamFromStopToAcquire(StreamProcessorPin* pin, LogicalStream** stream);
    virtual NTSTATUS AudioStreamFromStopToAcquire(StreamProcessorPin* pin, LogicalStream** stream);
    NTSTATUS AttachToCompatibleVideoStreamProcessor(StreamProcessorPin* pin, LogicalStream** stream);
    NTSTATUS AttachToCompatibleAudioStreamProcessor(StreamProcessorPin* pin, LogicalStream** stream);
    // A new processor in the slot (index 0), or null (0xC0071000 logged) when the slot is taken.
    StreamProcessor* CreateNewVideoStreamProcessor(StreamDeviceServices* services, ULONG* index);
    StreamProcessor* CreateNewAudioStreamProcessor(StreamDeviceServices* services, ULONG* index);

    // The other transitions: the pin's stream must have id 0 (0xC0071001), its processor must
    // exist (0xC0071003). After Acquire to Stop a processor without pins goes.
    virtual NTSTATUS VideoStreamFromAcquireToPause(StreamProcessorPin* pin);
    virtual NTSTATUS VideoStreamFromPauseToRun(StreamProcessorPin* pin);
    virtual NTSTATUS VideoStreamFromRunToPause(StreamProcessorPin* pin);
    virtual NTSTATUS VideoStreamFromPauseToAcquire(StreamProcessorPin* pin);
    virtual NTSTATUS VideoStreamFromAcquireToStop(StreamProcessorPin* pin);
    virtual NTSTATUS AudioStreamFromAcquireToPause(StreamProcessorPin* pin);
    virtual NTSTATUS AudioStreamFromPauseToRun(StreamProcessorPin* pin);
    virtual NTSTATUS AudioStreamFromRunToPause(StreamProcessorPin* pin);
    virtual NTSTATUS AudioStreamFromPauseToAcquire(StreamProcessorPin* pin);
    virtual NTSTATUS AudioStreamFromAcquireToStop(StreamProcessorPin* pin);

    // 0 when either processor's stream is `stream`, else 0xC0000001.
    NTSTATUS ValidateLogicalStream(LogicalStream* stream);
    // The stale-proof form the DSP's completions take: whether `handle` still names a live stream
    // of the device's table, and with `reference` a rundown reference on it (held until the
    // reference is given back). False for a null, stale or revoked handle.
    bool ValidateLogicalStream(LogicalStreamHandle handle, LogicalStreamReference* reference);
    // Device stop with pins open: every pin is detached first (its sink out of the tree, the sink
    // its pin's still), then both processors and their streams are destroyed. Result 0.
    NTSTATUS StopAllStreams();
    // The first pin of `pinType` whose kernel-streaming filter is `filter`; null for a null filter.
    StreamProcessorPin* FindVideoStreamingPin(PKSFILTER filter, ULONG pinType);
    StreamProcessorPin* FindAudioStreamingPin(PKSFILTER filter, ULONG pinType);
    // The processor for index 0, null otherwise.
    StreamProcessor* GetVideoStreamProcessor(ULONG index);
    StreamProcessor* GetAudioStreamProcessor(ULONG index);
    // Video pins (types 1 to 4) whose state is at least `state`.
    ULONG GetCountOfVideoStreamsAtState(LONG state);
    // Rebuilds the chains of the filter's pins of `pinType` that feed a stream. 0xC0071054 (video)
    // or 0xC0071055 (audio) for a null filter.
    NTSTATUS ModifyActiveVideoAlgorithmChains(BasicFilter* filter, ULONG pinType);
    NTSTATUS ModifyActiveAudioAlgorithmChains(BasicFilter* filter, ULONG pinType);

private:
    enum class Kind { Video, Audio };
    StreamProcessor*& Slot(Kind kind) { return kind == Kind::Video ? m_videoProcessor : m_audioProcessor; }
    StreamProcessor* GetProcessor(Kind kind);
    NTSTATUS StreamFromStopToAcquire(Kind kind, StreamProcessorPin* pin, LogicalStream** stream);
    NTSTATUS AttachToCompatible(Kind kind, StreamProcessorPin* pin, LogicalStream** stream, bool* attached);
    StreamProcessor* CreateNew(Kind kind, StreamDeviceServices* services, ULONG* index);
    enum class Transition { AcquireToPause, PauseToRun, RunToPause, PauseToAcquire, AcquireToStop };
    NTSTATUS Route(Kind kind, Transition transition, StreamProcessorPin* pin, const char* functionName);
    NTSTATUS ModifyActive(Kind kind, BasicFilter* filter, ULONG pinType);
    // Takes the processor out of its slot when it is still `processor`; the caller destroys it.
    bool Unlink(Kind kind, StreamProcessor* processor);

    StreamProcessor* m_videoProcessor = nullptr;
    StreamProcessor* m_audioProcessor = nullptr;
    KPLXFastLock m_lock;
    StreamDeviceServices* m_services;
    PhysicalStreamFactory* m_factory;
};
