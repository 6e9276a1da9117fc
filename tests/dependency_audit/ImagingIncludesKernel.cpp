// Must not compile: the image primitives need nothing beyond the C++ standard library.
#include "km/types.h"
