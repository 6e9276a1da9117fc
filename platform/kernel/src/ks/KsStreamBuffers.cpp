// The frame buffers callers register so that a stream header's 32-bit Data field can name them:
// pointer cookies of the stream-buffer owner, each the buffer's address and length. A cookie is
// never reused while registered and is never 0; one left registered is a "cookies" leak.
#include "KsStream.h"

#include "km/pointercookie.h"

namespace standin {
namespace {

// The owner of every stream buffer's cookie.
const char kStreamBuffers = 0;

} // namespace

uint32_t KsRegisterStreamBuffer(void* data, uint32_t length)
{
    return PointerCookie::Give(data, length, &kStreamBuffers);
}

void KsUnregisterStreamBuffer(uint32_t cookie)
{
    PointerCookie::Drop(cookie, &kStreamBuffers);
}

bool KsResolveStreamBuffer(uint32_t cookie, PUCHAR* data, ULONG* length)
{
    SIZE_T size = 0;
    PVOID address = PointerCookie::Resolve(cookie, &kStreamBuffers, &size);
    if (!address)
        return false;
    *data = static_cast<PUCHAR>(address);
    *length = static_cast<ULONG>(size);
    return true;
}

} // namespace standin
