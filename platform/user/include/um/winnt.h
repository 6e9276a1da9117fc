// Standard and generic access rights, as every object kind (files, keys, threads, events) takes
// them; the values are the kernel side's.
#pragma once
#include "shared/accessrights.h"
