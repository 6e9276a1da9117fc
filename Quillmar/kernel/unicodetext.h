// UnicodeText: a counted Unicode string that owns its pool buffer (tag "Wdm "): copies of wide and
// narrow text, empty strings of a given room, and copies out to the caller's buffers. Every length
// stays within what a counted string can count (0xFFFE bytes); text that would not fit is refused,
// never cut. A failed construction leaves an empty string that owns nothing.
#pragma once
#include "kernel/countedunicodestring.h"
#include "km/pool.h"
#include "km/types.h"

class UnicodeText : public CountedUnicodeString {
public:
    UnicodeText() = default;
    // Copies `text` with its terminating zero into a new buffer: Length = characters x 2,
    // MaximumLength = Length + 2. Null text, text of more than 32,766 characters, or a pool failure
    // leave all fields 0.
    UnicodeText(PCWSTR text, POOL_TYPE poolType);
    ~UnicodeText() { Release(); }

    // Replaces the string with the wide form of `text` (Windows-1252) in a buffer of
    // (characters + 1) x 2 bytes (RtlAnsiStringToUnicodeString). STATUS_INVALID_PARAMETER for null
    // text or text of more than 32,766 characters, STATUS_INSUFFICIENT_RESOURCES on pool failure;
    // on failure the string is empty.
    NTSTATUS FromAnsi(PCSTR text, POOL_TYPE poolType);
    // Replaces the string with an empty, terminated one whose buffer has maximumBytes rounded down
    // to even. An owned buffer is freed first (by both). STATUS_INVALID_PARAMETER below 2 or above
    // 0xFFFF bytes, STATUS_INSUFFICIENT_RESOURCES on pool failure; on failure the string is empty.
    NTSTATUS Allocate(ULONG maximumBytes, POOL_TYPE poolType);
    NTSTATUS Reallocate(ULONG maximumBytes, POOL_TYPE poolType);

    // Copies the text and a terminating zero into `buffer`; STATUS_BUFFER_TOO_SMALL, nothing
    // written, unless Length + 2 <= capacityBytes.
    NTSTATUS CopyTo(PWSTR buffer, ULONG capacityBytes) const;
    // The narrow form (RtlUnicodeStringToAnsiString), zero-terminated, into `buffer`;
    // STATUS_BUFFER_TOO_SMALL, nothing written, unless characters + 1 <= capacity.
    NTSTATUS ToAnsi(PSTR buffer, ULONG capacity) const;
    // Equal byte lengths and every character the same (case-sensitive).
    bool Equals(PCUNICODE_STRING other) const;
    bool Equals(const CountedUnicodeString& other) const { return Equals(other.Get()); }
};
