// The stand-in's debugger: what DbgPrint sent, kept for tests and optionally echoed to stderr.
#include "Debugger.h"

#include "km/debug.h"
#include "standin/debugger.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace standin {

Debugger::Debugger() : records_(kDebugOutputCapacity)
{
    const char* setting = std::getenv("STANDIN_DBGPRINT_STDERR");
    echo = setting && *setting && std::strcmp(setting, "0") != 0;
}

Debugger& Debugger::Instance()
{
    static Debugger* output = new Debugger; // never destroyed: drivers may print at exit
    return *output;
}

void Debugger::Print(std::string text, bool truncated)
{
    if (truncated)
        ++truncated_;
    // The echo happens under the record's lock, so stderr shows the texts in the recorded order.
    records_.Add(
        std::move(text), [](std::string&, uint64_t) {},
        [this](const std::string& kept) {
            if (echo)
                std::fwrite(kept.data(), 1, kept.size(), stderr);
        });
}

void Debugger::Clear()
{
    records_.Clear();
    truncated_ = 0;
}

std::vector<std::string> DebugOutput()
{
    return Debugger::Instance().Records().Items();
}

uint64_t DebugOutputDropped()
{
    return Debugger::Instance().Records().Dropped();
}

uint64_t DebugOutputTruncated()
{
    return Debugger::Instance().Truncated();
}

void DebugOutputClear()
{
    Debugger::Instance().Clear();
}

void SetDebugOutputCapacity(size_t capacity)
{
    Debugger::Instance().Records().SetCapacity(capacity);
}

void SetDebugOutputEcho(bool echo)
{
    Debugger::Instance().echo = echo;
}

bool DebugOutputEcho()
{
    return Debugger::Instance().echo;
}

} // namespace standin
