// The system device enumerator over the test minidriver's capture interface and filters registered
// under a category's Instance key: order, property bags, display names and binding.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KsMinidriverFixture.h"
#include "SyntheticSource.h"
#include "um/dshow.h"
#include "um/windows.h"
#include "standin/com.h"
#include "standin/registry.h"

namespace {

// The synthetic source's class; the binding test puts a probe of its own in its place.
constexpr const GUID& CLSID_TestSoftwareSource = dshowtest::CLSID_SyntheticSource;
constexpr char16_t kSourceKey[] = u"{5A0C3D10-1F2E-4B7A-9C11-3E527D600A21}";

void RegisterInstance(const GUID& category, const std::u16string& key, const std::u16string& friendlyName,
                      const std::u16string* clsid)
{
    WCHAR text[40];
    StringFromGUID2(category, text, 40);
    const std::u16string path = u"CLSID\\" + std::u16string(text) + u"\\Instance\\" + key;
    HKEY hkey = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hkey,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(hkey, u"FriendlyName", 0, REG_SZ, reinterpret_cast<const BYTE*>(friendlyName.c_str()),
                   DWORD((friendlyName.size() + 1) * 2));
    if (clsid)
        RegSetValueExW(hkey, u"CLSID", 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid->c_str()),
                       DWORD((clsid->size() + 1) * 2));
    RegCloseKey(hkey);
}

std::u16string ReadBag(IMoniker* moniker, const char16_t* name, HRESULT* result = nullptr)
{
    IPropertyBag* bag = nullptr;
    EXPECT_EQ(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag)), S_OK);
    if (!bag)
        return {};
    VARIANT value;
    VariantInit(&value);
    const HRESULT hr = bag->Read(name, &value, nullptr);
    if (result)
        *result = hr;
    bag->Release();
    if (FAILED(hr))
        return {};
    EXPECT_EQ(value.vt, VT_BSTR);
    std::u16string text(value.bstrVal, SysStringLen(value.bstrVal));
    VariantClear(&value);
    return text;
}

// Records the bag it is loaded from, to show the moniker prepares what it binds.
class LoadingObject : public IPersistPropertyBag {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IPersistPropertyBag) {
            *ppv = static_cast<IPersistPropertyBag*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return ULONG(--references); }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override
    {
        *clsid = CLSID_TestSoftwareSource;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InitNew() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog*) override
    {
        VARIANT value;
        VariantInit(&value);
        if (SUCCEEDED(bag->Read(u"FriendlyName", &value, nullptr)))
            loadedName.assign(value.bstrVal, SysStringLen(value.bstrVal));
        VariantClear(&value);
        return loadResult;
    }
    HRESULT STDMETHODCALLTYPE Save(IPropertyBag*, BOOL, BOOL) override { return E_NOTIMPL; }

    int references = 0;
    std::u16string loadedName;
    HRESULT loadResult = S_OK;
};

// The class object of LoadingObject: every instance is the one object.
class LoadingFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = riid == IID_IClassFactory || riid == IID_IUnknown ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** ppv) override
    {
        return target->QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

    LoadingObject* target = nullptr;
};

class DeviceEnumeratorTest : public kstest::MinidriverTest {
protected:
    void SetUp() override
    {
        MinidriverTest::SetUp();
        standin::RegistryTextError error;
        ASSERT_TRUE(standin::ImportRegistryFile(USER_TESTS_DEFAULT_HIVE, &error)) << error.message;
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                   reinterpret_cast<void**>(&devEnum_)),
                  S_OK);
    }
    void TearDown() override
    {
        if (devEnum_)
            devEnum_->Release();
        CoUninitialize();
        MinidriverTest::TearDown();
    }
    std::vector<IMoniker*> All(const GUID& category)
    {
        IEnumMoniker* list = nullptr;
        EXPECT_EQ(devEnum_->CreateClassEnumerator(category, &list, 0), S_OK);
        std::vector<IMoniker*> monikers;
        if (!list)
            return monikers;
        IMoniker* moniker = nullptr;
        while (list->Next(1, &moniker, nullptr) == S_OK)
            monikers.push_back(moniker);
        list->Release();
        return monikers;
    }
    static void ReleaseAll(std::vector<IMoniker*>& monikers)
    {
        for (IMoniker* moniker : monikers)
            moniker->Release();
        monikers.clear();
    }

    ICreateDevEnum* devEnum_ = nullptr;
};

} // namespace

TEST_F(DeviceEnumeratorTest, ListsTheDeviceInterfacesThenTheRegisteredFilters)
{
    dshowtest::SyntheticSource::Register();
    auto monikers = All(AM_KSCATEGORY_CAPTURE);
    ASSERT_EQ(monikers.size(), 2u);
    EXPECT_EQ(ReadBag(monikers[0], u"FriendlyName"), u"Test Video Device 1");
    EXPECT_EQ(ReadBag(monikers[0], u"DevicePath"), path_);
    EXPECT_EQ(ReadBag(monikers[0], u"CLSID"), u"{17CCA71B-ECD7-11D0-B908-00A0C9223196}");
    EXPECT_EQ(ReadBag(monikers[1], u"FriendlyName"), u"Synthetic Capture Source");
    EXPECT_EQ(ReadBag(monikers[1], u"CLSID"), kSourceKey);
    HRESULT absent = S_OK;
    EXPECT_EQ(ReadBag(monikers[1], u"DevicePath", &absent), u"");
    EXPECT_EQ(absent, E_INVALIDARG);

    // The registered filter binds to a new synthetic source.
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(monikers[1]->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
              S_OK);
    CLSID clsid{};
    EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, dshowtest::CLSID_SyntheticSource);
    filter->Release();
    dshowtest::SyntheticSource::Unregister();

    LPOLESTR name = nullptr;
    ASSERT_EQ(monikers[0]->GetDisplayName(nullptr, nullptr, &name), S_OK);
    EXPECT_EQ(std::u16string(name), u"@device:pnp:" + path_);
    CoTaskMemFree(name);
    ASSERT_EQ(monikers[1]->GetDisplayName(nullptr, nullptr, &name), S_OK);
    EXPECT_EQ(std::u16string(name), u"@device:sw:{65E8773D-8F56-11D0-A3B9-00A0C9223196}\\" +
                                        std::u16string(kSourceKey));
    CoTaskMemFree(name);
    EXPECT_EQ(monikers[0]->IsEqual(monikers[0]), S_OK);
    EXPECT_EQ(monikers[0]->IsEqual(monikers[1]), S_FALSE);
    ReleaseAll(monikers);
}

