// The proxy tests' fixture.
#include "KsProxyFixture.h"

#include "um/winreg.h"

#include <cstring>

namespace dshowtest {

namespace {

void RegisterPinName(const GUID& guid, const char16_t* name)
{
    WCHAR text[40] = {};
    StringFromGUID2(guid, text, 40);
    const std::u16string path = u"SYSTEM\\CurrentControlSet\\Control\\MediaCategories\\" + std::u16string(text);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, u"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                   DWORD((std::char_traits<char16_t>::length(name) + 1) * sizeof(char16_t)));
    RegCloseKey(key);
}

} // namespace

void KsProxyTest::SetUp()
{
    withProxyFilters_ = true;
    MinidriverTest::SetUp();
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    RegisterPinName(PINNAME_VIDEO_ANALOGVIDEOIN, u"Analog Video In");
    RegisterPinName(kstest::kVideoPinName, u"Capture");
    RegisterPinName(kstest::kAudioPinName, u"Audio Capture");
    standin::ClearKsRequests();
}

void KsProxyTest::TearDown()
{
    CoUninitialize();
    MinidriverTest::TearDown();
}

IBaseFilter* KsProxyTest::Bind(const GUID& category, const std::u16string& name)
{
    ICreateDevEnum* devices = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                               reinterpret_cast<void**>(&devices)),
              S_OK);
    IEnumMoniker* list = nullptr;
    IBaseFilter* filter = nullptr;
    if (devices && devices->CreateClassEnumerator(category, &list, 0) == S_OK) {
        IMoniker* moniker = nullptr;
        while (!filter && list->Next(1, &moniker, nullptr) == S_OK) {
            IPropertyBag* bag = nullptr;
            VARIANT value;
            VariantInit(&value);
            if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag)))) {
                if (SUCCEEDED(bag->Read(u"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR &&
                    name == value.bstrVal) {
                    EXPECT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                    reinterpret_cast<void**>(&filter)),
                              S_OK);
                }
                VariantClear(&value);
                bag->Release();
            }
            moniker->Release();
        }
        list->Release();
    }
    if (devices)
        devices->Release();
    return filter;
}

std::vector<IPin*> KsProxyTest::Pins(IBaseFilter* filter)
{
    std::vector<IPin*> pins;
    IEnumPins* list = nullptr;
    EXPECT_EQ(filter->EnumPins(&list), S_OK);
    IPin* pin = nullptr;
    while (list && list->Next(1, &pin, nullptr) == S_OK)
        pins.push_back(pin);
    if (list)
        list->Release();
    return pins;
}

void KsProxyTest::ReleasePins(std::vector<IPin*>& pins)
{
    for (IPin* pin : pins)
        pin->Release();
    pins.clear();
}

AM_MEDIA_TYPE* KsProxyTest::VideoFormat(IAMStreamConfig* config, int index, LONG width, LONG height)
{
    AM_MEDIA_TYPE* type = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps{};
    EXPECT_EQ(config->GetStreamCaps(index, &type, reinterpret_cast<BYTE*>(&caps)), S_OK);
    if (!type)
        return nullptr;
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    info->bmiHeader.biSizeImage = DWORD(width * height * info->bmiHeader.biBitCount / 8);
    return type;
}

bool KsProxyTest::HandleClosed(HANDLE handle)
{
    KSPROPERTY request{KSPROPSETID_Pin, KSPROPERTY_PIN_CTYPES, KSPROPERTY_TYPE_GET};
    ULONG answer = 0;
    DWORD bytes = 0;
    return !DeviceIoControl(handle, IOCTL_KS_PROPERTY, &request, sizeof request, &answer, sizeof answer, &bytes,
                            nullptr) &&
           GetLastError() == ERROR_INVALID_HANDLE;
}

} // namespace dshowtest
