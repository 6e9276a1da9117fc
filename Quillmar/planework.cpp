// Plane row copies and the exception guard of bulk plane work (see planework.h).
#include "planework.h"

#include "imaging/imaging.h"
#include "messages/Talvexon.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <atomic>
#include <cstring>

namespace {

// Injected exceptions still to throw, and the status they carry (constant-initialised).
std::atomic<ULONG> g_injectedExceptions{0};
std::atomic<NTSTATUS> g_injectedStatus{STATUS_ACCESS_VIOLATION};

} // namespace

void CopyPlaneRows(const UCHAR* source, LONG sourceStride, UCHAR* destination, LONG destinationStride,
                   LONG widthBytes, LONG rows)
{
    if (source == nullptr || destination == nullptr || widthBytes <= 0 || rows <= 0)
        return;
    if (rows % 10 == 0 &&
        CopyPlane(source, sourceStride, destination, destinationStride, widthBytes, rows) == StatusOk)
        return;
    // The row loop serves every other count, and any geometry the primitive refuses.
    for (LONG row = 0; row < rows; ++row)
        std::memcpy(destination + ptrdiff_t(row) * destinationStride, source + ptrdiff_t(row) * sourceStride,
                    size_t(widthBytes));
}

void ReportPlaneWorkException(const void* object, const char* functionName, ULONG code, const char* description)
{
    TRACE_STATUS(object, functionName, kTraceErrors, MSG_EXCEPTION_CAUGHT_WHILE_ATTEMPTING,
                 "Exception 0x%08x caught while attempting to %s", code, description ? description : "");
}

void ThrowInjectedPlaneWorkException()
{
    ULONG pending = g_injectedExceptions.load();
    while (pending != 0) {
        if (g_injectedExceptions.compare_exchange_weak(pending, pending - 1))
            throw standin::RaisedStatus(g_injectedStatus.load());
    }
}

void InjectPlaneWorkExceptions(ULONG count, NTSTATUS status)
{
    g_injectedStatus.store(status);
    g_injectedExceptions.store(count);
}

ULONG PendingPlaneWorkExceptions()
{
    return g_injectedExceptions.load();
}
