// Must not compile: the board model sits below the kernel stand-in and sees only the bus and the
// clock.
#include "km/types.h"
