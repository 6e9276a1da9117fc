// Must not compile: the driver reaches device memory only through the HAL accessors of km/, never
// through the platform's bus.
#include "platform/bus/Bus.h"
