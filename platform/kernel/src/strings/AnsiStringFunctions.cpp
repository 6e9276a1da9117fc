// The Rtl functions on ANSI_STRING and the conversions between ANSI and wide counted strings
// through the system code page (Windows-1252; one byte per character both ways).
#include "km/string.h"

#include "CharacterTables.h"
#include "CountedStrings.h"
#include "km/pool.h"
#include "km/status.h"
#include "standin/verifier.h"

namespace {

using standin::counted::kMaxBytes;
using standin::counted::kStringPoolTag;
using standin::counted::Readable;
using standin::counted::Receivable;

void WideToAnsi(PCHAR target, const WCHAR* source, size_t characters)
{
    for (size_t i = 0; i < characters; ++i)
        target[i] = standin::chars::WideToAnsi(source[i]);
    target[characters] = 0;
}

void AnsiToWide(PWSTR target, const CHAR* source, size_t characters)
{
    for (size_t i = 0; i < characters; ++i)
        target[i] = standin::chars::AnsiToWide(static_cast<unsigned char>(source[i]));
    target[characters] = 0;
}

} // namespace

extern "C" VOID NTAPI RtlInitAnsiString(PANSI_STRING DestinationString, PCSTR SourceString)
{
    if (!DestinationString) {
        standin::VerifierReport("rtl-string", "RtlInitAnsiString: null destination");
        return;
    }
    DestinationString->Buffer = const_cast<PCHAR>(SourceString);
    if (!SourceString) {
        DestinationString->Length = DestinationString->MaximumLength = 0;
        return;
    }
    // A longer source is cut to the longest counted string rather than wrapping its USHORT length.
    size_t length = 0;
    while (length < kMaxBytes && SourceString[length])
        ++length;
    if (length == kMaxBytes) {
        DestinationString->Length = kMaxBytes - 1;
        DestinationString->MaximumLength = kMaxBytes;
        return;
    }
    DestinationString->Length = static_cast<USHORT>(length);
    DestinationString->MaximumLength = static_cast<USHORT>(length + 1);
}

extern "C" NTSTATUS NTAPI RtlAnsiStringToUnicodeString(PUNICODE_STRING DestinationString, PCANSI_STRING SourceString,
                                                       BOOLEAN AllocateDestinationString)
{
    if (!Readable(SourceString) || !DestinationString)
        return STATUS_INVALID_PARAMETER;
    const size_t characters = SourceString->Length;
    const size_t needed = (characters + 1) * sizeof(WCHAR); // with the terminating zero
    if (needed > 0xFFFF)
        return STATUS_INVALID_PARAMETER_2;
    if (AllocateDestinationString) {
        auto* buffer = static_cast<PWSTR>(ExAllocatePoolWithTag(PagedPool, needed, kStringPoolTag));
        if (!buffer)
            return STATUS_NO_MEMORY;
        DestinationString->Buffer = buffer;
        DestinationString->MaximumLength = static_cast<USHORT>(needed);
    } else if (!Receivable(DestinationString)) {
        return STATUS_INVALID_PARAMETER;
    } else if (needed > DestinationString->MaximumLength) {
        // The whole text or nothing; the destination stays as it was.
        return STATUS_BUFFER_OVERFLOW;
    }
    AnsiToWide(DestinationString->Buffer, SourceString->Buffer, characters);
    DestinationString->Length = static_cast<USHORT>(characters * sizeof(WCHAR));
    return STATUS_SUCCESS;
}

extern "C" NTSTATUS NTAPI RtlUnicodeStringToAnsiString(PANSI_STRING DestinationString, PCUNICODE_STRING SourceString,
                                                       BOOLEAN AllocateDestinationString)
{
    if (!Readable(SourceString) || !DestinationString)
        return STATUS_INVALID_PARAMETER;
    size_t characters = SourceString->Length / sizeof(WCHAR);
    NTSTATUS status = STATUS_SUCCESS;
    if (AllocateDestinationString) {
        auto* buffer = static_cast<PCHAR>(ExAllocatePoolWithTag(PagedPool, characters + 1, kStringPoolTag));
        if (!buffer)
            return STATUS_NO_MEMORY;
        DestinationString->Buffer = buffer;
        DestinationString->MaximumLength = static_cast<USHORT>(characters + 1);
    } else if (!Receivable(DestinationString)) {
        return STATUS_INVALID_PARAMETER;
    } else if (characters + 1 > DestinationString->MaximumLength) {
        // As much as fits with its terminating zero, and STATUS_BUFFER_OVERFLOW to say it was cut.
        if (DestinationString->MaximumLength == 0)
            return STATUS_BUFFER_OVERFLOW;
        characters = DestinationString->MaximumLength - 1u;
        status = STATUS_BUFFER_OVERFLOW;
    }
    WideToAnsi(DestinationString->Buffer, SourceString->Buffer, characters);
    DestinationString->Length = static_cast<USHORT>(characters);
    return status;
}

extern "C" VOID NTAPI RtlFreeAnsiString(PANSI_STRING AnsiString)
{
    if (!AnsiString)
        return;
    if (AnsiString->Buffer)
        ExFreePool(AnsiString->Buffer);
    *AnsiString = ANSI_STRING{0, 0, nullptr};
}