TEST_F(DeviceEnumeratorTest, AnEmptyCategoryGivesSFalseAndNoEnumerator)
{
    IEnumMoniker* list = reinterpret_cast<IEnumMoniker*>(this);
    EXPECT_EQ(devEnum_->CreateClassEnumerator(AM_KSCATEGORY_CROSSBAR, &list, 0), S_FALSE);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(devEnum_->CreateClassEnumerator(AM_KSCATEGORY_CAPTURE, nullptr, 0), E_POINTER);
    // An interface of a category that is disabled is not listed: once the device is removed the
    // capture category is empty as well.
    ASSERT_EQ(kstest::Pnp(pdo_, IRP_MN_REMOVE_DEVICE), STATUS_SUCCESS);
    EXPECT_EQ(devEnum_->CreateClassEnumerator(AM_KSCATEGORY_CAPTURE, &list, 0), S_FALSE);
    EXPECT_EQ(list, nullptr);
}

TEST_F(DeviceEnumeratorTest, EnumeratorsStepSkipResetAndClone)
{
    RegisterInstance(AM_KSCATEGORY_CAPTURE, u"First", u"One", nullptr); // not a CLSID: left out
    const std::u16string clsid = kSourceKey;
    RegisterInstance(AM_KSCATEGORY_CAPTURE, u"Second", u"Two", &clsid);
    IEnumMoniker* list = nullptr;
    ASSERT_EQ(devEnum_->CreateClassEnumerator(AM_KSCATEGORY_CAPTURE, &list, 0), S_OK);
    IMoniker* got[3] = {};
    ULONG fetched = 99;
    EXPECT_EQ(list->Next(3, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(ReadBag(got[1], u"FriendlyName"), u"Two");
    got[0]->Release();
    got[1]->Release();
    EXPECT_EQ(list->Next(2, got, nullptr), E_POINTER);
    EXPECT_EQ(list->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(list->Reset(), S_OK);
    EXPECT_EQ(list->Skip(1), S_OK);
    IEnumMoniker* copy = nullptr;
    ASSERT_EQ(list->Clone(&copy), S_OK);
    EXPECT_EQ(list->Skip(2), S_FALSE);
    ASSERT_EQ(copy->Next(1, got, nullptr), S_OK);
    EXPECT_EQ(ReadBag(got[0], u"FriendlyName"), u"Two");
    got[0]->Release();
    copy->Release();
    list->Release();
}

TEST_F(DeviceEnumeratorTest, BindingMakesTheClassAndLoadsItFromTheBag)
{
    const std::u16string clsid = kSourceKey;
    RegisterInstance(AM_KSCATEGORY_CAPTURE, kSourceKey, u"Synthetic Capture Source", &clsid);
    auto monikers = All(AM_KSCATEGORY_CAPTURE);
    ASSERT_EQ(monikers.size(), 2u);
    IBaseFilter* filter = reinterpret_cast<IBaseFilter*>(this);
    // A device interface binds the kernel-streaming proxy, loaded with its device path.
    ASSERT_EQ(monikers[0]->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
              S_OK);
    CLSID bound{};
    EXPECT_EQ(filter->GetClassID(&bound), S_OK);
    EXPECT_EQ(bound, CLSID_Proxy);
    filter->Release();
    IUnknown* object = nullptr;
    EXPECT_EQ(monikers[1]->BindToObject(nullptr, nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);

    LoadingObject loading;
    LoadingFactory factory;
    factory.target = &loading;
    standin::RegisterSystemClass(CLSID_TestSoftwareSource, [&factory](REFIID riid, void** ppv) {
        return factory.QueryInterface(riid, ppv);
    });
    ASSERT_EQ(monikers[1]->BindToObject(nullptr, nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
    EXPECT_EQ(loading.loadedName, u"Synthetic Capture Source");
    EXPECT_EQ(loading.references, 1);
    object->Release();
    // A filter that cannot load itself from the bag is not handed out.
    loading.loadResult = E_FAIL;
    EXPECT_EQ(monikers[1]->BindToObject(nullptr, nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)),
              E_FAIL);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(loading.references, 0);
    // The bag's values are the device's: writes are refused, and a read of another type too.
    IPropertyBag* bag = nullptr;
    ASSERT_EQ(monikers[1]->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag)), S_OK);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    EXPECT_EQ(bag->Read(u"FriendlyName", &value, nullptr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(bag->Write(u"FriendlyName", &value), E_ACCESSDENIED);
    bag->Release();
    standin::UnregisterSystemClass(CLSID_TestSoftwareSource);
    ReleaseAll(monikers);
}
