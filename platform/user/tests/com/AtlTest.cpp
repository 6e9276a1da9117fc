// ATL's COM classes inside one module (the test program's own CComModule): object roots of both
// thread models, construction that fails, creators, the module's lock count and the order of its
// registration.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "ComTestMachine.h"
#include "atl/atlcom.h"
#include "standin/registry.h"
#include "um/windows.h"

namespace {

struct ICounter : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Add(LONG amount) = 0;

protected:
    ~ICounter() = default;
};

} // namespace

STANDIN_INTERFACE_IID(ICounter, 0x1D5C0B27, 0x8E44, 0x4A17, 0x93, 0x0C, 0x5B, 0x2A, 0x61, 0xF0, 0x0D, 0x88);
DEFINE_GUIDSTRUCT_VALUE(CLSID_Counter, 0x1D5C0B28, 0x8E44, 0x4A17, 0x93, 0x0C, 0x5B, 0x2A, 0x61, 0xF0, 0x0D,
                        0x88);
DEFINE_GUIDSTRUCT_VALUE(CLSID_Second, 0x1D5C0B29, 0x8E44, 0x4A17, 0x93, 0x0C, 0x5B, 0x2A, 0x61, 0xF0, 0x0D,
                        0x88);
DEFINE_GUIDSTRUCT_VALUE(CLSID_Third, 0x1D5C0B2A, 0x8E44, 0x4A17, 0x93, 0x0C, 0x5B, 0x2A, 0x61, 0xF0, 0x0D,
                        0x88);

namespace {

CComModule g_module;
std::vector<int> g_registered;
HRESULT g_secondResult = S_OK;
std::atomic<int> g_finalReleases{0};
bool g_failConstruct = false;

template <class ThreadModel>
class ATL_NO_VTABLE Counter : public CComObjectRootEx<ThreadModel>, public ICounter {
public:
    BEGIN_COM_MAP(Counter)
    COM_INTERFACE_ENTRY(ICounter)
    END_COM_MAP()

    HRESULT FinalConstruct() { return g_failConstruct ? E_OUTOFMEMORY : S_OK; }
    void FinalRelease() { ++g_finalReleases; }
    STDMETHOD(Add)(LONG amount) override
    {
        this->Lock();
        total += amount;
        this->Unlock();
        return S_OK;
    }
    LONG total = 0;
};

class CounterClass : public Counter<CComMultiThreadModel>, public CComCoClass<CounterClass, &CLSID_Counter> {
public:
    static HRESULT WINAPI UpdateRegistry(BOOL registering)
    {
        g_registered.push_back(registering ? 1 : -1);
        return S_OK;
    }
};
class SecondClass : public Counter<CComSingleThreadModel>, public CComCoClass<SecondClass, &CLSID_Second> {
public:
    static HRESULT WINAPI UpdateRegistry(BOOL registering)
    {
        g_registered.push_back(registering ? 2 : -2);
        return g_secondResult;
    }
};
class ThirdClass : public Counter<CComSingleThreadModel>, public CComCoClass<ThirdClass, &CLSID_Third> {
public:
    static HRESULT WINAPI UpdateRegistry(BOOL registering)
    {
        g_registered.push_back(registering ? 3 : -3);
        return registering ? S_OK : E_ACCESSDENIED;
    }
};

BEGIN_OBJECT_MAP(g_objectMap)
OBJECT_ENTRY(CLSID_Counter, CounterClass)
OBJECT_ENTRY(CLSID_Second, SecondClass)
OBJECT_ENTRY(CLSID_Third, ThirdClass)
END_OBJECT_MAP()

class AtlTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_module.Init(g_objectMap, GetModuleHandleA(nullptr));
        g_registered.clear();
        g_secondResult = S_OK;
        g_failConstruct = false;
        g_finalReleases = 0;
    }
    void TearDown() override { g_module.Term(); }
};

TEST_F(AtlTest, ObjectsLockTheModuleWhileTheyLive)
{
    CComObject<CounterClass>* object = nullptr;
    ASSERT_EQ(CComObject<CounterClass>::CreateInstance(&object), S_OK);
    EXPECT_EQ(g_module.GetLockCount(), 1);
    object->AddRef();
    CComPtr<ICounter> counter;
    ASSERT_EQ(object->QueryInterface(&counter), S_OK);
    EXPECT_EQ(counter->Add(5), S_OK);
    EXPECT_EQ(object->total, 5);
    EXPECT_EQ(object->Release(), 1u);
    counter.Release();
    EXPECT_EQ(g_finalReleases, 1);
    EXPECT_EQ(g_module.GetLockCount(), 0);

    // A construction that fails leaves nothing behind.
    g_failConstruct = true;
    ASSERT_EQ(CComObject<SecondClass>::CreateInstance(&object == nullptr ? nullptr : nullptr), E_POINTER);
    CComObject<SecondClass>* second = nullptr;
    EXPECT_EQ(CComObject<SecondClass>::CreateInstance(&second), E_OUTOFMEMORY);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(g_module.GetLockCount(), 0);
}

