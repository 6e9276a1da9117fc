// Enumerators of a pin's media types.
#include "dshow/MediaTypeEnumerator.h"

#include "dshow/Pin.h"

namespace dshow {

HRESULT MediaTypeEnumerator::Create(Pin* pin, IEnumMediaTypes** ppEnum)
{
    auto* made = new (std::nothrow) MediaTypeEnumerator;
    *ppEnum = made;
    if (!made)
        return E_OUTOFMEMORY;
    for (int i = 0;; ++i) {
        AM_MEDIA_TYPE type{};
        if (pin->GetMediaType(i, &type) != S_OK)
            break;
        made->types_.push_back(type);
    }
    return S_OK;
}

MediaTypeEnumerator::~MediaTypeEnumerator()
{
    for (AM_MEDIA_TYPE& type : types_)
        FreeMediaType(type);
}

STDMETHODIMP MediaTypeEnumerator::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes)
        return Give<IEnumMediaTypes>(this, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP MediaTypeEnumerator::Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched)
{
    if (!ppMediaTypes || (cMediaTypes > 1 && !pcFetched))
        return E_POINTER;
    std::lock_guard<std::mutex> hold(lock_);
    ULONG n = 0;
    while (n < cMediaTypes && position_ < types_.size()) {
        AM_MEDIA_TYPE* copy = CreateMediaType(&types_[position_]);
        if (!copy)
            break;
        ppMediaTypes[n++] = copy;
        ++position_;
    }
    if (pcFetched)
        *pcFetched = n;
    return n == cMediaTypes ? S_OK : S_FALSE;
}

STDMETHODIMP MediaTypeEnumerator::Skip(ULONG cMediaTypes)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (cMediaTypes > types_.size() - position_) {
        position_ = types_.size();
        return S_FALSE;
    }
    position_ += cMediaTypes;
    return S_OK;
}

STDMETHODIMP MediaTypeEnumerator::Reset()
{
    std::lock_guard<std::mutex> hold(lock_);
    position_ = 0;
    return S_OK;
}

STDMETHODIMP MediaTypeEnumerator::Clone(IEnumMediaTypes** ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    std::lock_guard<std::mutex> hold(lock_);
    auto* copy = new (std::nothrow) MediaTypeEnumerator;
    *ppEnum = copy;
    if (!copy)
        return E_OUTOFMEMORY;
    for (const AM_MEDIA_TYPE& type : types_) {
        AM_MEDIA_TYPE dup{};
        if (FAILED(CopyMediaType(&dup, &type))) {
            copy->Release();
            *ppEnum = nullptr;
            return E_OUTOFMEMORY;
        }
        copy->types_.push_back(dup);
    }
    copy->position_ = position_;
    return S_OK;
}

} // namespace dshow
