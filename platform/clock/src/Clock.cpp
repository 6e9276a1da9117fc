#include "platform/Clock.h"

#include <chrono>

namespace platform {

int64_t Clock::Now()
{
    static const auto start = std::chrono::steady_clock::now();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
               .count() / 100;
}

} // namespace platform
