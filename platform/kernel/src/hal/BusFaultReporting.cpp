// Routes the faults the bus finds on its own (a device range unregistered while mapped) into the
// verifier, from the moment the kernel library is loaded.
#include "platform/bus/BusFault.h"
#include "standin/verifier.h"

namespace {

const bool g_busFaultHookInstalled = [] {
    platform::SetBusFaultHook(
        [](const char* rule, const std::string& detail) { standin::VerifierReport(rule, detail); });
    return true;
}();

} // namespace
