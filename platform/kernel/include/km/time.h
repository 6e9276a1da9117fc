// Kernel time: system time, the performance counter, local time, calendar fields, the timer
// resolution and short busy-waits. All of it reads the process clock (platform/Clock.h), so a
// raised clock speed factor speeds every reading and stall alike. Sleeping is KeDelayExecutionThread
// (km/sync.h).
#pragma once
#include "km/types.h"

#include <vector>

using CSHORT = SHORT;

struct TIME_FIELDS {
    CSHORT Year;         // 1601 onwards
    CSHORT Month;        // 1 to 12
    CSHORT Day;          // 1 to 31
    CSHORT Hour;         // 0 to 23
    CSHORT Minute;       // 0 to 59
    CSHORT Second;       // 0 to 59
    CSHORT Milliseconds; // 0 to 999
    CSHORT Weekday;      // 0 = Sunday
};
using PTIME_FIELDS = TIME_FIELDS*;
static_assert(sizeof(TIME_FIELDS) == 16);

// The performance counter counts 100-ns units of simulated time since the clock started.
#define STANDIN_PERFORMANCE_FREQUENCY 10000000LL

extern "C" {
// 100-ns units since 1601-01-01 00:00 UTC.
VOID NTAPI KeQuerySystemTime(PLARGE_INTEGER CurrentTime);
// The counter, and its frequency (10 MHz) when PerformanceFrequency is not NULL.
LARGE_INTEGER NTAPI KeQueryPerformanceCounter(PLARGE_INTEGER PerformanceFrequency);
// Local time = system time - the time-zone bias (standin::SetTimeZoneBias).
VOID NTAPI ExSystemTimeToLocalTime(PLARGE_INTEGER SystemTime, PLARGE_INTEGER LocalTime);
// Splits a time (100-ns units since 1601) into calendar fields of the proleptic Gregorian calendar.
VOID NTAPI RtlTimeToTimeFields(PLARGE_INTEGER Time, PTIME_FIELDS TimeFields);
// SetResolution TRUE asks for DesiredTime (100-ns units, bounded to 5,000..156,250); FALSE withdraws
// the most recent request still standing. Returns the resolution in effect afterwards: the finest
// standing request, or 156,250 when none stands. Wait time-outs and sleeps end at its ticks.
ULONG NTAPI ExSetTimerResolution(ULONG DesiredTime, BOOLEAN SetResolution);
// Busy-waits until MicroSeconds of simulated time have passed; allowed at any IRQL; not rounded
// to the timer tick.
VOID NTAPI KeStallExecutionProcessor(ULONG MicroSeconds);
}

#define STANDIN_DEFAULT_TIMER_RESOLUTION 156250UL
#define STANDIN_MINIMUM_TIMER_RESOLUTION 5000UL

