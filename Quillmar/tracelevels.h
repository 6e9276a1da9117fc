// Trace levels and mask bits of the driver's trace facility. A line is printed only when its level
// is one of the line levels below and every bit of it is set in the trace mask; the mask bits of
// the "Parameters" switches are the same values.
#pragma once
#include "km/types.h"

// Line levels, each with its letter in the printed line.
inline constexpr ULONG kTraceGenerals = 0x1;          // "TraceGenerals", G
inline constexpr ULONG kTraceErrors = 0x2;            // "TraceErrors", E: event-log writes
inline constexpr ULONG kTraceWarnings = 0x4;          // "TraceWarnings", W
inline constexpr ULONG kTraceDevelopers = 0x8;        // "TraceDevelopers", D
inline constexpr ULONG kTraceLows = 0x10;             // "TraceLows", L
inline constexpr ULONG kTraceHighs = 0x20;            // "TraceHighs", H: most printed lines
inline constexpr ULONG kTraceEnter = 0x40;            // "TraceEnterExit" entry: request handlers, register access
inline constexpr ULONG kTraceLocks = 0x80;            // "TraceLocks", L: lock contention
inline constexpr ULONG kTraceUnassigned = 0x100;      // no switch, U
inline constexpr ULONG kTraceHighEnter = 0x200;       // "TraceHighEnterExit" entry: DSP, protocol and command methods
inline constexpr ULONG kTraceLowEnter = 0x400;        // "TraceLowEnterExit" entry: ordinary methods
inline constexpr ULONG kTraceExit = 0x800;            // exit of kTraceEnter scopes
inline constexpr ULONG kTraceLowExit = 0x1000;        // exit of kTraceLowEnter scopes
inline constexpr ULONG kTraceHighExit = 0x2000;       // exit of kTraceHighEnter scopes
inline constexpr ULONG kTraceLocksEnter = 0x4000;     // "TraceLocksEnterExit" entry: the locks
inline constexpr ULONG kTraceLocksExit = 0x8000;      // exit of kTraceLocksEnter scopes
inline constexpr ULONG kTraceTimeStamps = 0x10000;    // "TraceTimeStamps", T
inline constexpr ULONG kTraceAlways = 0x40000000;     // always in the mask, A
inline constexpr ULONG kTraceLogToFile = 0x80000000;  // "LogTraceToFile": not a line level; also queue lines for the log file

// Bits 17 to 29 belong to no switch: a support-settings record that sets any of them is refused.
inline constexpr ULONG kTraceInvalidBits = 0x3FFE0000;

// The letter of a line level, or 0 when the value is no line level (nothing is printed at it).
char TraceLevelLetter(ULONG level);
// The exit level of a scope's entry level (0x400 -> 0x1000, 0x40 -> 0x800, 0x200 -> 0x2000,
// 0x4000 -> 0x8000); any other level is its own exit level.
ULONG TraceExitLevel(ULONG entryLevel);

// One "Parameters" switch: its value name and the mask bits it sets when not 0.
struct TraceSwitch {
    const char16_t* valueName;
    ULONG bits;
};
// The eleven switches in the order the driver reads them ("TraceGenerals" ... "TraceLocksEnterExit").
inline constexpr ULONG kTraceSwitchCount = 11;
extern const TraceSwitch kTraceSwitches[kTraceSwitchCount];
