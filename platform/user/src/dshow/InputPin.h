// An input pin that takes samples through IMemInputPin. Receive refuses samples while the filter
// is stopped (VFW_E_WRONG_STATE), while flushing (S_FALSE) and after end of stream
// (VFW_E_SAMPLE_REJECTED_EOS); otherwise the derived pin's OnReceive handles it on the caller's
// (upstream streaming) thread.
#pragma once
#include "dshow/Pin.h"

#include <atomic>

namespace dshow {

class InputPin : public Pin, public IMemInputPin {
public:
    InputPin(Filter* filter, std::u16string name) : Pin(filter, std::move(name), PINDIR_INPUT) {}
    ~InputPin() override;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return Pin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return Pin::Release(); }

    STDMETHODIMP Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

    STDMETHODIMP GetAllocator(IMemAllocator** ppAllocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;
    STDMETHODIMP Receive(IMediaSample* pSample) override;
    STDMETHODIMP ReceiveMultiple(IMediaSample** pSamples, LONG nSamples, LONG* nSamplesProcessed) override;
    STDMETHODIMP ReceiveCanBlock() override;

    HRESULT Active() override;

protected:
    virtual HRESULT OnReceive(IMediaSample*) { return S_OK; }
    virtual HRESULT OnEndOfStream() { return S_OK; }
    virtual HRESULT OnBeginFlush() { return S_OK; }
    virtual HRESULT OnEndFlush() { return S_OK; }
    void BreakConnect() override;

private:
    IMemAllocator* allocator_ = nullptr;
    std::atomic<bool> flushing_{false};
    std::atomic<bool> endOfStream_{false};
};

} // namespace dshow
