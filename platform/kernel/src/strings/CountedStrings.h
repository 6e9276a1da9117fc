// Checks shared by the Rtl string functions: what makes a counted string safe to read or write.
#pragma once
#include "km/pool.h"
#include "km/types.h"
#include "standin/pool.h"

namespace standin::counted {

// Pool tag of the buffers the conversions allocate for their caller.
constexpr ULONG kStringPoolTag = MakePoolTag("Strg");

// The largest byte length a counted string may have (USHORT, kept even for wide text).
constexpr USHORT kMaxBytes = 0xFFFE;

// Readable: Length bytes lie behind Buffer.
template <class String>
bool Readable(const String* s)
{
    return s && (s->Buffer || s->Length == 0);
}

// Writable: MaximumLength bytes lie behind Buffer and Length does not exceed them.
template <class String>
bool Writable(const String* s)
{
    return s && (s->Buffer || s->MaximumLength == 0) && s->Length <= s->MaximumLength;
}

// Receivable: an output-only string, whose Length the function sets; MaximumLength bytes lie
// behind Buffer.
template <class String>
bool Receivable(const String* s)
{
    return s && (s->Buffer || s->MaximumLength == 0);
}

} // namespace standin::counted