TEST_F(AtlTest, ClassFactoriesFromTheMapAndTheirLocks)
{
    IClassFactory* factory = nullptr;
    ASSERT_EQ(g_module.GetClassObject(CLSID_Second, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    // The handed-out factory locks; the map's own reference does not.
    EXPECT_EQ(g_module.GetLockCount(), 1);
    ICounter* counter = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ICounter, reinterpret_cast<void**>(&counter)), S_OK);
    EXPECT_EQ(g_module.GetLockCount(), 2);
    IUnknown* outer = counter;
    void* aggregated = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(outer, IID_ICounter, &aggregated), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(aggregated, nullptr);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    counter->Release();
    EXPECT_EQ(g_module.GetLockCount(), 1);
    ASSERT_EQ(g_module.GetClassObject(CLSID_Second, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    EXPECT_EQ(g_module.GetLockCount(), 0);

    const CLSID unknown = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(g_module.GetClassObject(unknown, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(factory, nullptr);
}

TEST_F(AtlTest, RegistrationStopsAtTheFirstFailureAndUnregistrationRunsAll)
{
    g_secondResult = E_ACCESSDENIED;
    EXPECT_EQ(g_module.RegisterServer(FALSE), E_ACCESSDENIED);
    EXPECT_EQ(g_registered, (std::vector<int>{1, 2}));
    g_registered.clear();
    g_secondResult = S_OK;
    EXPECT_EQ(g_module.RegisterServer(FALSE), S_OK);
    EXPECT_EQ(g_registered, (std::vector<int>{1, 2, 3}));
    g_registered.clear();
    EXPECT_EQ(g_module.RegisterServer(FALSE, &CLSID_Third), S_OK);
    EXPECT_EQ(g_registered, (std::vector<int>{3}));

    g_registered.clear();
    g_secondResult = E_FAIL;
    EXPECT_EQ(g_module.UnregisterServer(FALSE), E_FAIL);
    EXPECT_EQ(g_registered, (std::vector<int>{-1, -2, -3}));
}

TEST_F(AtlTest, MultiThreadedObjectsCountFromManyThreads)
{
    CComObject<CounterClass>* object = nullptr;
    ASSERT_EQ(CComObject<CounterClass>::CreateInstance(&object), S_OK);
    object->AddRef();
    struct Work {
        CComObject<CounterClass>* object;
    } work{object};
    auto routine = [](LPVOID parameter) -> DWORD {
        auto* w = static_cast<Work*>(parameter);
        for (int i = 0; i < 1000; ++i) {
            CComPtr<ICounter> counter;
            w->object->QueryInterface(&counter);
            counter->Add(1);
        }
        return 0;
    };
    HANDLE threads[4];
    for (HANDLE& thread : threads) {
        thread = CreateThread(nullptr, 0, routine, &work, 0, nullptr);
        ASSERT_NE(thread, nullptr);
    }
    for (HANDLE thread : threads) {
        EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
        CloseHandle(thread);
    }
    EXPECT_EQ(object->total, 4000);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(g_module.GetLockCount(), 0);
}

// The module's resources may live in another module: its scripts come from there, with %MODULE%
// that module's path and the caller's replacements beside it.
using AtlResourceTest = ComMachineTest;

TEST_F(AtlResourceTest, ScriptsFromTheResourceModuleWithTheCallersReplacements)
{
    HMODULE probe = LoadLibraryA(kLoudProbePath);
    ASSERT_NE(probe, nullptr);
    g_module.Init(g_objectMap, probe);
    EXPECT_EQ(g_module.GetResourceInstance(), probe);
    _ATL_REGMAP_ENTRY replacements[] = {{u"EXTRA", u"it's extra"}, {nullptr, nullptr}};
    ASSERT_EQ(g_module.UpdateRegistryFromResource(103, TRUE, replacements), S_OK);
    const std::u16string key = u"\\Registry\\Machine\\SOFTWARE\\Classes\\ReplacedKey";
    const auto value = standin::ReadRegistryValue(key, u"");
    ASSERT_TRUE(value);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(value->data.data()), value->data.size() / 2 - 1),
              u"C:\\Windows\\System32\\ThreadProbeLoud.dll|it's extra");
    // A script naming a replacement nobody gave fails whole.
    EXPECT_EQ(g_module.UpdateRegistryFromResource(103, FALSE), DISP_E_EXCEPTION);
    EXPECT_TRUE(standin::RegistryKeyExists(key));
    ASSERT_EQ(g_module.UpdateRegistryFromResource(103, FALSE, replacements), S_OK);
    EXPECT_FALSE(standin::RegistryKeyExists(key));
    EXPECT_EQ(g_module.UpdateRegistryFromResource(104, TRUE), HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    g_module.Term();
    EXPECT_TRUE(FreeLibrary(probe));
}

TEST(AtlPointerTest, CComPtrAndCComQIPtrCountReferences)
{
    g_finalReleases = 0;
    CComObject<CounterClass>* object = nullptr;
    ASSERT_EQ(CComObject<CounterClass>::CreateInstance(&object), S_OK);
    {
        CComPtr<ICounter> a(object);
        CComPtr<ICounter> b = a;
        CComPtr<ICounter> c(std::move(b));
        EXPECT_EQ(b.p, nullptr);
        CComQIPtr<ICounter> fromUnknown(static_cast<IUnknown*>(a.p));
        EXPECT_EQ(fromUnknown.p, a.p);
        CComQIPtr<IClassFactory> none(static_cast<IUnknown*>(a.p));
        EXPECT_EQ(none.p, nullptr);
        ICounter* copied = nullptr;
        ASSERT_EQ(c.CopyTo(&copied), S_OK);
        copied->Release();
        ICounter* detached = c.Detach();
        EXPECT_EQ(detached, a.p);
        CComPtr<ICounter> attached;
        attached.Attach(detached);
        EXPECT_EQ(object->m_dwRef, 3); // a, fromUnknown, attached
    }
    // All gone: the object went with the last reference.
    EXPECT_EQ(g_finalReleases, 1);
}

} // namespace
