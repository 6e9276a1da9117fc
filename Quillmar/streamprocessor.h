// StreamProcessor: binds the pins that feed from one logical stream. Its pin table has one row per
// kernel-streaming pin id (16 slots a row, filled from slot 0 without gaps); each pin transition
// runs the pin's own step and passes to the shared stream only when no other pin holds the stream
// at that level. The processor owns the stream: it goes with the processor.
//
// The video processor has 5 rows from pin type 1 (pin ids 1 to 4 are used), the audio processor 9
// rows from pin type 0. The processor's lock covers every transition and every walk of the table.
#pragma once
#include "kernel/driverheap.h"
#include "kplxfastlock.h"
#include "km/ksfilter.h"
#include "km/types.h"

class BasicFilter;
class LogicalStream;
class StreamProcessorManager;
class StreamProcessorPin;
class StreamProcessorQueue;

class StreamProcessor : public DriverAllocated {
public:
    static constexpr ULONG kSlotsPerRow = 16;
    static constexpr ULONG kMaximumRows = 9;

    // Rows beyond kMaximumRows are not kept.
    StreamProcessor(StreamProcessorManager* manager, StreamProcessorQueue* queue, ULONG firstPinType, ULONG rowCount);
    // Destroys the stream (whose own shutdown walks it down to Stop).
    virtual ~StreamProcessor();
    StreamProcessor(const StreamProcessor&) = delete;
    StreamProcessor& operator=(const StreamProcessor&) = delete;

    // The shared release operation: destroys the processor.
    void Release() { delete this; }

    // Makes the processor's physical stream for its first pin, which goes into slot 0 of its row,
    // and takes the stream to Acquire. On failure the stream is destroyed and *stream is null.
    virtual NTSTATUS StreamFromStopToAcquire(ULONG streamIndex, StreamProcessorPin* pin, LogicalStream** stream) = 0;

    // The pin into the first free slot of its row; it learns the queue and the stream, which
    // *stream receives. 0xC000009A (0xC0071000 logged) when the row is full; 0xC007100B for a pin
    // type outside the table.
    NTSTATUS AttachToStream(StreamProcessorPin* pin, LogicalStream** stream);
    // Null for a pin type outside first .. rows - 1, or a slot outside 0..15.
    StreamProcessorPin* GetStreamingPin(ULONG pinType, ULONG slot);
    LogicalStream* GetStreamPtr() const { return m_stream; }
    StreamProcessorQueue* GetQueue() const { return m_queue; }
    ULONG GetActivePinCount();
    // Clears every slot.
    void StopAllPins();

    // The pin transitions (table in docs/driver-logical-stream.md).
    virtual NTSTATUS StreamFromAcquireToPause(StreamProcessorPin* pin);
    virtual NTSTATUS StreamFromPauseToRun(StreamProcessorPin* pin);
    virtual NTSTATUS StreamFromRunToPause(StreamProcessorPin* pin);
    virtual NTSTATUS StreamFromPauseToAcquire(StreamProcessorPin* pin);
    virtual NTSTATUS StreamFromAcquireToStop(StreamProcessorPin* pin);

    // ---- Walks of the table for the manager, under the processor's lock ----
    // The first pin of the type, in slots 0..15, whose kernel-streaming filter is `filter`.
    StreamProcessorPin* FindStreamingPin(PKSFILTER filter, ULONG pinType);
    // Pins of types first .. last whose state is at least `state`.
    ULONG CountPinsAtState(LONG state, ULONG firstType, ULONG lastType);
    // Rebuilds the chains of the pins of `pinType` that belong to `filter` and feed a stream.
    void ModifyActiveAlgorithmChains(BasicFilter* filter, ULONG pinType);
    // Calls `visit` with each pin that feeds the stream and its pin type, under the processor's
    // lock (the pins stay in the table meanwhile). `visit` must not call back into the processor.
    void ForEachStreamingPin(void (*visit)(StreamProcessorPin* pin, ULONG pinType, void* context), void* context);
    // The stream goes while pins are open: each pin detaches (its sink out of the tree, its
    // stream and queue forgotten) and every slot is cleared.
    void DetachAllPins();

protected:
    // The row of the pin's type, or null when the type is outside the table.
    StreamProcessorPin** RowOf(ULONG pinType);
    // Lock held. Whether the pin is in the table, and how many other pins are in a state from
    // `minimum` to `maximum`.
    bool CountOtherPins(StreamProcessorPin* pin, LONG minimum, LONG maximum, ULONG* others);
    // Lock held: the pin leaves its slot (later slots move down one).
    void RemovePin(StreamProcessorPin* pin);
    // Lock held: the pin joins slot 0 of its row (the first pin of a new stream).
    bool PutFirstPin(StreamProcessorPin* pin);
    void SetStream(LogicalStream* stream) { m_stream = stream; }
    // Lock held: forgets the stream and destroys it, with the pin of slot 0 taken out again.
    void DiscardStream(StreamProcessorPin* pin);
    // The shared end of both StreamFromStopToAcquire forms: `created`, what the factory made (or
    // null), becomes the processor's stream with id `streamIndex`, the pin goes into slot 0, then
    // the pin's and the stream's Stop to Acquire. Every failure leaves the processor without stream.
    NTSTATUS StartFirstPin(ULONG streamIndex, StreamProcessorPin* pin, LogicalStream* created, LogicalStream** stream,
                           const char* functionName);
    NTSTATUS PinNotFound(StreamProcessorPin* pin, NTSTATUS messageId, const char* functionName);
    StreamProcessorManager* GetManager() const { return m_manager; }
    KPLXFastLock* GetLock() { return &m_lock; }

private:
    StreamProcessorManager* m_manager;
    StreamProcessorQueue* m_queue;
    LogicalStream* m_stream = nullptr;
    KPLXFastLock m_lock;
    StreamProcessorPin* m_pins[kMaximumRows][kSlotsPerRow] = {};
    ULONG m_firstPinType;
    ULONG m_rowCount;
};
