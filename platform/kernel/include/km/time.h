// Kernel time queries.
#pragma once
#include <cstdint>

extern "C" int64_t KeQueryInterruptTimeStandIn();
