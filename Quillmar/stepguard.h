// The exception guard of the processing steps that change a picture in bulk (deinterlace, the
// colour adjustments): the frames' plane-work guard (planework.h), reporting only the first ten
// exceptions a step meets. A step that faults on every frame of a running stream would otherwise
// write one event-log entry per frame.
#pragma once
#include "planework.h"
#include "km/types.h"

// Exceptions of one step that are logged; later ones are counted only.
inline constexpr ULONG kLoggedStepExceptions = 10;

// Runs work() under the guard; true when it ran to its end. A caught exception increments
// *exceptionCount and, while the count is at most kLoggedStepExceptions, writes 0xC0071085 with
// "Exception 0x%08x caught while attempting to %s" (`description` completing the text).
template <typename Work>
bool GuardedStepWork(const void* object, const char* functionName, const char* description, ULONG* exceptionCount,
                     Work&& work)
{
    ULONG code = kCppExceptionCode;
    try {
        ThrowInjectedPlaneWorkException();
        work();
        return true;
    } catch (const standin::RaisedStatus& raised) {
        code = static_cast<ULONG>(raised.status);
    } catch (...) {
    }
    if (*exceptionCount < 0xFFFFFFFFu)
        ++*exceptionCount;
    if (*exceptionCount <= kLoggedStepExceptions)
        ReportPlaneWorkException(object, functionName, code, description);
    return false;
}
