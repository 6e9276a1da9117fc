// TraceScope: the trace of one function call. Construction prints the entry line at the scope's
// level (with an optional printf-style text), destruction the exit line at the matching exit level,
// both only when the logger exists and its mask had a bit of the level when the scope began.
#pragma once
#include "km/types.h"
#include "tracelevels.h"

class TraceScope {
public:
    TraceScope(const void* object, const char* functionName, const char* sourceFile, int line, ULONG level,
               const char* format = nullptr, ...);
    ~TraceScope();
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

    bool Enabled() const { return m_enabled; }

private:
    char* m_functionName = nullptr; // copies from non-paged pool
    char* m_sourceFile = nullptr;
    const void* m_object = nullptr;
    int m_line = 0;
    ULONG m_level = 0;
    bool m_enabled = false;
};

// A scope for the enclosing method: TRACE_SCOPE(this, "Driver::DriverEntry", kTraceLowEnter) or
// with an entry text, TRACE_SCOPE(this, "KPLXFastLock::Unlock", kTraceLocksEnter, "pLocker=0x%p", p).
#define TRACE_SCOPE(object, functionName, ...)                                                                   \
    TraceScope traceScope_((object), (functionName), __FILE__, __LINE__, __VA_ARGS__)

// A line at `level` from the enclosing method, and a failure with its event-log entry.
#define TRACE_LINE(object, functionName, level, ...)                                                             \
    TraceLogger::Trace(TraceLogger::Instance(), (object), (functionName), __FILE__, __LINE__, (level), __VA_ARGS__)
#define TRACE_STATUS(object, functionName, level, messageId, ...)                                                \
    TraceLogger::TraceStatus(TraceLogger::Instance(), (object), (functionName), __FILE__, __LINE__, (level),       \
                             (messageId), __VA_ARGS__)
