// The Rtl functions on UNICODE_STRING: setting up, copying, appending, comparing, and converting
// between integers and wide text. Lengths are bytes; a wide string's lengths must be even.
#include "km/string.h"

#include "CharacterTables.h"
#include "CountedStrings.h"
#include "km/pool.h"
#include "km/status.h"
#include "standin/verifier.h"

#include <cstring>

namespace {

using standin::counted::kMaxBytes;
using standin::counted::Readable;
using standin::counted::Receivable;
using standin::counted::Writable;

bool EvenLengths(const UNICODE_STRING* s)
{
    return s->Length % 2 == 0;
}

// Terminates after Length when a whole character of room is left. An odd MaximumLength never
// takes a terminator that would reach past it.
void TerminateIfRoom(PUNICODE_STRING s)
{
    if (s->Length + sizeof(WCHAR) <= s->MaximumLength)
        s->Buffer[s->Length / sizeof(WCHAR)] = 0;
}

// Appends bytes (an even count) after Destination's text.
NTSTATUS AppendBytes(PUNICODE_STRING destination, const WCHAR* source, size_t bytes)
{
    if (bytes == 0)
        return STATUS_SUCCESS;
    if (destination->Length + bytes > destination->MaximumLength)
        return STATUS_BUFFER_TOO_SMALL;
    // memmove: a string may be appended to itself.
    std::memmove(reinterpret_cast<char*>(destination->Buffer) + destination->Length, source, bytes);
    destination->Length = static_cast<USHORT>(destination->Length + bytes);
    TerminateIfRoom(destination);
    return STATUS_SUCCESS;
}

// A null string is a caller's fault; it is reported and compares as empty.
UNICODE_STRING ComparableOrEmpty(PCUNICODE_STRING s, const char* function)
{
    if (Readable(s))
        return *s;
    standin::VerifierReport("rtl-string", std::string(function) + ": string is null or has no buffer");
    return UNICODE_STRING{0, 0, nullptr};
}

int DigitValue(WCHAR c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'z')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'Z')
        return c - u'A' + 10;
    return 99;
}

} // namespace

extern "C" VOID NTAPI RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString)
{
    if (!DestinationString) {
        standin::VerifierReport("rtl-string", "RtlInitUnicodeString: null destination");
        return;
    }
    DestinationString->Buffer = const_cast<PWSTR>(SourceString);
    if (!SourceString) {
        DestinationString->Length = DestinationString->MaximumLength = 0;
        return;
    }
    // A longer source is cut to the longest counted string rather than wrapping its USHORT length.
    constexpr size_t kLimit = kMaxBytes / sizeof(WCHAR); // characters
    size_t characters = 0;
    while (characters < kLimit && SourceString[characters])
        ++characters;
    if (characters == kLimit) {
        DestinationString->Length = kMaxBytes - sizeof(WCHAR);
        DestinationString->MaximumLength = kMaxBytes;
        return;
    }
    DestinationString->Length = static_cast<USHORT>(characters * sizeof(WCHAR));
    DestinationString->MaximumLength = static_cast<USHORT>(DestinationString->Length + sizeof(WCHAR));
}

extern "C" VOID NTAPI RtlCopyUnicodeString(PUNICODE_STRING DestinationString, PCUNICODE_STRING SourceString)
{
    if (!Receivable(DestinationString) || (SourceString && !Readable(SourceString))) {
        standin::VerifierReport("rtl-string", "RtlCopyUnicodeString: null destination or buffer");
        return;
    }
    if (!SourceString) {
        DestinationString->Length = 0;
        return;
    }
    // Whole characters only, so that neither the copy nor the terminator splits one.
    size_t bytes = SourceString->Length < DestinationString->MaximumLength ? SourceString->Length
                                                                           : DestinationString->MaximumLength;
    bytes &= ~size_t{1};
    std::memmove(DestinationString->Buffer, SourceString->Buffer, bytes);
    DestinationString->Length = static_cast<USHORT>(bytes);
    TerminateIfRoom(DestinationString);
}

// Releases a buffer the conversions allocated (or any pool buffer) and empties the string.
extern "C" VOID NTAPI RtlFreeUnicodeString(PUNICODE_STRING UnicodeString)
{
    if (!UnicodeString)
        return;
    if (UnicodeString->Buffer)
        ExFreePool(UnicodeString->Buffer);
    *UnicodeString = UNICODE_STRING{0, 0, nullptr};
}

extern "C" NTSTATUS NTAPI RtlAppendUnicodeStringToString(PUNICODE_STRING Destination, PCUNICODE_STRING Source)
{
    if (!Writable(Destination) || !EvenLengths(Destination) || !Readable(Source) || !EvenLengths(Source))
        return STATUS_INVALID_PARAMETER;
    return AppendBytes(Destination, Source->Buffer, Source->Length);
}

