// CountedUnicodeString: a counted Unicode string (UNICODE_STRING) and whether it owns its buffer.
// On its own it only points at text (Init) or is emptied; the owning operations are UnicodeText's,
// and Release is where an owned buffer goes back to pool. Lengths count bytes.
#pragma once
#include "km/types.h"

class CountedUnicodeString {
public:
    CountedUnicodeString() = default;
    CountedUnicodeString(const CountedUnicodeString&) = delete;
    CountedUnicodeString& operator=(const CountedUnicodeString&) = delete;

    // Points at `text` without copying or owning it (RtlInitUnicodeString); an owned buffer is
    // released first.
    void Init(PCWSTR text);
    // Frees an owned buffer and zeroes the string.
    void Release();
    // Frees an owned buffer and zeroes the string; a borrowed buffer is only emptied (Length 0).
    void Free();
    // Appends `text` (RtlAppendUnicodeStringToString) into an owned buffer with room for it;
    // STATUS_BUFFER_TOO_SMALL, the string unchanged, otherwise. Text the string merely points at is
    // never written to.
    NTSTATUS Append(PCWSTR text);

    PUNICODE_STRING Get() { return &m_string; }
    PCUNICODE_STRING Get() const { return &m_string; }
    USHORT Length() const { return m_string.Length; }
    USHORT MaximumLength() const { return m_string.MaximumLength; }
    PWSTR Buffer() const { return m_string.Buffer; }
    bool OwnsBuffer() const { return m_ownsBuffer; }

protected:
    // The most characters a counted string can count (Length is 16 bits of bytes, at most 0xFFFE).
    static constexpr size_t kMaxCharacters = 0xFFFE / sizeof(WCHAR);

    UNICODE_STRING m_string{};
    bool m_ownsBuffer = false;
};
