// The Rtl functions on counted strings (UNICODE_STRING, ANSI_STRING). Lengths count bytes; a
// counted string holds at most 0xFFFE bytes and its buffer need not be terminated. The system code
// page for conversions between ANSI and wide text is Windows-1252.
#pragma once
#include "km/types.h"

extern "C" {

// Points the string at SourceString without copying. Length is the byte length before the
// terminating zero and MaximumLength two bytes more; a null source gives an empty string with a
// null buffer. A source of 32,767 characters or more is cut: Length 0xFFFC, MaximumLength 0xFFFE.
VOID NTAPI RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString);
// As above for narrow text; a source of 65,534 bytes or more gets Length 0xFFFD, MaximumLength 0xFFFE.
VOID NTAPI RtlInitAnsiString(PANSI_STRING DestinationString, PCSTR SourceString);

// Copies as much of SourceString as the destination's MaximumLength holds and terminates the copy
// when a whole character of room is left. A null source empties the destination.
VOID NTAPI RtlCopyUnicodeString(PUNICODE_STRING DestinationString, PCUNICODE_STRING SourceString);
// Appends Source; STATUS_BUFFER_TOO_SMALL (destination unchanged) when it does not fit.
NTSTATUS NTAPI RtlAppendUnicodeStringToString(PUNICODE_STRING Destination, PCUNICODE_STRING Source);
// Appends a zero-terminated wide text; a null Source appends nothing.
NTSTATUS NTAPI RtlAppendUnicodeToString(PUNICODE_STRING Destination, PCWSTR Source);

// Negative, zero or positive as String1 sorts before, equal to or after String2, character by
// character, then by length; CaseInSensitive compares upper-cased characters.
LONG NTAPI RtlCompareUnicodeString(PCUNICODE_STRING String1, PCUNICODE_STRING String2, BOOLEAN CaseInSensitive);
BOOLEAN NTAPI RtlEqualUnicodeString(PCUNICODE_STRING String1, PCUNICODE_STRING String2, BOOLEAN CaseInSensitive);

// Converts between the system code page and wide text. With AllocateDestinationString the buffer
// comes from paged pool (release it with RtlFreeUnicodeString / RtlFreeAnsiString); otherwise the
// caller's buffer must hold the text and a terminating zero.
NTSTATUS NTAPI RtlAnsiStringToUnicodeString(PUNICODE_STRING DestinationString, PCANSI_STRING SourceString,
                                            BOOLEAN AllocateDestinationString);
NTSTATUS NTAPI RtlUnicodeStringToAnsiString(PANSI_STRING DestinationString, PCUNICODE_STRING SourceString,
                                            BOOLEAN AllocateDestinationString);
VOID NTAPI RtlFreeUnicodeString(PUNICODE_STRING UnicodeString);
VOID NTAPI RtlFreeAnsiString(PANSI_STRING AnsiString);

// Value in Base 2, 8, 10 or 16 (0 means 10), upper-case digits, no prefix, terminated.
NTSTATUS NTAPI RtlIntegerToUnicodeString(ULONG Value, ULONG Base, PUNICODE_STRING String);
// Parses leading blanks, an optional sign, and with Base 0 a "0x", "0o" or "0b" prefix (else
// decimal); stops at the first character that is not a digit of the base.
NTSTATUS NTAPI RtlUnicodeStringToInteger(PCUNICODE_STRING String, ULONG Base, PULONG Value);

} // extern "C"