extern "C" NTSTATUS NTAPI RtlAppendUnicodeToString(PUNICODE_STRING Destination, PCWSTR Source)
{
    if (!Writable(Destination) || !EvenLengths(Destination))
        return STATUS_INVALID_PARAMETER;
    if (!Source)
        return STATUS_SUCCESS;
    // Look no further than the room left: a longer source cannot fit whole.
    const size_t room = (Destination->MaximumLength - Destination->Length) / sizeof(WCHAR);
    size_t characters = 0;
    while (characters <= room && Source[characters])
        ++characters;
    if (characters > room)
        return STATUS_BUFFER_TOO_SMALL;
    return AppendBytes(Destination, Source, characters * sizeof(WCHAR));
}

extern "C" LONG NTAPI RtlCompareUnicodeString(PCUNICODE_STRING String1, PCUNICODE_STRING String2,
                                              BOOLEAN CaseInSensitive)
{
    const UNICODE_STRING a = ComparableOrEmpty(String1, "RtlCompareUnicodeString");
    const UNICODE_STRING b = ComparableOrEmpty(String2, "RtlCompareUnicodeString");
    const size_t characters = (a.Length < b.Length ? a.Length : b.Length) / sizeof(WCHAR);
    for (size_t i = 0; i < characters; ++i) {
        WCHAR x = a.Buffer[i];
        WCHAR y = b.Buffer[i];
        if (CaseInSensitive) {
            x = standin::chars::Upcase(x);
            y = standin::chars::Upcase(y);
        }
        if (x != y)
            return static_cast<LONG>(x) - static_cast<LONG>(y);
    }
    return static_cast<LONG>(a.Length) - static_cast<LONG>(b.Length);
}

extern "C" BOOLEAN NTAPI RtlEqualUnicodeString(PCUNICODE_STRING String1, PCUNICODE_STRING String2,
                                               BOOLEAN CaseInSensitive)
{
    const UNICODE_STRING a = ComparableOrEmpty(String1, "RtlEqualUnicodeString");
    const UNICODE_STRING b = ComparableOrEmpty(String2, "RtlEqualUnicodeString");
    return a.Length == b.Length && RtlCompareUnicodeString(&a, &b, CaseInSensitive) == 0;
}

extern "C" NTSTATUS NTAPI RtlIntegerToUnicodeString(ULONG Value, ULONG Base, PUNICODE_STRING String)
{
    if (Base == 0)
        Base = 10;
    if ((Base != 2 && Base != 8 && Base != 10 && Base != 16) || !Receivable(String))
        return STATUS_INVALID_PARAMETER;
    WCHAR digits[32];
    size_t count = 0;
    do {
        const ULONG digit = Value % Base;
        digits[count++] = static_cast<WCHAR>(digit < 10 ? u'0' + digit : u'A' + digit - 10);
        Value /= Base;
    } while (Value != 0);
    // The digits and a terminating zero must fit; on failure the string is left as it was.
    if ((count + 1) * sizeof(WCHAR) > String->MaximumLength)
        return STATUS_BUFFER_OVERFLOW;
    for (size_t i = 0; i < count; ++i)
        String->Buffer[i] = digits[count - 1 - i];
    String->Buffer[count] = 0;
    String->Length = static_cast<USHORT>(count * sizeof(WCHAR));
    return STATUS_SUCCESS;
}

extern "C" NTSTATUS NTAPI RtlUnicodeStringToInteger(PCUNICODE_STRING String, ULONG Base, PULONG Value)
{
    if (!Readable(String) || (Base != 0 && Base != 2 && Base != 8 && Base != 10 && Base != 16))
        return STATUS_INVALID_PARAMETER;
    if (!Value)
        return STATUS_ACCESS_VIOLATION;
    const WCHAR* p = String->Buffer;
    const WCHAR* const end = p + String->Length / sizeof(WCHAR);
    while (p < end && *p <= u' ')
        ++p;
    bool negative = false;
    if (p < end && (*p == u'+' || *p == u'-')) {
        negative = *p == u'-';
        ++p;
    }
    if (Base == 0) {
        Base = 10;
        if (end - p >= 2 && p[0] == u'0') {
            const WCHAR radix = p[1];
            if (radix == u'x' || radix == u'X')
                Base = 16;
            else if (radix == u'o' || radix == u'O')
                Base = 8;
            else if (radix == u'b' || radix == u'B')
                Base = 2;
            if (Base != 10)
                p += 2;
        }
    }
    // As on Windows, digits beyond 32 bits wrap: the result is the value modulo 2^32.
    ULONG result = 0;
    for (; p < end; ++p) {
        const int digit = DigitValue(*p);
        if (digit >= static_cast<int>(Base))
            break;
        result = result * Base + static_cast<ULONG>(digit);
    }
    *Value = negative ? 0u - result : result;
    return STATUS_SUCCESS;
}
