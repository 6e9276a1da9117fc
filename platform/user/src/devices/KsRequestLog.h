// Recording one device-control request in the kernel-streaming request log.
#pragma once
#include "standin/ksrequests.h"

namespace user {

// Records the request when its code is of the kernel-streaming device type.
void LogKsRequest(HANDLE handle, ULONG code, const void* input, ULONG inputLength, ULONG outputLength,
                  ULONG returned, LONG status);

} // namespace user
