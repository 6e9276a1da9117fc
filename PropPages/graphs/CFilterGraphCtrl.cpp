#include "graphs/CFilterGraphCtrl.h"

#include "graphs/CAudioSampleCB.h"
#include "graphs/CVideoSampleCB.h"

#include "um/oleauto.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

template <class T> void ReleaseField(T*& field)
{
    if (field) {
        field->Release();
        field = nullptr;
    }
}

// "(<prefix><n>)" at the end of a per-input audio filter's name stands for the board that the
// "<prefix>Audio Device <n>" name means; the board's audio filters carry their input's name first.
bool IsBoardAudioFilterName(const std::u16string& wanted, const std::u16string& friendly)
{
    static const std::u16string kAudioDevice = u"Audio Device ";
    const size_t at = wanted.rfind(kAudioDevice);
    if (at == std::u16string::npos)
        return false;
    const std::u16string suffix = u" (" + wanted.substr(0, at) + wanted.substr(at + kAudioDevice.size()) + u")";
    return friendly.size() > suffix.size() &&
           friendly.compare(friendly.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

CFilterGraphCtrl::CFilterGraphCtrl()
{
    InitializeCriticalSection(&m_lock);
}

CFilterGraphCtrl::~CFilterGraphCtrl()
{
    // A graph still there is stopped and taken apart before the lock it uses goes.
    StopGraphAndWait();
    TeardownFilterGraph();
    ReleaseField(m_pCrossbar);
    ReleaseField(m_pCapture);
    ReleaseField(m_pNullRenderer);
    ReleaseField(m_pKsControl);
    ReleaseField(m_pKsObject);
    ReleaseField(m_pGrabber);
    ReleaseField(m_pGrabberFilter);
    ReleaseField(m_pBuilder);
    ReleaseField(m_pGraph);
    DeleteCriticalSection(&m_lock);
}

std::u16string CFilterGraphCtrl::DeviceFilterName(const char16_t* prefix, int deviceNumber, const char16_t* kind)
{
    return std::u16string(prefix ? prefix : u"") + kind + u" Device " +
           [](int n) {
               std::string digits = std::to_string(n);
               return std::u16string(digits.begin(), digits.end());
           }(deviceNumber);
}

HRESULT CFilterGraphCtrl::FindFilterByName(const GUID& category, IBaseFilter** filter, const char16_t* name)
{
    if (!filter)
        return E_POINTER;
    *filter = nullptr;
    const std::u16string wanted = name ? name : u"";
    ICreateDevEnum* devices = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                  reinterpret_cast<void**>(&devices));
    if (FAILED(hr))
        return hr;
    IEnumMoniker* list = nullptr;
    hr = devices->CreateClassEnumerator(category, &list, 0);
    devices->Release();
    if (hr != S_OK || !list)
        return FAILED(hr) ? hr : E_FAIL;
    // The exact name first; for an audio device's name the board's first audio filter otherwise.
    IMoniker* fallback = nullptr;
    IMoniker* moniker = nullptr;
    while (!*filter && list->Next(1, &moniker, nullptr) == S_OK) {
        IPropertyBag* bag = nullptr;
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag)))) {
            VARIANT value;
            VariantInit(&value);
            if (SUCCEEDED(bag->Read(u"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal) {
                const std::u16string friendly(value.bstrVal);
                if (friendly == wanted)
                    moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter));
                else if (!fallback && IsBoardAudioFilterName(wanted, friendly)) {
                    fallback = moniker;
                    fallback->AddRef();
                }
            }
            VariantClear(&value);
            bag->Release();
        }
        moniker->Release();
    }
    list->Release();
    if (fallback) {
        if (!*filter)
            fallback->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter));
        fallback->Release();
    }
    return *filter ? S_OK : E_FAIL;
}

HRESULT CFilterGraphCtrl::FindCaptureFilterByName(IBaseFilter** filter, const char16_t* name)
{
    return FindFilterByName(AM_KSCATEGORY_CAPTURE, filter, name);
}

HRESULT CFilterGraphCtrl::FindCrossbarFilterByName(IBaseFilter** filter, const char16_t* name)
{
    return FindFilterByName(AM_KSCATEGORY_CROSSBAR, filter, name);
}

void CFilterGraphCtrl::TakeKsInterfaces()
{
    ReleaseField(m_pKsObject);
    ReleaseField(m_pKsControl);
    if (SUCCEEDED(m_pCapture->QueryInterface(IID_IKsObject, reinterpret_cast<void**>(&m_pKsObject))) && m_pKsObject)
        SetFilterHandle(m_pKsObject->KsGetObjectHandle());
    m_pCapture->QueryInterface(IID_IKsControl, reinterpret_cast<void**>(&m_pKsControl));
}

void CFilterGraphCtrl::SelectCaptureDevice(const char16_t* captureName, const char16_t* crossbarName)
{
    m_captureName = captureName ? captureName : u"";
    m_crossbarName = crossbarName ? crossbarName : u"";
    ReleaseField(m_pKsObject);
    ReleaseField(m_pKsControl);
    ReleaseField(m_pCapture);
    ReleaseField(m_pCrossbar);
    if (SUCCEEDED(FindCaptureFilterByName(&m_pCapture, m_captureName.c_str())))
        TakeKsInterfaces();
    if (!m_crossbarName.empty())
        FindCrossbarFilterByName(&m_pCrossbar, m_crossbarName.c_str());
}

