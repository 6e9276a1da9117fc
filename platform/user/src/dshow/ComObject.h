// The reference count every DirectShow object of the platform shares. The objects are free-threaded:
// the count is atomic and each object guards its own state.
#pragma once
#include "um/strmif.h"

#include <atomic>
#include <new>

namespace dshow {

class ComObject {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

protected:
    ComObject() = default;
    virtual ~ComObject() = default;
    ULONG AddRefObject() { return ++references_; }
    // The last release deletes the object.
    ULONG ReleaseObject();

private:
    std::atomic<ULONG> references_{1};
};

// Hands out `object` as interface I with a reference.
template <class I, class T> HRESULT Give(T* object, void** ppv)
{
    I* as = object;
    as->AddRef();
    *ppv = as;
    return S_OK;
}

// The answer for a new object made with one reference: the interface riid through its
// QueryInterface, then the maker's reference dropped.
template <class T> HRESULT Hand(T* object, REFIID riid, void** ppv)
{
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

} // namespace dshow

#define DSHOW_REFERENCE_COUNT                                                                                 \
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefObject(); }                                     \
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseObject(); }
