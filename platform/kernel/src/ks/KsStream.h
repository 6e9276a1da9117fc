// The framework's tables behind streaming: each pin's queue, and the frame buffers callers have
// registered for their stream headers' Data cookies.
#pragma once
#include "KsQueue.h"

#include <cstdint>
#include <memory>

namespace standin {

// The pin's queue; made on first need when `create`, else NULL while the pin has none.
std::shared_ptr<KsQueue> KsQueueOfPin(PKSPIN pin, bool create);
// The buffer registered under `cookie`: its address and length; false when the cookie is unknown.
bool KsResolveStreamBuffer(uint32_t cookie, PUCHAR* data, ULONG* length);
// A pin closing: its queue is flushed, the clones the driver left are deleted, the queue forgotten.
void KsPinEndStream(PKSPIN pin);
// Whether the pin's state calls for Process: Pause or Run, only Run with
// KSPIN_FLAG_PROCESS_IN_RUN_STATE_ONLY, never with KSPIN_FLAG_DO_NOT_INITIATE_PROCESSING.
bool KsPinProcesses(PKSPIN pin);
// Calls the pin's Process dispatch, one call at a time per pin.
void KsPinCallProcess(PKSPIN pin, KsQueue& queue);

} // namespace standin
