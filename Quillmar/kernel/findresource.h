// Looking up a hardware resource in the lists the PnP manager hands over at start.
#pragma once
#include "km/resources.h"
#include "km/types.h"

// Calls visit(descriptor, context) for every partial descriptor of the list, in order, until visit
// returns false. The walk follows the list's own counts, as built by the PnP manager, and steps
// over the data that follows a device-specific descriptor. A null list has none.
using ResourceVisitor = bool (*)(PCM_PARTIAL_RESOURCE_DESCRIPTOR descriptor, PVOID context);
void ForEachResource(PCM_RESOURCE_LIST list, ResourceVisitor visit, PVOID context);

// The index-th partial descriptor (from 0, counted over every full descriptor of the list) whose
// type is `type`, or null.
PCM_PARTIAL_RESOURCE_DESCRIPTOR FindResource(PCM_RESOURCE_LIST list, UCHAR type, ULONG index);
