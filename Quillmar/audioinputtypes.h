// The audio input types: 24 media-category identifiers, {5D61FBnn-23EF-4D82-AD98-AD61EEAED7F5}
// with nn the type number in hex, whose registry names under "MediaCategories" are the names of the
// board's audio inputs: "SDI Audio 1" to "8" (0 to 7), "AES Audio 1" to "4" (8 to 11), "SPDIF Audio
// 1" to "4" (12 to 15), "Unbalanced Audio 1" to "4" (16 to 19), "Balanced Audio 1" to "4" (20 to
// 23). The driver package seeds the same names in the system's registry.
#pragma once
#include "km/types.h"
#include "shared/guiddef.h"

inline constexpr ULONG kAudioInputTypeCount = 24;

// Identifier n (0 to 23); GUID zero for any other.
GUID GetAudioInputTypeGuid(ULONG n);
// The name of identifier n ("SDI Audio 1", ...); null for any other.
PCWSTR GetAudioInputTypeName(ULONG n);
// The number of `guid` among the identifiers, or -1.
LONG FindAudioInputType(const GUID& guid);

// A media-category identifier in its braced text form, as "InputName" values and key names carry
// it: "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}" (39 characters with the zero).
inline constexpr ULONG kBracedGuidCharacters = 39;
void FormatBracedGuid(const GUID& guid, WCHAR text[kBracedGuidCharacters]);
// Parses a braced identifier text (hex digits of either case, nothing before or after); false, with
// *guid untouched, for anything else.
bool ParseBracedGuid(PCWSTR text, GUID* guid);
