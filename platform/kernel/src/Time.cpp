#include "km/time.h"

#include "platform/Clock.h"

extern "C" int64_t KeQueryInterruptTimeStandIn()
{
    return platform::Clock::Now();
}
