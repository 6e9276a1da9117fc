// The bus's fault hook.
#include "platform/bus/BusFault.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {

struct HookState {
    std::mutex lock;
    BusFaultHook hook;
};

HookState& State()
{
    static HookState* state = new HookState; // never destroyed: models may report from threads at exit
    return *state;
}

} // namespace

BusFaultHook SetBusFaultHook(BusFaultHook hook)
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    s.hook.swap(hook);
    return hook;
}

void ReportBusFault(const char* rule, const std::string& detail)
{
    try {
        BusFaultHook hook;
        {
            auto& s = State();
            std::lock_guard<std::mutex> hold(s.lock);
            hook = s.hook;
        }
        // Called outside the lock so that a hook may itself reach the bus.
        if (hook)
            hook(rule, detail);
        else
            std::fprintf(stderr, "bus: %s: %s\n", rule, detail.c_str());
    } catch (...) {
        // A fault report must never turn into a second failure.
    }
}

} // namespace platform
