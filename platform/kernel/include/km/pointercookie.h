// Pointer cookies: a porting aid for records that carry an address in a 32-bit field (records from
// or to user mode, where the original 32-bit system put a pointer). The owner of an address gives
// it a cookie, the 32-bit value that travels in the field; whoever reads a cookie from outside
// resolves it with the owner it expects, so a forged, stale or foreign value is refused and never
// dereferenced. A cookie is never 0 and never given twice while it is live. Cookies still live when
// the verifier's leak checks run are reported ("cookies").
#pragma once
#include "km/types.h"

namespace standin {

struct PointerCookie {
    // A fresh cookie for `length` bytes at `address`, resolvable by `owner` only; 0 for a NULL
    // address or owner, or when every cookie is live.
    static ULONG Give(PVOID address, SIZE_T length, const void* owner);
    // The address of a live cookie of `owner` (and its length when `length` is not NULL); NULL for
    // 0, an unknown or dropped cookie, or one of another owner.
    static PVOID Resolve(ULONG cookie, const void* owner, SIZE_T* length = nullptr);
    // Ends a live cookie of `owner`; FALSE when it is not one.
    static BOOLEAN Drop(ULONG cookie, const void* owner);
};

} // namespace standin
