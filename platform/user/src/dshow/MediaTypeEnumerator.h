// The types a pin offers, copied when the enumerator is made; each Next hands out new records the
// caller frees with DeleteMediaType.
#pragma once
#include "dshow/ComObject.h"

#include <mutex>
#include <vector>

namespace dshow {

class Pin;

class MediaTypeEnumerator final : public IEnumMediaTypes, ComObject {
public:
    static HRESULT Create(Pin* pin, IEnumMediaTypes** ppEnum);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    DSHOW_REFERENCE_COUNT
    STDMETHODIMP Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) override;
    STDMETHODIMP Skip(ULONG cMediaTypes) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMediaTypes** ppEnum) override;

private:
    MediaTypeEnumerator() = default;
    ~MediaTypeEnumerator() override;

    std::mutex lock_;
    std::vector<AM_MEDIA_TYPE> types_;
    size_t position_ = 0;
};

} // namespace dshow
