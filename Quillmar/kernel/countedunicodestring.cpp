// Pointing at, emptying, releasing and appending to a counted Unicode string.
#include "kernel/countedunicodestring.h"

#include "kernel/poolallocation.h"
#include "kernel/widelength.h"
#include "km/status.h"
#include "km/string.h"

void CountedUnicodeString::Init(PCWSTR text)
{
    Release();
    RtlInitUnicodeString(&m_string, text);
}

void CountedUnicodeString::Release()
{
    if (m_ownsBuffer)
        FreePool(m_string.Buffer);
    m_string = UNICODE_STRING{};
    m_ownsBuffer = false;
}

void CountedUnicodeString::Free()
{
    if (m_ownsBuffer)
        Release();
    else
        m_string.Length = 0;
}

NTSTATUS CountedUnicodeString::Append(PCWSTR text)
{
    // The scan stops beyond what a counted string can hold, so an unterminated or huge text is
    // refused without being read to its end.
    const size_t characters = WideLength(text, kMaxCharacters + 1);
    if (characters == 0)
        return STATUS_SUCCESS;
    if (!m_ownsBuffer || characters > kMaxCharacters)
        return STATUS_BUFFER_TOO_SMALL;
    UNICODE_STRING source;
    source.Length = static_cast<USHORT>(characters * sizeof(WCHAR));
    source.MaximumLength = source.Length;
    source.Buffer = const_cast<PWSTR>(text);
    return RtlAppendUnicodeStringToString(&m_string, &source);
}
