// Looking up a hardware resource in the lists the PnP manager hands over at start.
#pragma once
#include "km/resources.h"
#include "km/types.h"

// The index-th partial descriptor (from 0, counted over every full descriptor of the list) whose
// type is `type`, or null. The walk follows the list's own counts, as built by the PnP manager,
// and steps over the data that follows a device-specific descriptor.
PCM_PARTIAL_RESOURCE_DESCRIPTOR FindResource(PCM_RESOURCE_LIST list, UCHAR type, ULONG index);
