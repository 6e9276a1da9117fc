// The files a settings record names (logo bitmaps, glyph files): a UTF-16 name field of the record,
// measured within the field, opened for reading as "\DosDevices\" + name.
#pragma once
#include "brevicorrecords.h"
#include "kernel/kernelfile.h"
#include "km/types.h"

// Characters of a path built from a record's name field: the prefix, the name and its terminator.
inline constexpr ULONG kRecordFilePathCharacters = 12 + kRecordTextCharacters;

// Opens the file named by `field` (kRecordTextCharacters wide) for reading. `path` receives the
// full path (for messages). STATUS_OBJECT_NAME_INVALID for an empty or unterminated field, else
// the open's status.
NTSTATUS OpenRecordFile(const WCHAR* field, KernelFile* file, WCHAR (&path)[kRecordFilePathCharacters]);
