// The tests' synthetic capture source.
#include "SyntheticSource.h"

#include "platform/Clock.h"
#include "standin/com.h"
#include "um/windows.h"

#include <cstring>

namespace dshowtest {

AM_MEDIA_TYPE VideoType(const GUID& subtype, int width, int height)
{
    const int bits = subtype == MEDIASUBTYPE_UYVY ? 16 : 32;
    AM_MEDIA_TYPE mt{};
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = subtype;
    mt.bFixedSizeSamples = TRUE;
    mt.lSampleSize = ULONG(width * height * bits / 8);
    mt.formattype = FORMAT_VideoInfo;
    mt.cbFormat = sizeof(VIDEOINFOHEADER);
    mt.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(mt.cbFormat));
    std::memset(mt.pbFormat, 0, mt.cbFormat);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat);
    vih->AvgTimePerFrame = kFrameInterval;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = width;
    vih->bmiHeader.biHeight = height;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = WORD(bits);
    vih->bmiHeader.biCompression = bits == 16 ? subtype.Data1 : BI_RGB;
    vih->bmiHeader.biSizeImage = mt.lSampleSize;
    return mt;
}

SyntheticSource::SyntheticSource(std::vector<GUID> subtypes, int width, int height)
    : Filter(CLSID_SyntheticSource), output_(this), subtypes_(std::move(subtypes)), width_(width), height_(height)
{
}

SyntheticSource::~SyntheticSource()
{
    EndStreaming();
    FreeMediaType(chosen_);
}

SyntheticSource* SyntheticSource::Create(std::vector<GUID> subtypes, int width, int height)
{
    return new SyntheticSource(std::move(subtypes), width, height);
}

namespace {

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = riid == IID_IUnknown || riid == IID_IClassFactory ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        SyntheticSource* source = SyntheticSource::Create();
        const HRESULT hr = source->QueryInterface(riid, ppv);
        source->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory factory;

std::u16string InstanceKey()
{
    WCHAR category[40], clsid[40];
    StringFromGUID2(AM_KSCATEGORY_CAPTURE, category, 40);
    StringFromGUID2(CLSID_SyntheticSource, clsid, 40);
    return u"CLSID\\" + std::u16string(category) + u"\\Instance\\" + clsid;
}

} // namespace

void SyntheticSource::Register()
{
    standin::RegisterSystemClass(CLSID_SyntheticSource,
                                 [](REFIID riid, void** ppv) { return factory.QueryInterface(riid, ppv); });
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, InstanceKey().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    WCHAR clsid[40];
    StringFromGUID2(CLSID_SyntheticSource, clsid, 40);
    RegSetValueExW(key, u"FriendlyName", 0, REG_SZ, reinterpret_cast<const BYTE*>(kSyntheticSourceName),
                   sizeof kSyntheticSourceName);
    RegSetValueExW(key, u"CLSID", 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid), sizeof clsid);
    RegCloseKey(key);
}

void SyntheticSource::Unregister()
{
    standin::UnregisterSystemClass(CLSID_SyntheticSource);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, InstanceKey().c_str());
}

HRESULT SyntheticSource::OnRun(REFERENCE_TIME)
{
    EndStreaming();
    {
        std::lock_guard<std::mutex> hold(streamLock_);
        ending_ = false;
    }
    streaming_ = std::thread([this] { Stream(); });
    return S_OK;
}

void SyntheticSource::OnPauseFromRun()
{
    EndStreaming();
}

void SyntheticSource::OnStop()
{
    EndStreaming();
}

void SyntheticSource::EndStreaming()
{
    {
        std::lock_guard<std::mutex> hold(streamLock_);
        ending_ = true;
    }
    wake_.notify_all();
    if (streaming_.joinable())
        streaming_.join();
}

void SyntheticSource::Stream()
{
    const LONG length = LONG(output_.ConnectedType().lSampleSize);
    for (unsigned frame = 0;; ++frame) {
        {
            std::lock_guard<std::mutex> hold(streamLock_);
            if (ending_)
                return;
        }
        IMediaSample* sample = nullptr;
        if (FAILED(output_.GetDeliveryBuffer(&sample, 0)))
            return;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::memcpy(data, &frame, sizeof frame);
        sample->SetActualDataLength(length);
        REFERENCE_TIME start = REFERENCE_TIME(frame) * kFrameInterval, stop = start + kFrameInterval;
        sample->SetTime(&start, &stop);
        sample->SetSyncPoint(TRUE);
        output_.Deliver(sample);
        sample->Release();
        ++delivered_;
        std::unique_lock<std::mutex> hold(streamLock_);
        platform::Clock::WaitUntil(hold, wake_, platform::Clock::DeadlineAfter(kFrameInterval),
                                   [this] { return ending_; });
    }
}

