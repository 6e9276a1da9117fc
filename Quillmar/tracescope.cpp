// TraceScope: entry and exit lines of one function call.
#include "tracescope.h"

#include "kernel/poolallocation.h"
#include "tracelogger.h"

#include <cstdarg>
#include <cstring>

namespace {

char* CopyName(const char* name)
{
    if (!name)
        return nullptr;
    const size_t length = strlen(name);
    auto* copy = static_cast<char*>(AllocatePoolPlain(length + 1));
    if (copy)
        memcpy(copy, name, length + 1);
    return copy;
}

} // namespace

TraceScope::TraceScope(const void* object, const char* functionName, const char* sourceFile, int line, ULONG level,
                       const char* format, ...)
    : m_object(object), m_line(line), m_level(level)
{
    TraceLogger* logger = TraceLogger::Instance();
    if (!logger || (logger->GetTraceMask() & level) == 0)
        return;
    m_enabled = true;
    m_functionName = CopyName(functionName);
    m_sourceFile = CopyName(sourceFile);
    va_list args;
    va_start(args, format);
    TraceLogger::TraceV(logger, object, m_functionName ? m_functionName : "", m_sourceFile ? m_sourceFile : "", line,
                        level, format, args);
    va_end(args);
}

TraceScope::~TraceScope()
{
    if (m_enabled) {
        TraceLogger::Trace(TraceLogger::Instance(), m_object, m_functionName ? m_functionName : "",
                           m_sourceFile ? m_sourceFile : "", m_line, TraceExitLevel(m_level), nullptr);
    }
    FreePool(m_functionName);
    FreePool(m_sourceFile);
}
