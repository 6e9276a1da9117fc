// Must not compile: the stand-in's control functions (here the pool's usage and failure injection)
// are for the machine, tests and tools, never for the driver.
#include "standin/pool.h"
