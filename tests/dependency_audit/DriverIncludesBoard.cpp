// Must not compile: the driver knows the board only through the bus the platform gives it.
#include "board/CaptureBoard.h"
