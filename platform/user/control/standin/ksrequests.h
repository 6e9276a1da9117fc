// The log of kernel-streaming requests made from user mode: every device-control request of the
// kernel-streaming device type (properties, methods, events, stream reads and the drivers' private
// codes of that type), whether an application sent it with DeviceIoControl or KsSynchronousDeviceControl
// or the proxy filter sent it for a graph. Tests read it to check exact requests on the wire.
// Stand-in facilities, not Windows functions.
#pragma once
#include "um/windef.h"

#include <cstddef>
#include <vector>

namespace standin {

struct KsRequestRecord {
    HANDLE handle = nullptr;
    ULONG ioControl = 0;
    // The KSIDENTIFIER at the start of the input (property, method and event requests with at least 24
    // input bytes); zero otherwise.
    GUID set{};
    ULONG id = 0;
    ULONG flags = 0;
    ULONG inputLength = 0;
    ULONG outputLength = 0;
    std::vector<BYTE> input; // the first kMaxLoggedInput bytes of the input
    ULONG returned = 0;      // the byte count the request gave back
    LONG status = 0;         // the request's final NTSTATUS
};

constexpr size_t kMaxLoggedInput = 4096;
// The log keeps the newest records only.
constexpr size_t kMaxLoggedRequests = 8192;

// The records in the order the requests finished.
std::vector<KsRequestRecord> KsRequests();
void ClearKsRequests();

} // namespace standin
