// Time queries: system time, the performance counter, and local time with its time-zone bias.
#include "km/time.h"
#include "platform/Clock.h"
#include "standin/system.h"
#include "standin/verifier.h"

#include <atomic>
#include <ctime>

namespace standin {
namespace {

LONGLONG HostBias()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local))
        return 0;
    return -static_cast<LONGLONG>(local.tm_gmtoff) * platform::Clock::kUnitsPerSecond;
}

std::atomic<LONGLONG>& Bias()
{
    static std::atomic<LONGLONG> bias{HostBias()};
    return bias;
}

} // namespace

void SetTimeZoneBias(LONGLONG bias)
{
    Bias() = bias;
}

LONGLONG TimeZoneBias()
{
    return Bias();
}

} // namespace standin

extern "C" VOID NTAPI KeQuerySystemTime(PLARGE_INTEGER CurrentTime)
{
    if (!CurrentTime) {
        standin::VerifierReport("bad-argument", "KeQuerySystemTime without a result pointer");
        return;
    }
    CurrentTime->QuadPart = platform::Clock::SystemTime();
}

extern "C" LARGE_INTEGER NTAPI KeQueryPerformanceCounter(PLARGE_INTEGER PerformanceFrequency)
{
    if (PerformanceFrequency)
        PerformanceFrequency->QuadPart = STANDIN_PERFORMANCE_FREQUENCY;
    LARGE_INTEGER counter;
    counter.QuadPart = platform::Clock::Now();
    return counter;
}

extern "C" VOID NTAPI ExSystemTimeToLocalTime(PLARGE_INTEGER SystemTime, PLARGE_INTEGER LocalTime)
{
    if (!SystemTime || !LocalTime) {
        standin::VerifierReport("bad-argument", "ExSystemTimeToLocalTime without a time pointer");
        return;
    }
    LONGLONG local;
    if (__builtin_sub_overflow(SystemTime->QuadPart, standin::TimeZoneBias(), &local))
        local = SystemTime->QuadPart < 0 ? INT64_MIN : INT64_MAX;
    LocalTime->QuadPart = local;
}
