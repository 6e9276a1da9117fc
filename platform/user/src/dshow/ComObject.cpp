// The shared reference count.
#include "dshow/ComObject.h"

namespace dshow {

ULONG ComObject::ReleaseObject()
{
    const ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

} // namespace dshow
