// Lengths of zero-terminated wide texts.
#pragma once
#include "km/types.h"

#include <cstddef>
#include <cstdint>

// Characters before the terminating zero; 0 for null. The scan stops after `limit` characters, so
// a caller that bounds its text (to what a counted string can hold, say) never reads past it: a
// result equal to the limit means "at least this long".
size_t WideLength(PCWSTR text, size_t limit = SIZE_MAX);
// Twice that: the length in bytes.
size_t WideByteLength(PCWSTR text, size_t limit = SIZE_MAX);
