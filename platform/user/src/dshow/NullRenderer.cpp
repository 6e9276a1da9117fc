// The null renderer.
#include "dshow/NullRenderer.h"

namespace dshow {

HRESULT NullRenderer::Create(REFIID riid, void** ppv)
{
    auto* renderer = new (std::nothrow) NullRenderer;
    if (!renderer)
        return E_OUTOFMEMORY;
    return Hand(renderer, riid, ppv);
}

} // namespace dshow
