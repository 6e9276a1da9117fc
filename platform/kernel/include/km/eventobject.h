// Named-less event objects that a handle can name: what user mode's CreateEvent makes and what a
// driver signals through a handle a caller hands it (ObReferenceObjectByHandle with
// *ExEventObjectType gives the KEVENT).
#pragma once
#include "km/object.h"
#include "km/sync.h"

#define EVENT_QUERY_STATE 0x0001
#define EVENT_MODIFY_STATE 0x0002
#define EVENT_ALL_ACCESS 0x001F0003

extern "C" {
extern POBJECT_TYPE* ExEventObjectType;
}

