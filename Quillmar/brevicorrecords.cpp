// The bounded measure of the records' UTF-16 fields.
#include "brevicorrecords.h"

#include <cstring>

LONG BoundedRecordTextLength(const void* field, ULONG capacityCharacters)
{
    if (field == nullptr)
        return -1;
    const auto* bytes = static_cast<const UCHAR*>(field);
    for (ULONG i = 0; i < capacityCharacters; ++i) {
        WCHAR c;
        std::memcpy(&c, bytes + i * sizeof(WCHAR), sizeof(WCHAR));
        if (c == 0)
            return static_cast<LONG>(i);
    }
    return -1;
}
