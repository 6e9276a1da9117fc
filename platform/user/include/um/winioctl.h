// Device-control codes for user mode: CTL_CODE, the transfer methods and access bits, shared with
// the kernel side.
#pragma once
#include "shared/devioctl.h"
