// DirectShow for applications: the records, identifiers, status codes and interfaces of
// um/strmif.h, and the sample grabber of um/qedit.h.
#pragma once
#include "um/strmif.h"
#if __has_include("um/qedit.h")
#include "um/qedit.h"
#endif
