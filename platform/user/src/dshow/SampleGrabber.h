// The sample grabber (CLSID_SampleGrabber): an input pin "Input" that accepts the type set with
// SetMediaType (GUID_NULL fields accept anything) and an output pin "Output" that offers exactly the
// input's connection type. Each sample goes to the callback on the upstream streaming thread, into
// the grabber's buffer when asked, then on downstream. In one-shot mode the first sample is the
// last: end of stream goes downstream and later samples are refused.
#pragma once
#include "dshow/Filter.h"
#include "dshow/InputPin.h"
#include "dshow/OutputPin.h"
#include "um/qedit.h"

#include <mutex>
#include <vector>

namespace dshow {

class SampleGrabber final : public Filter, public ISampleGrabber {
public:
    static HRESULT Create(REFIID riid, void** ppv);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return Filter::QueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return Filter::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return Filter::Release(); }

    STDMETHODIMP SetOneShot(BOOL OneShot) override;
    STDMETHODIMP SetMediaType(const AM_MEDIA_TYPE* pType) override;
    STDMETHODIMP GetConnectedMediaType(AM_MEDIA_TYPE* pType) override;
    STDMETHODIMP SetBufferSamples(BOOL BufferThem) override;
    STDMETHODIMP GetCurrentBuffer(LONG* pBufferSize, LONG* pBuffer) override;
    STDMETHODIMP GetCurrentSample(IMediaSample** ppSample) override;
    STDMETHODIMP SetCallback(ISampleGrabberCB* pCallback, LONG WhichMethodToCallback) override;

    int PinCount() override { return 2; }
    Pin* GetPin(int index) override;

protected:
    HRESULT QueryOther(REFIID riid, void** ppv) override;
    HRESULT OnActive() override;

private:
    class In final : public InputPin {
    public:
        explicit In(SampleGrabber* grabber) : InputPin(grabber, u"Input"), grabber_(grabber) {}
        HRESULT CheckMediaType(const AM_MEDIA_TYPE& type) override;
        HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override;

    protected:
        HRESULT OnReceive(IMediaSample* sample) override;
        HRESULT OnEndOfStream() override;
        HRESULT OnBeginFlush() override;
        HRESULT OnEndFlush() override;

    private:
        SampleGrabber* const grabber_;
    };
    class Out final : public OutputPin {
    public:
        explicit Out(SampleGrabber* grabber) : OutputPin(grabber, u"Output"), grabber_(grabber) {}
        HRESULT CheckMediaType(const AM_MEDIA_TYPE& type) override;
        HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override;

    private:
        SampleGrabber* const grabber_;
    };

    SampleGrabber();
    ~SampleGrabber() override;
    HRESULT Grab(IMediaSample* sample);

    In input_;
    Out output_;
    std::mutex settingsLock_; // the settings and the buffer, shared with the streaming thread
    AM_MEDIA_TYPE wanted_{};
    bool oneShot_ = false;
    bool oneShotDone_ = false;
    bool bufferSamples_ = false;
    bool hasBuffer_ = false;
    std::vector<BYTE> buffer_;
    ISampleGrabberCB* callback_ = nullptr;
    LONG whichCallback_ = 0;
};

} // namespace dshow
