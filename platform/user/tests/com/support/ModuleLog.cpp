// The test modules' event log.
#include "ModuleLog.h"

#include "um/processthreadsapi.h"

#include <mutex>

namespace {

std::mutex g_lock;
std::vector<ModuleEvent> g_events;

} // namespace

extern "C" void ModuleLogRecord(const char* module, const char* event)
{
    const unsigned long thread = GetCurrentThreadId();
    std::lock_guard<std::mutex> hold(g_lock);
    g_events.push_back({module, event, thread});
}

std::vector<ModuleEvent> ModuleLogTake()
{
    std::lock_guard<std::mutex> hold(g_lock);
    std::vector<ModuleEvent> events;
    events.swap(g_events);
    return events;
}

size_t ModuleLogCount(const std::vector<ModuleEvent>& events, const std::string& module,
                      const std::string& event)
{
    size_t count = 0;
    for (const auto& e : events)
        if (e.module == module && e.event == event)
            ++count;
    return count;
}
