// An output pin that delivers samples to an IMemInputPin. Connect with a complete type tries that
// type only; with none or a partial one (GUID_NULL fields match anything) it tries the pin's own
// types, then the receiving pin's, and the first both accept is the connection's type. The
// allocator is the receiving pin's (or one of ours) with the properties DecideBufferSize asks.
#pragma once
#include "dshow/Pin.h"

namespace dshow {

class OutputPin : public Pin {
public:
    OutputPin(Filter* filter, std::u16string name) : Pin(filter, std::move(name), PINDIR_OUTPUT) {}
    ~OutputPin() override;

    STDMETHODIMP Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

    HRESULT Active() override;
    void Inactive() override;

    // On the streaming thread: a buffer of the connection's allocator, and handing it downstream.
    HRESULT GetDeliveryBuffer(IMediaSample** sample, DWORD flags);
    HRESULT Deliver(IMediaSample* sample);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();

protected:
    // Called before a type is offered to the receiving pin: a failure ends the attempt with that type.
    // A later failure of the same attempt is undone through BreakConnect.
    virtual HRESULT PrepareConnect(const AM_MEDIA_TYPE&) { return S_OK; }
    // Fills in the request (buffer count and size for the connection's type) and sets it.
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request);
    void BreakConnect() override;

private:
    HRESULT TryType(IPin* receiver, const AM_MEDIA_TYPE& type);
    HRESULT DecideAllocator(IMemInputPin* input);

    IMemInputPin* input_ = nullptr;
    IMemAllocator* allocator_ = nullptr;
};

} // namespace dshow
