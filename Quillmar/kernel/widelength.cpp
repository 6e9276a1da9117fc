// Lengths of zero-terminated wide texts.
#include "kernel/widelength.h"

size_t WideLength(PCWSTR text, size_t limit)
{
    if (!text)
        return 0;
    size_t length = 0;
    while (length < limit && text[length] != 0)
        ++length;
    return length;
}

size_t WideByteLength(PCWSTR text, size_t limit)
{
    return WideLength(text, limit) * sizeof(WCHAR);
}
