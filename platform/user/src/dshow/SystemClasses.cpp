// Registers the DirectShow classes with COM as the stand-in's system classes.
#include "dshow/SystemClasses.h"

#include "dshow/CaptureGraphBuilder.h"
#include "dshow/DeviceEnumerator.h"
#include "dshow/FilterGraph.h"
#include "dshow/NullRenderer.h"
#include "dshow/SampleGrabber.h"
#include "ksproxy/KsProxyFilter.h"
#include "standin/com.h"

namespace dshow {

STDMETHODIMP SystemClassFactory::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory)
        return Give<IClassFactory>(this, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP SystemClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter)
        return CLASS_E_NOAGGREGATION;
    return create_(riid, ppvObject);
}

STDMETHODIMP SystemClassFactory::LockServer(BOOL)
{
    return S_OK;
}

namespace {

void Register(REFCLSID clsid, Creator create)
{
    standin::RegisterSystemClass(clsid, [create](REFIID riid, void** ppv) {
        auto* factory = new (std::nothrow) SystemClassFactory(create);
        if (!factory)
            return E_OUTOFMEMORY;
        return Hand(factory, riid, ppv);
    });
}

struct Registration {
    Registration()
    {
        Register(CLSID_SystemDeviceEnum, &DeviceEnumerator::Create);
        Register(CLSID_FilterGraph, &FilterGraph::Create);
        Register(CLSID_NullRenderer, &NullRenderer::Create);
        Register(CLSID_SampleGrabber, &SampleGrabber::Create);
        Register(CLSID_CaptureGraphBuilder2, &CaptureGraphBuilder::Create);
        Register(CLSID_Proxy, &ksproxy::KsProxyFilter::Create);
    }
} registration;

} // namespace

} // namespace dshow