IPin* CFilterGraphCtrl::GetPin(IBaseFilter* filter, int index, PIN_DIRECTION direction)
{
    if (!filter)
        return nullptr;
    IEnumPins* pins = nullptr;
    if (FAILED(filter->EnumPins(&pins)) || !pins)
        return nullptr;
    IPin* found = nullptr;
    IPin* pin = nullptr;
    int count = 0;
    while (!found && pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION its = PINDIR_INPUT;
        if (SUCCEEDED(pin->QueryDirection(&its)) && its == direction && count++ == index)
            found = pin;
        else
            pin->Release();
    }
    pins->Release();
    return found;
}

HRESULT CFilterGraphCtrl::ConnectFilters(IBaseFilter* upstream, IBaseFilter* downstream, int outputIndex,
                                         int inputIndex)
{
    if (!upstream || !downstream || !m_pGraph)
        return E_POINTER;
    IPin* out = GetOutputPin(upstream, outputIndex);
    IPin* in = GetInputPin(downstream, inputIndex);
    HRESULT hr = E_POINTER;
    if (out && in)
        hr = m_pGraph->Connect(out, in);
    if (out)
        out->Release();
    if (in)
        in->Release();
    return hr;
}

void CFilterGraphCtrl::ChooseVideoFormat(IAMStreamConfig* config)
{
    int count = 0, size = 0;
    if (FAILED(config->GetNumberOfCapabilities(&count, &size)) || size <= 0)
        return;
    std::vector<BYTE> caps(size_t(size), 0);
    AM_MEDIA_TYPE* chosen = nullptr;
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* type = nullptr;
        if (FAILED(config->GetStreamCaps(i, &type, caps.data())) || !type)
            continue;
        if (!chosen && type->cbFormat == sizeof(VIDEOINFOHEADER) && type->pbFormat) {
            const BITMAPINFOHEADER& bits = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat)->bmiHeader;
            if (bits.biCompression == m_wantedCompression && bits.biBitCount == m_wantedBitCount) {
                chosen = type;
                continue;
            }
        }
        DeleteMediaType(type);
    }
    if (!chosen)
        return;
    BITMAPINFOHEADER& bits = reinterpret_cast<VIDEOINFOHEADER*>(chosen->pbFormat)->bmiHeader;
    m_offered = bits;
    const LONG width = m_rcVideo.right - m_rcVideo.left;
    const LONG height = m_rcVideo.bottom - m_rcVideo.top;
    bits.biWidth = width;
    bits.biHeight = height;
    bits.biBitCount = WORD(m_wantedBitCount);
    bits.biSizeImage = DWORD(double(height) * double(width) * (double(m_wantedBitCount) * 0.125));
    if (SUCCEEDED(config->SetFormat(chosen)) && m_pVideoCB)
        m_pVideoCB->m_header = bits;
    DeleteMediaType(chosen);
}

void CFilterGraphCtrl::ChooseAudioFormat(IAMStreamConfig* config)
{
    int count = 0, size = 0;
    if (FAILED(config->GetNumberOfCapabilities(&count, &size)) || size <= 0)
        return;
    std::vector<BYTE> caps(size_t(size), 0);
    AM_MEDIA_TYPE* chosen = nullptr;
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* type = nullptr;
        if (FAILED(config->GetStreamCaps(i, &type, caps.data())) || !type)
            continue;
        if (!chosen && type->formattype == FORMAT_WaveFormatEx && type->pbFormat &&
            type->cbFormat >= sizeof(WAVEFORMATEX)) {
            const WAVEFORMATEX* wave = reinterpret_cast<WAVEFORMATEX*>(type->pbFormat);
            if (wave->wBitsPerSample == m_wantedAudioBits && wave->nSamplesPerSec == m_wantedAudioRate) {
                chosen = type;
                continue;
            }
        }
        DeleteMediaType(type);
    }
    if (chosen) {
        config->SetFormat(chosen);
        DeleteMediaType(chosen);
    }
}

HRESULT CFilterGraphCtrl::AddGrabberAndRenderer(const char16_t* grabberName)
{
    HRESULT hr = CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void**>(&m_pNullRenderer));
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = m_pGraph->AddFilter(m_pNullRenderer, u"NULL Renderer")))
        return hr;
    hr = CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          reinterpret_cast<void**>(&m_pGrabberFilter));
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = m_pGraph->AddFilter(m_pGrabberFilter, grabberName)))
        return hr;
    return m_pGrabberFilter->QueryInterface(IID_ISampleGrabber, reinterpret_cast<void**>(&m_pGrabber));
}

