// Fuzz harness of the settings records' text fields and the audio input names: any bytes as a
// caller's logo, caption or loss-of-signal record, and as the "InputName" text of an audio input.
// A field is taken only when it ends within its field, and then exactly as far as its first zero;
// an identifier text is taken only in its braced form, and gives back the same text when formatted.
#include "audioinputtypes.h"
#include "brevicorrecords.h"
#include "videopindetails.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

template <typename Record> void FromBytes(Record* record, const uint8_t* data, size_t size)
{
    std::memset(record, 0, sizeof(*record));
    if (size != 0)
        std::memcpy(record, data, size < sizeof(*record) ? size : sizeof(*record));
}

void CheckField(const void* field, ULONG capacity, LONG length)
{
    if (length < -1 || length >= static_cast<LONG>(capacity))
        std::abort();
    WCHAR c;
    const auto* bytes = static_cast<const uint8_t*>(field);
    for (LONG i = 0; i < length; ++i) {
        std::memcpy(&c, bytes + i * 2, 2);
        if (c == 0)
            std::abort();
    }
    if (length >= 0) {
        std::memcpy(&c, bytes + length * 2, 2);
        if (c != 0)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto* logo = new BrevicorLogoRecord;
    FromBytes(logo, data, size);
    auto* pin = new VideoPinDetails;
    const LONG length = BoundedRecordTextLength(logo->fileName, kRecordTextCharacters);
    CheckField(logo->fileName, kRecordTextCharacters, length);
    const NTSTATUS status = pin->SetLogoFileName(logo->fileName);
    if ((length >= 0) != NT_SUCCESS(status))
        std::abort();
    WCHAR stored[kRecordTextCharacters];
    pin->GetLogoFileName(stored);
    if (length >= 0) {
        if (std::memcmp(stored, logo->fileName, static_cast<size_t>(length) * 2) != 0)
            std::abort();
        for (ULONG i = static_cast<ULONG>(length); i < kRecordTextCharacters; ++i)
            if (stored[i] != 0)
                std::abort();
    } else {
        for (WCHAR c : stored)
            if (c != 0)
                std::abort();
    }

    auto* caption = new BrevicorCCRecord;
    FromBytes(caption, data, size);
    const bool terminated = BoundedRecordTextLength(caption->fontFileName, kRecordTextCharacters) >= 0;
    if (terminated != NT_SUCCESS(pin->SetCCSettings(caption)))
        std::abort();

    auto* los = new BrevicorLOSRecord;
    FromBytes(los, data, size);
    CheckField(los->caption, kRecordTextCharacters,
               BoundedRecordTextLength(los->caption, kRecordTextCharacters));
    CheckField(los->fontFileName, kRecordTextCharacters,
               BoundedRecordTextLength(los->fontFileName, kRecordTextCharacters));

    // The bytes as a terminated text of an audio input name.
    const size_t characters = size / 2 < 64 ? size / 2 : 64;
    WCHAR text[65];
    if (characters != 0)
        std::memcpy(text, data, characters * 2);
    text[characters] = 0;
    GUID guid{};
    if (ParseBracedGuid(text, &guid)) {
        WCHAR formatted[kBracedGuidCharacters];
        FormatBracedGuid(guid, formatted);
        GUID again{};
        if (!ParseBracedGuid(formatted, &again) || !(again == guid))
            std::abort();
    }

    delete los;
    delete caption;
    delete pin;
    delete logo;
    return 0;
}