STDMETHODIMP SyntheticSource::Out::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IAMStreamConfig)
        return dshow::Give<IAMStreamConfig>(this, ppv);
    if (riid == IID_IKsPropertySet)
        return dshow::Give<IKsPropertySet>(this, ppv);
    return OutputPin::QueryInterface(riid, ppv);
}

HRESULT SyntheticSource::Out::CheckMediaType(const AM_MEDIA_TYPE& type)
{
    if (type.majortype != MEDIATYPE_Video || type.formattype != FORMAT_VideoInfo ||
        type.cbFormat < sizeof(VIDEOINFOHEADER) || !type.pbFormat)
        return VFW_E_TYPE_NOT_ACCEPTED;
    bool offered = false;
    for (const GUID& subtype : source_->subtypes_)
        offered |= subtype == type.subtype;
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
    if (!offered || vih->bmiHeader.biWidth <= 0 || vih->bmiHeader.biHeight == 0)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (source_->chosen_.majortype != GUID_NULL && source_->chosen_.subtype != type.subtype)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT SyntheticSource::Out::GetMediaType(int index, AM_MEDIA_TYPE* type)
{
    if (source_->chosen_.majortype != GUID_NULL)
        return index == 0 && SUCCEEDED(CopyMediaType(type, &source_->chosen_)) ? S_OK : S_FALSE;
    if (index < 0 || size_t(index) >= source_->subtypes_.size())
        return S_FALSE;
    *type = VideoType(source_->subtypes_[size_t(index)], source_->width_, source_->height_);
    return S_OK;
}

STDMETHODIMP SyntheticSource::Out::SetFormat(AM_MEDIA_TYPE* pmt)
{
    if (!pmt)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(source_->FilterLock());
    if (source_->State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (IsConnected())
        return VFW_E_ALREADY_CONNECTED;
    FreeMediaType(source_->chosen_);
    source_->chosen_ = AM_MEDIA_TYPE{};
    if (CheckMediaType(*pmt) != S_OK)
        return VFW_E_INVALIDMEDIATYPE;
    return CopyMediaType(&source_->chosen_, pmt);
}

STDMETHODIMP SyntheticSource::Out::GetFormat(AM_MEDIA_TYPE** ppmt)
{
    if (!ppmt)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(source_->FilterLock());
    if (IsConnected()) {
        *ppmt = CreateMediaType(&ConnectedType());
    } else {
        AM_MEDIA_TYPE first{};
        if (GetMediaType(0, &first) != S_OK)
            return E_FAIL;
        *ppmt = CreateMediaType(&first);
        FreeMediaType(first);
    }
    return *ppmt ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP SyntheticSource::Out::GetNumberOfCapabilities(int* piCount, int* piSize)
{
    if (!piCount || !piSize)
        return E_POINTER;
    *piCount = int(source_->subtypes_.size());
    *piSize = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

STDMETHODIMP SyntheticSource::Out::GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC)
{
    if (!ppmt || !pSCC)
        return E_POINTER;
    if (iIndex < 0 || size_t(iIndex) >= source_->subtypes_.size())
        return S_FALSE;
    AM_MEDIA_TYPE type = VideoType(source_->subtypes_[size_t(iIndex)], source_->width_, source_->height_);
    *ppmt = CreateMediaType(&type);
    FreeMediaType(type);
    VIDEO_STREAM_CONFIG_CAPS caps{};
    caps.guid = FORMAT_VideoInfo;
    caps.InputSize = caps.MaxCroppingSize = caps.MaxOutputSize = {source_->width_, source_->height_};
    caps.MinCroppingSize = caps.MinOutputSize = {16, 16};
    caps.OutputGranularityX = caps.OutputGranularityY = 2;
    caps.MinFrameInterval = caps.MaxFrameInterval = kFrameInterval;
    std::memcpy(pSCC, &caps, sizeof caps);
    return *ppmt ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP SyntheticSource::Out::Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID, DWORD, LPVOID pPropData,
                                       DWORD cbPropData, DWORD* pcbReturned)
{
    if (guidPropSet != AMPROPSETID_Pin || dwPropID != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (!pPropData || cbPropData < sizeof(GUID))
        return E_UNEXPECTED;
    std::memcpy(pPropData, &PIN_CATEGORY_CAPTURE, sizeof(GUID));
    if (pcbReturned)
        *pcbReturned = sizeof(GUID);
    return S_OK;
}

STDMETHODIMP SyntheticSource::Out::QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport)
{
    if (guidPropSet != AMPROPSETID_Pin || dwPropID != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (pTypeSupport)
        *pTypeSupport = KSPROPERTY_SUPPORT_GET;
    return S_OK;
}

} // namespace dshowtest
