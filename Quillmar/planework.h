// Plane work shared by the frames and the steps that copy frame memory in bulk: the copy of a
// plane's rows (the image primitive for row counts that are a multiple of 10, a row loop
// otherwise) and the exception guard every bulk plane operation runs under.
//
// The guard catches what a plane operation throws (a raised status, or any other C++ exception),
// writes the event-log entry 0xC0071085 with the trace line
// "Exception 0x%08x caught while attempting to %s" (the raised status, or 0xE06D7363 for other
// C++ exceptions, and the description of the work) and lets the caller go on with its next plane.
//
// Tests make a guard see an exception with InjectPlaneWorkExceptions: the next `count` guarded
// operations (any thread, any caller) throw standin::RaisedStatus(status) instead of running.
#pragma once
#include "km/raise.h"
#include "km/status.h"
#include "km/types.h"

#include <exception>

// The code logged for a C++ exception that is not a raised status.
inline constexpr ULONG kCppExceptionCode = 0xE06D7363;

// Copies `rows` rows of `widthBytes` bytes; nothing for non-positive sizes or null planes.
// CopyPlane serves row counts that are a multiple of 10, a row loop every other count.
void CopyPlaneRows(const UCHAR* source, LONG sourceStride, UCHAR* destination, LONG destinationStride,
                   LONG widthBytes, LONG rows);

// Writes the guard's event-log entry and trace line for a caught exception.
void ReportPlaneWorkException(const void* object, const char* functionName, ULONG code, const char* description);

// Throws the injected exception when one is pending (see the file comment).
void ThrowInjectedPlaneWorkException();

// Runs work() under the guard; true when it ran to its end, false when an exception was caught
// and reported. `description` completes "caught while attempting to ..." ("copy Y plane").
template <typename Work>
bool GuardedPlaneWork(const void* object, const char* functionName, const char* description, Work&& work)
{
    try {
        ThrowInjectedPlaneWorkException();
        work();
        return true;
    } catch (const standin::RaisedStatus& raised) {
        ReportPlaneWorkException(object, functionName, static_cast<ULONG>(raised.status), description);
    } catch (const std::exception&) {
        ReportPlaneWorkException(object, functionName, kCppExceptionCode, description);
    } catch (...) {
        ReportPlaneWorkException(object, functionName, kCppExceptionCode, description);
    }
    return false;
}

// Test seam: the next `count` guarded operations throw standin::RaisedStatus(status); 0 cancels.
void InjectPlaneWorkExceptions(ULONG count, NTSTATUS status = STATUS_ACCESS_VIOLATION);
// Injected exceptions not yet thrown.
ULONG PendingPlaneWorkExceptions();
