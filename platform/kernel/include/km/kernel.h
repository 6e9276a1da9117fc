// Everything a driver sees of the kernel side, in one include: Windows' names (the stand-in's own
// control functions are in standin/control.h, out of a driver's reach). Headers that a layer may
// not have yet are taken when present.
#pragma once
#include "km/interlocked.h"
#include "km/irql.h"
#include "km/pointercookie.h"
#include "km/pool.h"
#include "km/raise.h"
#include "km/spinlock.h"
#include "km/status.h"
#include "km/types.h"

#if __has_include("km/time.h")
#include "km/time.h"
#endif
#if __has_include("km/sync.h")
#include "km/sync.h"
#endif
#if __has_include("km/thread.h")
#include "km/thread.h"
#endif
#if __has_include("km/dpc.h")
#include "km/dpc.h"
#endif
#if __has_include("km/interrupt.h")
#include "km/interrupt.h"
#endif
#if __has_include("km/object.h")
#include "km/object.h"
#endif
#if __has_include("km/string.h")
#include "km/string.h"
#endif
#if __has_include("km/format.h")
#include "km/format.h"
#endif
#if __has_include("km/iodevice.h")
#include "km/iodevice.h"
#endif
#if __has_include("km/irp.h")
#include "km/csq.h"
#include "km/deviceinterface.h"
#include "km/eventobject.h"
#include "km/fileobject.h"
#include "km/irp.h"
#include "km/ks.h"
#include "km/ksclock.h"
#include "km/ksfilter.h"
#include "km/kspin.h"
#include "km/list.h"
#include "km/mdl.h"
#include "km/process.h"
#include "km/systeminfo.h"
#endif
#if __has_include("km/eventlog.h")
#include "km/eventlog.h"
#include "km/messagetable.h"
#endif
#if __has_include("km/debug.h")
#include "km/debug.h"
#endif
#if __has_include("km/registry.h")
#include "km/registry.h"
#endif
#if __has_include("km/file.h")
#include "km/file.h"
#endif
#if __has_include("km/resources.h")
#include "km/resources.h"
#endif
#if __has_include("km/dma.h")
#include "km/dma.h"
#endif
