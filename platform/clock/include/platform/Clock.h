// The one clock of the process: simulated time that runs at a settable multiple of real time.
#pragma once
#include <cstdint>

namespace platform {

class Clock {
public:
    // Simulated time since the clock started, in 100-ns units.
    static int64_t Now();
};

} // namespace platform
