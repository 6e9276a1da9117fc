// Record of rule breaches and the registered leak checks.
#include "standin/verifier.h"

#include <cstdio>
#include <map>
#include <mutex>

namespace standin {
namespace {

struct VerifierState {
    std::mutex lock;
    std::vector<VerifierViolation> violations;
    std::map<std::string, LeakCheck> leakChecks;
    bool echo = true;
};

VerifierState& State()
{
    static VerifierState* state = new VerifierState; // never destroyed: threads may report at exit
    return *state;
}

} // namespace

void VerifierReport(const char* rule, const std::string& detail)
{
    try {
        auto& s = State();
        std::lock_guard<std::mutex> hold(s.lock);
        s.violations.push_back({rule ? rule : "?", detail});
        if (s.echo)
            std::fprintf(stderr, "verifier: %s: %s\n", rule ? rule : "?", detail.c_str());
    } catch (...) {
        // A breach report must never turn into a second failure.
    }
}

std::vector<VerifierViolation> VerifierTakeViolations()
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    std::vector<VerifierViolation> taken;
    taken.swap(s.violations);
    return taken;
}

void VerifierSetEcho(bool echo)
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    s.echo = echo;
}

void VerifierRegisterLeakCheck(const std::string& name, LeakCheck check)
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    s.leakChecks[name] = std::move(check);
}

void VerifierUnregisterLeakCheck(const std::string& name)
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    s.leakChecks.erase(name);
}

size_t VerifierCheckLeaks()
{
    std::map<std::string, LeakCheck> checks;
    {
        auto& s = State();
        std::lock_guard<std::mutex> hold(s.lock);
        checks = s.leakChecks;
    }
    size_t count = 0;
    for (auto& [name, check] : checks) {
        for (const auto& line : check()) {
            VerifierReport("leak", name + ": " + line);
            ++count;
        }
    }
    return count;
}

} // namespace standin
