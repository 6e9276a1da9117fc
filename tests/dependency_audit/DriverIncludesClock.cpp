// Must not compile: the driver reads time only through the kernel's functions, never the clock.
#include "platform/Clock.h"
