// Must not compile: the page library sees the platform's user side only, never the kernel side.
#include "km/types.h"
