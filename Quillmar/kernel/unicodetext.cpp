// Owned copies of wide and narrow text and copies back out of them.
#include "kernel/unicodetext.h"

#include "kernel/poolallocation.h"
#include "kernel/widelength.h"
#include "km/status.h"
#include "km/string.h"

#include <cstring>

namespace {

// Characters before the terminating zero, looking no further than limit + 1.
size_t NarrowLength(PCSTR text, size_t limit)
{
    size_t length = 0;
    while (length <= limit && text[length] != 0)
        ++length;
    return length;
}

} // namespace

UnicodeText::UnicodeText(PCWSTR text, POOL_TYPE poolType)
{
    // Room for the terminating zero too: at most 32,766 characters.
    const size_t characters = WideLength(text, kMaxCharacters);
    if (!text || characters >= kMaxCharacters)
        return;
    const size_t bytes = (characters + 1) * sizeof(WCHAR);
    auto* buffer = static_cast<PWSTR>(AllocatePoolOfType(bytes, poolType));
    if (!buffer)
        return;
    std::memcpy(buffer, text, bytes);
    m_string.Buffer = buffer;
    m_string.Length = static_cast<USHORT>(characters * sizeof(WCHAR));
    m_string.MaximumLength = static_cast<USHORT>(bytes);
    m_ownsBuffer = true;
}

NTSTATUS UnicodeText::FromAnsi(PCSTR text, POOL_TYPE poolType)
{
    Release();
    if (!text)
        return STATUS_INVALID_PARAMETER;
    const size_t characters = NarrowLength(text, kMaxCharacters);
    if (characters >= kMaxCharacters)
        return STATUS_INVALID_PARAMETER;
    const size_t bytes = (characters + 1) * sizeof(WCHAR);
    auto* buffer = static_cast<PWSTR>(AllocatePoolOfType(bytes, poolType));
    if (!buffer)
        return STATUS_INSUFFICIENT_RESOURCES;

    ANSI_STRING source;
    source.Length = static_cast<USHORT>(characters);
    source.MaximumLength = static_cast<USHORT>(characters + 1);
    source.Buffer = const_cast<PCHAR>(text);
    m_string.Buffer = buffer;
    m_string.Length = 0;
    m_string.MaximumLength = static_cast<USHORT>(bytes);
    m_ownsBuffer = true;
    const NTSTATUS status = RtlAnsiStringToUnicodeString(&m_string, &source, FALSE);
    if (!NT_SUCCESS(status))
        Release();
    return status;
}

NTSTATUS UnicodeText::Allocate(ULONG maximumBytes, POOL_TYPE poolType)
{
    Release();
    const ULONG bytes = maximumBytes & ~1u;
    if (bytes == 0 || bytes > 0xFFFE)
        return STATUS_INVALID_PARAMETER;
    auto* buffer = static_cast<PWSTR>(AllocatePoolOfType(bytes, poolType));
    if (!buffer)
        return STATUS_INSUFFICIENT_RESOURCES;
    buffer[0] = 0;
    m_string.Buffer = buffer;
    m_string.Length = 0;
    m_string.MaximumLength = static_cast<USHORT>(bytes);
    m_ownsBuffer = true;
    return STATUS_SUCCESS;
}

NTSTATUS UnicodeText::Reallocate(ULONG maximumBytes, POOL_TYPE poolType)
{
    return Allocate(maximumBytes, poolType);
}

NTSTATUS UnicodeText::CopyTo(PWSTR buffer, ULONG capacityBytes) const
{
    // The terminator needs two whole bytes: an odd capacity of Length + 1 is too small.
    if (!buffer || ULONG{m_string.Length} + sizeof(WCHAR) > capacityBytes)
        return STATUS_BUFFER_TOO_SMALL;
    if (m_string.Length)
        std::memcpy(buffer, m_string.Buffer, m_string.Length);
    buffer[m_string.Length / sizeof(WCHAR)] = 0;
    return STATUS_SUCCESS;
}

NTSTATUS UnicodeText::ToAnsi(PSTR buffer, ULONG capacity) const
{
    const ULONG characters = m_string.Length / sizeof(WCHAR);
    if (!buffer || characters + 1 > capacity)
        return STATUS_BUFFER_TOO_SMALL;
    ANSI_STRING target;
    target.Length = 0;
    target.MaximumLength = static_cast<USHORT>(capacity > 0xFFFF ? 0xFFFF : capacity);
    target.Buffer = buffer;
    return RtlUnicodeStringToAnsiString(&target, &m_string, FALSE);
}

bool UnicodeText::Equals(PCUNICODE_STRING other) const
{
    return other && RtlEqualUnicodeString(&m_string, other, FALSE);
}
