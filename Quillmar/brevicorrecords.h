// The driver's view of the private property-set contract (privatesets.h, shared with the pages):
// the records, and the identifiers named as the platform's GUIDs.
#pragma once
#include "km/types.h"
#include "shared/guiddef.h"

#include "privatesetguids.h"

// The length of a UTF-16 field of a record, measured within the field: the characters before its
// first zero, or -1 when the field holds no zero (an unterminated field, which every record refuses
// with STATUS_INVALID_PARAMETER). The field may lie at any byte address.
LONG BoundedRecordTextLength(const void* field, ULONG capacityCharacters);
