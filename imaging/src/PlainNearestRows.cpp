// The plain set's nearest-neighbour kernels (slots 48-59): sample copies in scalar code. The 16u
// kernels also serve signed samples, since a copy does not depend on the sign; floats move as
// 32-bit words, so every bit pattern (signalling not-a-numbers included) arrives unchanged.
#include "ResizeKernels.h"
#include "ResizeRowDrivers.h"

namespace imaging {
namespace {

// Keeps these instantiations apart from the vector set's, which are compiled for vector code.
struct PlainSet;

} // namespace

void PlainNearestRows8u_C3(const ResizeKernelArgs& args)
{
    NearestRows<uint8_t, 3, PlainSet>(args);
}

void PlainNearestRows16u_C3(const ResizeKernelArgs& args)
{
    NearestRows<uint16_t, 3, PlainSet>(args);
}

void PlainNearestRows32f_C3(const ResizeKernelArgs& args)
{
    NearestRows<uint32_t, 3, PlainSet>(args);
}

void PlainNearestRows8u_C1(const ResizeKernelArgs& args)
{
    NearestRows<uint8_t, 1, PlainSet>(args);
}

void PlainNearestRows16u_C1(const ResizeKernelArgs& args)
{
    NearestRows<uint16_t, 1, PlainSet>(args);
}

void PlainNearestRows32f_C1(const ResizeKernelArgs& args)
{
    NearestRows<uint32_t, 1, PlainSet>(args);
}

void PlainNearestRows8u_C4(const ResizeKernelArgs& args)
{
    NearestRows<uint8_t, 4, PlainSet>(args);
}

void PlainNearestRows16u_C4(const ResizeKernelArgs& args)
{
    NearestRows<uint16_t, 4, PlainSet>(args);
}

void PlainNearestRows32f_C4(const ResizeKernelArgs& args)
{
    NearestRows<uint32_t, 4, PlainSet>(args);
}

} // namespace imaging
