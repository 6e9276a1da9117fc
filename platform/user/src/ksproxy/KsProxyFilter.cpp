// The kernel-streaming proxy filter.
#include "ksproxy/KsProxyFilter.h"

#include "ksproxy/KsMediumPin.h"
#include "ksproxy/KsStreamPin.h"
#include "um/cfgmgr32.h"
#include "um/combaseapi.h"
#include "um/errhandlingapi.h"
#include "um/fileapi.h"
#include "um/handleapi.h"
#include "um/oleauto.h"
#include "um/winreg.h"

#include <algorithm>
#include <mutex>

namespace ksproxy {

namespace {

// The "FilterData" value of the interface's key, when its driver wrote one.
bool ReadFilterData(const std::u16string& path, std::vector<BYTE>* data)
{
    HKEY key = nullptr;
    if (CM_Open_Device_Interface_KeyW(path.c_str(), KEY_READ, RegDisposition_OpenExisting, &key, 0) != CR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD bytes = 0;
    bool found = RegQueryValueExW(key, u"FilterData", nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
                 type == REG_BINARY;
    if (found) {
        data->assign(bytes, 0);
        found = RegQueryValueExW(key, u"FilterData", nullptr, &type, data->data(), &bytes) == ERROR_SUCCESS;
        data->resize(bytes);
    }
    RegCloseKey(key);
    return found;
}

// The sets the driver's filter answers (set support naming no set); empty when it lists none.
std::vector<GUID> SupportedSets(HANDLE handle)
{
    KSPROPERTY request{};
    request.Set = GUID_NULL;
    request.Flags = KSPROPERTY_TYPE_SETSUPPORT;
    ULONG bytes = 0;
    HRESULT hr = KsSynchronousDeviceControl(handle, IOCTL_KS_PROPERTY, &request, sizeof request, nullptr, 0, &bytes);
    if (hr != HRESULT_FROM_WIN32(ERROR_MORE_DATA) || bytes < sizeof(GUID))
        return {};
    std::vector<GUID> sets(bytes / sizeof(GUID));
    hr = KsSynchronousDeviceControl(handle, IOCTL_KS_PROPERTY, &request, sizeof request, sets.data(),
                                    ULONG(sets.size() * sizeof(GUID)), &bytes);
    if (FAILED(hr))
        return {};
    sets.resize(std::min<size_t>(sets.size(), bytes / sizeof(GUID)));
    return sets;
}

// Adds the classes registered as pages of `set` that `pages` does not hold yet; a sub-key whose
// name is no class identifier is passed over.
void AddPagesOfSet(const GUID& set, std::vector<CLSID>* pages)
{
    WCHAR braced[40] = {};
    StringFromGUID2(set, braced, 40);
    const std::u16string path =
        u"SYSTEM\\CurrentControlSet\\Control\\MediaSets\\" + std::u16string(braced) + u"\\PropertyPages";
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        WCHAR name[256] = {};
        DWORD length = 256;
        const LSTATUS status = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            continue;
        CLSID page{};
        if (FAILED(CLSIDFromString(name, &page)))
            continue;
        if (std::find(pages->begin(), pages->end(), page) == pages->end())
            pages->push_back(page);
    }
    RegCloseKey(key);
}

} // namespace

HRESULT KsProxyFilter::Create(REFIID riid, void** ppv)
{
    auto* filter = new (std::nothrow) KsProxyFilter;
    if (!filter)
        return E_OUTOFMEMORY;
    return dshow::Hand(static_cast<IBaseFilter*>(filter), riid, ppv);
}

KsProxyFilter::~KsProxyFilter()
{
    for (KsStreamPin* pin : streamPins_)
        pin->StopReading();
    for (dshow::Pin* pin : pins_)
        delete pin;
    if (clock_)
        CloseHandle(clock_);
    if (HANDLE handle = handle_.load())
        CloseHandle(handle);
}

HRESULT KsProxyFilter::QueryOther(REFIID riid, void** ppv)
{
    if (riid == IID_IPersistPropertyBag)
        return dshow::Give<IPersistPropertyBag>(this, ppv);
    if (riid == IID_IKsObject)
        return dshow::Give<IKsObject>(this, ppv);
    if (riid == IID_IKsControl)
        return dshow::Give<IKsControl>(this, ppv);
    if (riid == IID_ISpecifyPropertyPages)
        return dshow::Give<ISpecifyPropertyPages>(this, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP KsProxyFilter::Load(IPropertyBag* pPropBag, IErrorLog*)
{
    if (!pPropBag)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(FilterLock());
    if (handle_.load())
        return E_UNEXPECTED;
    VARIANT value;
    VariantInit(&value);
    HRESULT hr = pPropBag->Read(u"DevicePath", &value, nullptr);
    if (FAILED(hr))
        return hr;
    if (value.vt != VT_BSTR || !value.bstrVal) {
        VariantClear(&value);
        return E_INVALIDARG;
    }
    const std::u16string path = value.bstrVal;
    VariantClear(&value);
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return HRESULT_FROM_WIN32(GetLastError());
    std::vector<PinFactory> factories;
    std::vector<BYTE> filterData;
    if (ReadFilterData(path, &filterData)) {
        if (!ParseFilterData(filterData.data(), filterData.size(), &factories))
            hr = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    } else {
        hr = ReadPinFactories(handle, &factories);
    }
    if (FAILED(hr)) {
        CloseHandle(handle);
        return hr;
    }
    for (PinFactory& factory : factories) {
        if (factory.mediumOnly || factory.dataFlow == KSPIN_DATAFLOW_IN) {
            pins_.push_back(new KsMediumPin(this, std::move(factory)));
        } else {
            std::vector<OfferedType> types = TypesFromRanges(handle, factory);
            auto* pin = new KsStreamPin(this, handle, std::move(factory), std::move(types));
            pins_.push_back(pin);
            streamPins_.push_back(pin);
        }
    }
    handle_ = handle;
    return S_OK;
}

STDMETHODIMP KsProxyFilter::KsProperty(PKSPROPERTY Property, ULONG PropertyLength, LPVOID PropertyData,
                                       ULONG DataLength, ULONG* BytesReturned)
{
    if (!Property || !BytesReturned)
        return E_POINTER;
    return KsSynchronousDeviceControl(handle_.load(), IOCTL_KS_PROPERTY, Property, PropertyLength, PropertyData,
                                      DataLength, BytesReturned);
}

STDMETHODIMP KsProxyFilter::KsEvent(PKSEVENT Event, ULONG EventLength, LPVOID EventData, ULONG DataLength,
                                    ULONG* BytesReturned)
{
    if (!BytesReturned)
        return E_POINTER;
    if (Event)
        return KsSynchronousDeviceControl(handle_.load(), IOCTL_KS_ENABLE_EVENT, Event, EventLength, EventData,
                                          DataLength, BytesReturned);
    // No descriptor: the enable data names the event to disable.
    if (EventLength != 0 || !EventData)
        return E_INVALIDARG;
    return KsSynchronousDeviceControl(handle_.load(), IOCTL_KS_DISABLE_EVENT, EventData, DataLength, nullptr, 0,
                                      BytesReturned);
}

STDMETHODIMP KsProxyFilter::GetPages(CAUUID* pPages)
{
    if (!pPages)
        return E_POINTER;
    pPages->cElems = 0;
    pPages->pElems = nullptr;
    const HANDLE handle = handle_.load();
    if (!handle)
        return E_UNEXPECTED;
    std::vector<CLSID> pages;
    for (const GUID& set : SupportedSets(handle))
        AddPagesOfSet(set, &pages);
    if (pages.empty())
        return S_OK;
    pPages->pElems = static_cast<GUID*>(CoTaskMemAlloc(pages.size() * sizeof(GUID)));
    if (!pPages->pElems)
        return E_OUTOFMEMORY;
    std::copy(pages.begin(), pages.end(), pPages->pElems);
    pPages->cElems = ULONG(pages.size());
    return S_OK;
}

std::vector<KsStreamPin*> KsProxyFilter::StreamPins() const
{
    std::vector<KsStreamPin*> connected;
    for (KsStreamPin* pin : streamPins_)
        if (pin->KsGetObjectHandle())
            connected.push_back(pin);
    return connected;
}

HRESULT KsProxyFilter::StepAll(KSSTATE target)
{
    HRESULT first = S_OK;
    for (KsStreamPin* pin : StreamPins()) {
        const HRESULT hr = pin->StepTo(target);
        if (FAILED(hr) && SUCCEEDED(first))
            first = hr;
    }
    return first;
}

HRESULT KsProxyFilter::OnActive()
{
    IReferenceClock* graphClock = nullptr;
    GetSyncSource(&graphClock);
    if (graphClock) {
        graphClock->Release();
        if (!clock_)
            clock_ = standin::CreateMachineClock();
    }
    for (KsStreamPin* pin : StreamPins()) {
        HRESULT hr = clock_ ? pin->SetMasterClock(clock_) : S_OK;
        if (SUCCEEDED(hr))
            hr = pin->StepTo(KSSTATE_PAUSE);
        if (FAILED(hr)) {
            StepAll(KSSTATE_STOP);
            if (clock_) {
                CloseHandle(clock_);
                clock_ = nullptr;
            }
            return hr;
        }
    }
    return S_OK;
}

HRESULT KsProxyFilter::OnRun(REFERENCE_TIME)
{
    for (KsStreamPin* pin : StreamPins()) {
        pin->StartReading();
        const HRESULT hr = pin->StepTo(KSSTATE_RUN);
        if (FAILED(hr)) {
            StepAll(KSSTATE_PAUSE);
            return hr;
        }
    }
    return S_OK;
}

void KsProxyFilter::OnPauseFromRun()
{
    StepAll(KSSTATE_PAUSE);
}

void KsProxyFilter::OnStop()
{
    for (KsStreamPin* pin : StreamPins())
        pin->StopReading();
    StepAll(KSSTATE_STOP);
    if (clock_) {
        CloseHandle(clock_);
        clock_ = nullptr;
    }
}

HRESULT KsProxyFilter::StateResult(FILTER_STATE state)
{
    // A live source has nothing to cue while paused.
    return state == State_Paused && !StreamPins().empty() ? VFW_S_CANT_CUE : S_OK;
}

} // namespace ksproxy
