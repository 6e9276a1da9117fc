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

} // namespace standin
