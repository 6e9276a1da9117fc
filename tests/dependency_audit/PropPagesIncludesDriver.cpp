// Must not compile: the page library reaches the driver through handles and requests, and shares
// only Quillmar/common/ with it.
#include "basicfilter.h"