HRESULT CFilterGraphCtrl::BuildCaptureGraph()
{
    if (m_pBuilder)
        return S_OK;
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  reinterpret_cast<void**>(&m_pGraph));
    if (FAILED(hr))
        return hr;
    hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_ALL, IID_ICaptureGraphBuilder2,
                          reinterpret_cast<void**>(&m_pBuilder));
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = m_pBuilder->SetFiltergraph(m_pGraph)))
        return hr;
    if (FAILED(hr = m_pGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&m_pControl))))
        return hr;

    const bool video = !m_crossbarName.empty();
    if (!m_pCapture) {
        if (FAILED(hr = FindCaptureFilterByName(&m_pCapture, m_captureName.c_str())))
            return hr;
        if (video)
            TakeKsInterfaces();
    }
    if (FAILED(hr = m_pGraph->AddFilter(m_pCapture, m_captureName.c_str()))) {
        ReleaseField(m_pCapture);
        return hr;
    }
    if (video) {
        if (!m_pCrossbar)
            FindCrossbarFilterByName(&m_pCrossbar, m_crossbarName.c_str());
        if (m_pCrossbar && FAILED(hr = m_pGraph->AddFilter(m_pCrossbar, m_crossbarName.c_str()))) {
            ReleaseField(m_pCapture);
            return hr;
        }
    }
    if (FAILED(hr = AddGrabberAndRenderer(video ? u"Video Sample Grabber" : u"Audio Sample Grabber")))
        return hr;
    ISampleGrabberCB* callback = nullptr;
    if (video) {
        if (!m_pVideoCB)
            m_pVideoCB = new CVideoSampleCB(&m_lock, m_rcVideo, &m_cbFrame, &m_pFrame, m_hWndControl);
        callback = m_pVideoCB;
    } else {
        if (!m_pAudioCB)
            m_pAudioCB = new CAudioSampleCB(&m_lock, &m_cbFrame, &m_pFrame, m_hWndControl);
        callback = m_pAudioCB;
    }
    m_pGrabber->SetBufferSamples(FALSE);
    m_pGrabber->SetCallback(callback, 0);
    m_pGrabber->SetOneShot(FALSE);

    IPin* pin = GetOutputPin(m_pCapture, int(m_outputPin));
    IAMStreamConfig* config = nullptr;
    if (pin)
        pin->QueryInterface(IID_IAMStreamConfig, reinterpret_cast<void**>(&config));
    if (config) {
        if (video)
            ChooseVideoFormat(config);
        else
            ChooseAudioFormat(config);
    }
    if (pin)
        pin->Release();

    if (video && m_pCrossbar && FAILED(hr = ConnectFilters(m_pCrossbar, m_pCapture, 0, 0))) {
        ReleaseField(config);
        return hr;
    }
    if (FAILED(hr = ConnectFilters(m_pCapture, m_pGrabberFilter, int(m_outputPin), 0))) {
        ReleaseField(config);
        return hr;
    }
    hr = ConnectFilters(m_pGrabberFilter, m_pNullRenderer, 0, 0);
    if (config) {
        if (m_pMediaType)
            DeleteMediaType(m_pMediaType);
        m_pMediaType = nullptr;
        config->GetFormat(&m_pMediaType);
        config->Release();
    }
    return hr;
}

bool CFilterGraphCtrl::StartCaptureGraph()
{
    if (!m_pControl && FAILED(BuildCaptureGraph()))
        return false;
    if (!m_pControl)
        return false;
    const HRESULT hr = m_pControl->Run();
    return hr == S_OK || hr == S_FALSE;
}

int CFilterGraphCtrl::StopGraphAndWait()
{
    if (m_pControl) {
        m_pControl->Stop();
        OAFilterState state = State_Running;
        // A failing answer ends the wait as the stopped state does.
        while (SUCCEEDED(m_pControl->GetState(10, &state)) && state != State_Stopped) {
        }
        ReleaseField(m_pControl);
        TeardownFilterGraph();
    }
    return 1;
}

int CFilterGraphCtrl::TeardownFilterGraph()
{
    if (!m_pBuilder)
        return 0;
    // A running graph is stopped first, so that no streaming thread is inside a callback, and the
    // grabber lets go of the callbacks before they are deleted.
    if (m_pControl) {
        m_pControl->Stop();
        OAFilterState state = State_Running;
        while (SUCCEEDED(m_pControl->GetState(10, &state)) && state != State_Stopped) {
        }
        ReleaseField(m_pControl);
    }
    if (m_pGrabber)
        m_pGrabber->SetCallback(nullptr, 0);
    if (m_pMediaType) {
        DeleteMediaType(m_pMediaType);
        m_pMediaType = nullptr;
    }
    ReleaseField(m_pCrossbar);
    ReleaseField(m_pCapture);
    ReleaseField(m_pGrabber);
    ReleaseField(m_pGrabberFilter);
    ReleaseField(m_pNullRenderer);
    ReleaseField(m_pBuilder);
    ReleaseField(m_pGraph);
    EnterCriticalSection(&m_lock);
    std::free(m_pFrame);
    m_pFrame = nullptr;
    m_cbFrame = 0;
    delete m_pVideoCB;
    m_pVideoCB = nullptr;
    delete m_pAudioCB;
    m_pAudioCB = nullptr;
    LeaveCriticalSection(&m_lock);
    return 0;
}
