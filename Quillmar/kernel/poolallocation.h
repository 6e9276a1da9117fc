// Tagged pool allocation: every block the driver takes from the pool carries the tag "Wdm ", so
// the pool's accounting and leak reports name the driver.
#pragma once
#include "km/pool.h"
#include "km/types.h"

// "Wdm " as the pool stores it (first character in the low byte).
inline constexpr ULONG kDriverPoolTag = 0x206D6457;

// Non-paged pool; a size of 0 gives null without asking the pool.
PVOID AllocatePool(SIZE_T size);
// Any pool type (0 non-paged, 1 paged); a size of 0 gives null.
PVOID AllocatePoolOfType(SIZE_T size, POOL_TYPE type);
// Non-paged pool without the zero test: a size of 0 gets a block of its own.
PVOID AllocatePoolPlain(SIZE_T size);
// Frees a block of any of the above; null is ignored.
void FreePool(PVOID block);
