// StreamProcessorPin: a streaming pin as the stream engine sees it. It extends what the sink asks
// of its pin (StreamingPinInterface) with what the stream processors route and build: the pin's
// filter, the logical stream and processing queue it feeds from, its own steps of the six state
// transitions, the chain of processing steps it builds, the audio format of audio pins, and its
// detachment from a stream that is torn down while the pin is open.
//
// The processors call every operation under their own lock, on the kernel-streaming thread that
// changes the pin's state (the framework serialises those under the device mutex).
#pragma once
#include "km/types.h"
#include "streamingpininterface.h"

#include <cstddef>

class Algorithm;
class AlgorithmList;
class BasicFilter;
class LogicalStream;
class StreamProcessorQueue;

// The pin's connection format as an audio stream reads it: the layout of the extensible wave
// format (40 bytes).
struct StreamAudioFormat {
    USHORT formatTag;
    USHORT channels;
    ULONG samplesPerSecond;
    ULONG averageBytesPerSecond;
    USHORT blockAlign;
    USHORT bitsPerSample;
    USHORT extraSize;
    USHORT validBitsPerSample;
    ULONG channelMask;
    GUID subFormat;
};
static_assert(sizeof(StreamAudioFormat) == 40);
static_assert(offsetof(StreamAudioFormat, validBitsPerSample) == 18);
static_assert(offsetof(StreamAudioFormat, subFormat) == 24);

class StreamProcessorPin : public StreamingPinInterface {
public:
    // The filter the pin belongs to (null when it has none), and that filter's kernel-streaming
    // object.
    virtual BasicFilter* GetFilter() const = 0;
    virtual PKSFILTER GetKsFilter() const = 0;

    // The logical stream the pin is attached to (null while it is not) and the queue that runs
    // the stream's frames; the processors set both and clear them when the pin leaves.
    virtual LogicalStream* GetLogicalStream() const = 0;
    virtual void SetLogicalStream(LogicalStream* stream) = 0;
    virtual StreamProcessorQueue* GetStreamProcessorQueue() const = 0;
    virtual void SetStreamProcessorQueue(StreamProcessorQueue* queue) = 0;

    // The pin's own part of each transition (its state, its chain, its statistics).
    virtual NTSTATUS StreamFromStopToAcquire() = 0;
    virtual NTSTATUS StreamFromAcquireToPause() = 0;
    virtual NTSTATUS StreamFromPauseToRun() = 0;
    virtual NTSTATUS StreamFromRunToPause() = 0;
    virtual NTSTATUS StreamFromPauseToAcquire() = 0;
    virtual NTSTATUS StreamFromAcquireToStop() = 0;

    // Appends the pin's chain of processing steps, its sink last, to `list`.
    virtual NTSTATUS BuildAlgorithmChain(AlgorithmList* list) = 0;
    // The pin's sink (its FrameProcessedSink, algorithm id 1) in its stream's tree; null when it
    // has none.
    virtual Algorithm* GetFrameSink() const = 0;
    // Audio pins: their connection format. False when the pin has none (video pins).
    virtual bool GetAudioFormat(StreamAudioFormat* format) const = 0;

    // The stream goes while the pin is open (device stop or removal): the pin takes its sink out
    // of the stream's tree (the sink stays the pin's) and forgets the stream and the queue.
    virtual void DetachFromStream() = 0;

protected:
    ~StreamProcessorPin() = default;
};
