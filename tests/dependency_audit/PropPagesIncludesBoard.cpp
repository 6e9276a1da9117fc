// Must not compile: the page library knows no board, only the driver's filters.
#include "board/CaptureBoard.h"
