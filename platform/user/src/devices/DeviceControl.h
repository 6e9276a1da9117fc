// DeviceIoControl with a notice of the moment the driver has taken the request: the proxy's reading
// threads learn when their read is queued, as an overlapped caller would when its call returns.
#pragma once
#include "um/windef.h"

#include <functional>

namespace user {

// DeviceIoControl without an OVERLAPPED record; `dispatched` runs on this thread once the driver's
// dispatch routine has returned (not at all when the request is refused before it reaches the driver).
BOOL DeviceControl(HANDLE device, DWORD code, LPVOID input, DWORD inputLength, LPVOID output, DWORD outputLength,
                   LPDWORD bytesReturned, const std::function<void()>& dispatched);

} // namespace user
