// Where the bus reports misuse that no caller's result can carry, such as a device model that
// unregisters a range the driver still has mapped. The bus sits below the kernel stand-in, so the
// kernel installs a hook that turns these into verifier breaches; without a hook they go to stderr.
#pragma once
#include <functional>
#include <string>

namespace platform {

using BusFaultHook = std::function<void(const char* rule, const std::string& detail)>;

// Installs `hook` (an empty one restores stderr) and returns the hook it replaces.
BusFaultHook SetBusFaultHook(BusFaultHook hook);

// Passes one fault to the installed hook. Never throws.
void ReportBusFault(const char* rule, const std::string& detail);

} // namespace platform
