// The DirectShow classes the platform serves itself, registered with COM when the user side loads.
#pragma once
#include "dshow/ComObject.h"

namespace dshow {

using Creator = HRESULT (*)(REFIID riid, void** ppv);

// The class object of a system class: CreateInstance makes an object with `create`; aggregation is
// refused.
class SystemClassFactory final : public IClassFactory, ComObject {
public:
    explicit SystemClassFactory(Creator create) : create_(create) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    DSHOW_REFERENCE_COUNT
    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
    STDMETHODIMP LockServer(BOOL fLock) override;

private:
    const Creator create_;
};

} // namespace dshow
