// Everything the stand-in offers beside Windows' own names, in one include: the control surface
// that the machine, the user side, the test main, tests, test drivers and host programs use to set
// up, inspect and break the kernel side. A driver never includes it (the build keeps these headers
// out of its reach).
#pragma once
#include "standin/debugger.h"
#include "standin/devicefile.h"
#include "standin/devices.h"
#include "standin/dma.h"
#include "standin/drives.h"
#include "standin/eventlog.h"
#include "standin/filefaults.h"
#include "standin/format.h"
#include "standin/ks.h"
#include "standin/object.h"
#include "standin/pool.h"
#include "standin/registry.h"
#include "standin/system.h"
#include "standin/text.h"
#include "standin/verifier.h"
