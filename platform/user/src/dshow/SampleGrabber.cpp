// The sample grabber.
#include "dshow/SampleGrabber.h"

#include <cstring>

namespace dshow {

HRESULT SampleGrabber::Create(REFIID riid, void** ppv)
{
    auto* grabber = new (std::nothrow) SampleGrabber;
    if (!grabber)
        return E_OUTOFMEMORY;
    return Hand(static_cast<Filter*>(grabber), riid, ppv);
}

SampleGrabber::SampleGrabber() : Filter(CLSID_SampleGrabber), input_(this), output_(this) {}

SampleGrabber::~SampleGrabber()
{
    FreeMediaType(wanted_);
    if (callback_)
        callback_->Release();
}

Pin* SampleGrabber::GetPin(int index)
{
    if (index == 0)
        return &input_;
    return index == 1 ? &output_ : nullptr;
}

HRESULT SampleGrabber::QueryOther(REFIID riid, void** ppv)
{
    if (riid == IID_ISampleGrabber)
        return Give<ISampleGrabber>(this, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT SampleGrabber::OnActive()
{
    std::lock_guard<std::mutex> hold(settingsLock_);
    oneShotDone_ = false;
    return S_OK;
}

STDMETHODIMP SampleGrabber::SetOneShot(BOOL OneShot)
{
    std::lock_guard<std::mutex> hold(settingsLock_);
    oneShot_ = OneShot != FALSE;
    oneShotDone_ = false;
    return S_OK;
}

STDMETHODIMP SampleGrabber::SetMediaType(const AM_MEDIA_TYPE* pType)
{
    if (!pType)
        return E_POINTER;
    AM_MEDIA_TYPE copy{};
    if (FAILED(CopyMediaType(&copy, pType)))
        return E_OUTOFMEMORY;
    std::lock_guard<std::mutex> hold(settingsLock_);
    FreeMediaType(wanted_);
    wanted_ = copy;
    return S_OK;
}

STDMETHODIMP SampleGrabber::GetConnectedMediaType(AM_MEDIA_TYPE* pType)
{
    if (!pType)
        return E_POINTER;
    return input_.ConnectionMediaType(pType);
}

STDMETHODIMP SampleGrabber::SetBufferSamples(BOOL BufferThem)
{
    std::lock_guard<std::mutex> hold(settingsLock_);
    bufferSamples_ = BufferThem != FALSE;
    if (!bufferSamples_) {
        hasBuffer_ = false;
        buffer_.clear();
    }
    return S_OK;
}

STDMETHODIMP SampleGrabber::GetCurrentBuffer(LONG* pBufferSize, LONG* pBuffer)
{
    if (!pBufferSize)
        return E_POINTER;
    std::lock_guard<std::mutex> hold(settingsLock_);
    if (!bufferSamples_)
        return E_INVALIDARG;
    if (!hasBuffer_)
        return VFW_E_WRONG_STATE;
    const LONG needed = LONG(buffer_.size());
    if (!pBuffer) {
        *pBufferSize = needed;
        return S_OK;
    }
    if (*pBufferSize < needed)
        return E_OUTOFMEMORY;
    std::memcpy(pBuffer, buffer_.data(), buffer_.size());
    *pBufferSize = needed;
    return S_OK;
}

STDMETHODIMP SampleGrabber::GetCurrentSample(IMediaSample** ppSample)
{
    if (ppSample)
        *ppSample = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP SampleGrabber::SetCallback(ISampleGrabberCB* pCallback, LONG WhichMethodToCallback)
{
    if (pCallback && WhichMethodToCallback != 0 && WhichMethodToCallback != 1)
        return E_INVALIDARG;
    if (pCallback)
        pCallback->AddRef();
    ISampleGrabberCB* old = nullptr;
    {
        std::lock_guard<std::mutex> hold(settingsLock_);
        old = callback_;
        callback_ = pCallback;
        whichCallback_ = WhichMethodToCallback;
    }
    if (old)
        old->Release();
    return S_OK;
}

HRESULT SampleGrabber::Grab(IMediaSample* sample)
{
    ISampleGrabberCB* callback = nullptr;
    LONG which = 0;
    bool last = false;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const LONG length = sample->GetActualDataLength();
    {
        std::lock_guard<std::mutex> hold(settingsLock_);
        if (oneShot_ && oneShotDone_)
            return S_FALSE;
        if (oneShot_)
            oneShotDone_ = last = true;
        if (bufferSamples_) {
            buffer_.assign(data, data + length);
            hasBuffer_ = true;
        }
        callback = callback_;
        which = whichCallback_;
        if (callback)
            callback->AddRef();
    }
    if (callback) {
        REFERENCE_TIME start = 0, stop = 0;
        const double seconds = SUCCEEDED(sample->GetTime(&start, &stop)) ? double(start) / 1e7 : 0.0;
        if (which == 0)
            callback->SampleCB(seconds, sample);
        else
            callback->BufferCB(seconds, data, length);
        callback->Release();
    }
    HRESULT delivered = S_OK;
    if (output_.IsConnected())
        delivered = output_.Deliver(sample);
    if (last) {
        if (output_.IsConnected())
            output_.DeliverEndOfStream();
        return S_FALSE;
    }
    return delivered;
}

HRESULT SampleGrabber::In::CheckMediaType(const AM_MEDIA_TYPE& type)
{
    std::lock_guard<std::mutex> hold(grabber_->settingsLock_);
    return TypeMatches(type, grabber_->wanted_) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT SampleGrabber::In::GetMediaType(int, AM_MEDIA_TYPE*)
{
    return S_FALSE;
}

HRESULT SampleGrabber::In::OnReceive(IMediaSample* sample)
{
    return grabber_->Grab(sample);
}

HRESULT SampleGrabber::In::OnEndOfStream()
{
    return grabber_->output_.IsConnected() ? grabber_->output_.DeliverEndOfStream() : S_OK;
}

HRESULT SampleGrabber::In::OnBeginFlush()
{
    return grabber_->output_.IsConnected() ? grabber_->output_.DeliverBeginFlush() : S_OK;
}

HRESULT SampleGrabber::In::OnEndFlush()
{
    return grabber_->output_.IsConnected() ? grabber_->output_.DeliverEndFlush() : S_OK;
}

HRESULT SampleGrabber::Out::CheckMediaType(const AM_MEDIA_TYPE& type)
{
    if (!grabber_->input_.IsConnected())
        return VFW_E_NOT_CONNECTED;
    const AM_MEDIA_TYPE& in = grabber_->input_.ConnectedType();
    const bool same = type.majortype == in.majortype && type.subtype == in.subtype &&
                      type.formattype == in.formattype && type.cbFormat == in.cbFormat &&
                      (type.cbFormat == 0 || std::memcmp(type.pbFormat, in.pbFormat, type.cbFormat) == 0);
    return same ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT SampleGrabber::Out::GetMediaType(int index, AM_MEDIA_TYPE* type)
{
    if (index != 0 || !grabber_->input_.IsConnected())
        return S_FALSE;
    return SUCCEEDED(CopyMediaType(type, &grabber_->input_.ConnectedType())) ? S_OK : S_FALSE;
}

} // namespace dshow
