// What the test modules tell the tests: a shared library that stays loaded while the modules come
// and go, holding the events they record (DllMain reasons, object construction and release) with
// the module's name and the calling thread.
#pragma once
#include <string>
#include <vector>

struct ModuleEvent {
    std::string module;
    std::string event; // "process-attach", "thread-attach", ..., or a module's own word
    unsigned long thread = 0;
};

extern "C" void ModuleLogRecord(const char* module, const char* event);

// The events recorded since the last call, oldest first.
std::vector<ModuleEvent> ModuleLogTake();
// How many of `events` are `event` of `module`.
size_t ModuleLogCount(const std::vector<ModuleEvent>& events, const std::string& module,
                      const std::string& event);
