// A proxy output pin that streams: its types come from its pin factory's data ranges, IAMStreamConfig
// picks the connection's format, a connection makes the kernel pin (KsCreatePin with that format), the
// filter steps the kernel pin's state with its own, and while the pin runs a KsPinReader reads its
// frames into the connection's samples.
#pragma once
#include "dshow/OutputPin.h"
#include "ksproxy/KsMediaTypes.h"
#include "ksproxy/KsPinReader.h"
#include "um/ksproxy.h"

#include <atomic>
#include <memory>

namespace ksproxy {

class KsStreamPin final : public dshow::OutputPin, public IAMStreamConfig, public IKsPropertySet, public IKsObject {
public:
    KsStreamPin(dshow::Filter* filter, HANDLE filterHandle, PinFactory factory, std::vector<OfferedType> types);
    ~KsStreamPin() override;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return Pin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return Pin::Release(); }

    // A refusal of the kernel pin fails the connection with the request's HRESULT.
    STDMETHODIMP Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;

    STDMETHODIMP SetFormat(AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE** ppmt) override;
    STDMETHODIMP GetNumberOfCapabilities(int* piCount, int* piSize) override;
    STDMETHODIMP GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) override;

    STDMETHODIMP Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                     LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) override;
    STDMETHODIMP QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) override;

    // The kernel pin's handle while connected; NULL otherwise.
    STDMETHODIMP_(HANDLE) KsGetObjectHandle() override { return kernelPin_.load(); }

    HRESULT CheckMediaType(const AM_MEDIA_TYPE& type) override;
    HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override;

    // The filter's state changes, under the filter lock. StepTo moves the kernel pin one state at a
    // time; a refused step stops there and gives the request's HRESULT.
    HRESULT StepTo(KSSTATE target);
    HRESULT SetMasterClock(HANDLE clock);
    void StartReading();
    void StopReading();

protected:
    HRESULT PrepareConnect(const AM_MEDIA_TYPE& type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    void BreakConnect() override;

private:
    HRESULT PinProperty(ULONG id, ULONG flags, void* data, ULONG length, ULONG* bytes);

    const HANDLE filterHandle_;
    const PinFactory factory_;
    const std::vector<OfferedType> types_;
    const int capsSize_;
    AM_MEDIA_TYPE set_{};
    bool hasSet_ = false;
    // Read by any thread through IKsObject; changed under the filter lock.
    std::atomic<HANDLE> kernelPin_{nullptr};
    KSSTATE state_ = KSSTATE_STOP;
    HRESULT createError_ = S_OK;
    int buffers_ = 0;
    std::unique_ptr<KsPinReader> reader_;
};

} // namespace ksproxy
