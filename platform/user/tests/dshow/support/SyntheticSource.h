// A software capture source for the DirectShow tests, made on the platform's filter and pin classes:
// one output pin "Capture" of category PIN_CATEGORY_CAPTURE offering VIDEOINFOHEADER types of the
// subtypes it is given (RGB32 and UYVY by default) at a chosen size, with IAMStreamConfig. While
// running it delivers numbered frames from its own streaming thread: the frame number in the first
// four bytes, start times n x frame interval. Its class registers as a system class, and under
// AM_KSCATEGORY_CAPTURE's Instance key with the name "Synthetic Capture Source".
#pragma once
#include "dshow/Filter.h"
#include "dshow/OutputPin.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace dshowtest {

DEFINE_GUIDSTRUCT_VALUE(CLSID_SyntheticSource, 0x5A0C3D10L, 0x1F2E, 0x4B7A, 0x9C, 0x11, 0x3E, 0x52, 0x7D, 0x60,
                        0x0A, 0x21);
inline constexpr char16_t kSyntheticSourceName[] = u"Synthetic Capture Source";
inline constexpr REFERENCE_TIME kFrameInterval = 333'333;

// A VIDEOINFOHEADER type of `subtype` (RGB32: 32 bits, UYVY: 16 bits) at width x height.
AM_MEDIA_TYPE VideoType(const GUID& subtype, int width, int height);

class SyntheticSource final : public dshow::Filter {
public:
    // A new source with one reference.
    static SyntheticSource* Create(std::vector<GUID> subtypes = {MEDIASUBTYPE_RGB32, MEDIASUBTYPE_UYVY},
                                   int width = 320, int height = 240);
    // Registers the class (made with the default subtypes) and its Instance key; the registry must
    // hold HKCR.
    static void Register();
    static void Unregister();

    int PinCount() override { return 1; }
    dshow::Pin* GetPin(int index) override { return index == 0 ? &output_ : nullptr; }
    IPin* Output() { return &output_; }
    unsigned FramesDelivered() const { return delivered_; }

protected:
    HRESULT OnRun(REFERENCE_TIME start) override;
    void OnPauseFromRun() override;
    void OnStop() override;
    HRESULT StateResult(FILTER_STATE state) override { return state == State_Paused ? VFW_S_CANT_CUE : S_OK; }

private:
    class Out final : public dshow::OutputPin, public IAMStreamConfig, public IKsPropertySet {
    public:
        explicit Out(SyntheticSource* source) : OutputPin(source, u"Capture"), source_(source) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
        STDMETHODIMP_(ULONG) AddRef() override { return Pin::AddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return Pin::Release(); }
        HRESULT CheckMediaType(const AM_MEDIA_TYPE& type) override;
        HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override;

        STDMETHODIMP SetFormat(AM_MEDIA_TYPE* pmt) override;
        STDMETHODIMP GetFormat(AM_MEDIA_TYPE** ppmt) override;
        STDMETHODIMP GetNumberOfCapabilities(int* piCount, int* piSize) override;
        STDMETHODIMP GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) override;

        STDMETHODIMP Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD) override { return E_NOTIMPL; }
        STDMETHODIMP Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                         LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) override;
        STDMETHODIMP QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) override;

    private:
        SyntheticSource* const source_;
    };

    SyntheticSource(std::vector<GUID> subtypes, int width, int height);
    ~SyntheticSource() override;
    void Stream();
    void EndStreaming();

    Out output_;
    const std::vector<GUID> subtypes_;
    const int width_, height_;
    AM_MEDIA_TYPE chosen_{}; // SetFormat's type; majortype GUID_NULL while none was set
    std::thread streaming_;
    std::mutex streamLock_;
    std::condition_variable_any wake_;
    bool ending_ = false;
    std::atomic<unsigned> delivered_{0};
};

} // namespace dshowtest
