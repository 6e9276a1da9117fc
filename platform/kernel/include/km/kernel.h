// Everything the kernel side of the stand-in offers, in one include. Headers that a layer may not
// have yet are taken when present.
#pragma once
#include "km/types.h"
#include "km/status.h"
#include "km/irql.h"
#include "km/verifier.h"
#include "km/pool.h"
#include "km/raise.h"
#include "km/spinlock.h"
#include "km/interlocked.h"

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
#include "km/list.h"
#include "km/mdl.h"
#include "km/irp.h"
#include "km/fileobject.h"
#include "km/deviceinterface.h"
#include "km/systeminfo.h"
#include "km/process.h"
#include "km/ks.h"
#include "km/ksfilter.h"
#include "km/kspin.h"
#include "km/ksclock.h"
#include "km/eventobject.h"
#endif
#if __has_include("km/eventlog.h")
#include "km/eventlog.h"
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
#if __has_include("km/drives.h")
#include "km/drives.h"
#endif
