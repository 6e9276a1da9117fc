// Letters and exit levels of the trace levels, and the "Parameters" trace switches.
#include "tracelevels.h"

char TraceLevelLetter(ULONG level)
{
    switch (level) {
    case kTraceGenerals: return 'G';
    case kTraceErrors: return 'E';
    case kTraceWarnings: return 'W';
    case kTraceDevelopers: return 'D';
    case kTraceLows: return 'L';
    case kTraceHighs: return 'H';
    case kTraceEnter:
    case kTraceHighEnter:
    case kTraceLowEnter:
    case kTraceLocksEnter: return '>';
    case kTraceExit:
    case kTraceHighExit:
    case kTraceLowExit:
    case kTraceLocksExit: return '<';
    case kTraceLocks: return 'L';
    case kTraceUnassigned: return 'U';
    case kTraceTimeStamps: return 'T';
    case kTraceAlways: return 'A';
    default: return 0;
    }
}

ULONG TraceExitLevel(ULONG entryLevel)
{
    switch (entryLevel) {
    case kTraceLowEnter: return kTraceLowExit;
    case kTraceEnter: return kTraceExit;
    case kTraceHighEnter: return kTraceHighExit;
    case kTraceLocksEnter: return kTraceLocksExit;
    default: return entryLevel;
    }
}

const TraceSwitch kTraceSwitches[kTraceSwitchCount] = {
    {u"TraceGenerals", kTraceGenerals},
    {u"TraceErrors", kTraceErrors},
    {u"TraceWarnings", kTraceWarnings},
    {u"TraceDevelopers", kTraceDevelopers},
    {u"TraceHighs", kTraceHighs},
    {u"TraceLows", kTraceLows},
    {u"TraceEnterExit", kTraceEnter | kTraceExit},
    {u"TraceHighEnterExit", kTraceHighEnter | kTraceHighExit},
    {u"TraceLowEnterExit", kTraceLowEnter | kTraceLowExit},
    {u"TraceLocks", kTraceLocks},
    {u"TraceLocksEnterExit", kTraceLocksEnter | kTraceLocksExit},
};
