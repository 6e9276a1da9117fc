// COM: apartments, in-process creation through the registry with the test server, threading
// models, unloading, aggregation, task memory and GUID text.
#include "ComTestMachine.h"
#include "ComTestServer.h"
#include "atl/atlbase.h"
#include "standin/com.h"
#include "standin/verifier.h"

#include <cstring>
#include <functional>

namespace {

class ComTest : public ComMachineTest {
protected:
    void SetUp() override
    {
        ComMachineTest::SetUp();
        // Registered once by the server itself, then loaded only by COM.
        HMODULE server = LoadLibraryA(kComTestServerPath);
        ASSERT_NE(server, nullptr);
        ASSERT_EQ(Export<HRESULT (*)()>(server, "DllRegisterServer")(), S_OK);
        ASSERT_TRUE(FreeLibrary(server));
        ModuleLogTake();
    }
};

// Runs `work` on a thread of its own (CreateThread) and waits for it.
void OnThread(const std::function<void()>& work)
{
    auto routine = [](LPVOID parameter) -> DWORD {
        (*static_cast<const std::function<void()>*>(parameter))();
        return 0;
    };
    HANDLE thread = CreateThread(nullptr, 0, routine, const_cast<std::function<void()>*>(&work), 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    CloseHandle(thread);
}

TEST_F(ComTest, InitialisationKindsAndCounts)
{
    OnThread([] {
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        EXPECT_EQ(CoInitializeEx(nullptr, 0x100), E_INVALIDARG);
        CoUninitialize();
        CoUninitialize();
        // Out of the apartment now: the other kind is allowed.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
        CoUninitialize();
        // One more than entered does nothing.
        CoUninitialize();
    });
}

TEST_F(ComTest, CreationNeedsAnApartmentOrTheImplicitMultithreadedOne)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_TestBoth, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              HRESULT(0x800401F0));
    EXPECT_EQ(object, nullptr);

    // While another thread holds the multithreaded apartment, this thread is in it implicitly.
    HANDLE entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE leave = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    struct Events {
        HANDLE entered, leave;
    } events{entered, leave};
    HANDLE holder = CreateThread(
        nullptr, 0,
        [](LPVOID parameter) -> DWORD {
            auto* e = static_cast<Events*>(parameter);
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            SetEvent(e->entered);
            WaitForSingleObject(e->leave, INFINITE);
            CoUninitialize();
            return 0;
        },
        &events, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(entered, INFINITE), WAIT_OBJECT_0);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TestBoth, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&unknown)),
              S_OK);
    unknown->Release();
    SetEvent(leave);
    ASSERT_EQ(WaitForSingleObject(holder, INFINITE), WAIT_OBJECT_0);
    CloseHandle(holder);
    CloseHandle(entered);
    CloseHandle(leave);
    // The last CoUninitialize of the process freed the server.
    EXPECT_EQ(GetModuleHandleA("ComTestServer.dll"), nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_TestBoth, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&unknown)),
              CO_E_NOTINITIALIZED);
}

TEST_F(ComTest, AnStaLoadsTheServerOnceAndAnObjectHasOneIdentity)
{
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    CComPtr<ITestProbe> first;
    CComPtr<ITestProbe> second;
    ASSERT_EQ(first.CoCreateInstance(CLSID_TestBoth, nullptr, CLSCTX_INPROC_SERVER), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_TestApartment, nullptr, CLSCTX_ALL, IID_ITestProbe,
                               reinterpret_cast<void**>(&second)),
              S_OK);
    auto events = ModuleLogTake();
    EXPECT_EQ(ModuleLogCount(events, "ComTestServer", "process-attach"), 1u);
    EXPECT_EQ(ModuleLogCount(events, "ComTestServer", "final-construct"), 2u);
    LONG kind = 0;
    EXPECT_EQ(first->Ping(&kind), S_OK);
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(second->Ping(&kind), S_OK);
    EXPECT_EQ(kind, 2);

    IUnknown* viaFirst = nullptr;
    IUnknown* viaAgain = nullptr;
    ASSERT_EQ(first->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaFirst)), S_OK);
    CComQIPtr<ITestProbe> probe(viaFirst);
    ASSERT_EQ(probe->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaAgain)), S_OK);
    EXPECT_EQ(viaFirst, viaAgain);
    EXPECT_EQ(probe.p, first.p);
    EXPECT_TRUE(first.IsEqualObject(viaFirst));
    EXPECT_FALSE(first.IsEqualObject(second));
    void* none = nullptr;
    EXPECT_EQ(first->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    viaFirst->Release();
    viaAgain->Release();

    first.Release();
    second.Release();
    probe.Release();
    EXPECT_EQ(ModuleLogCount(ModuleLogTake(), "ComTestServer", "final-release"), 2u);
    CoUninitialize();
    EXPECT_EQ(ModuleLogCount(ModuleLogTake(), "ComTestServer", "process-detach"), 1u);
}

TEST_F(ComTest, FailuresOfCreation)
{
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    const CLSID unregistered = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(unregistered, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              HRESULT(0x80040154));
    EXPECT_EQ(object, nullptr);
    // Only a local server asked for: none is registered.
    EXPECT_EQ(CoCreateInstance(CLSID_TestBoth, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    // An outer unknown may only ask for IID_IUnknown.
    IUnknown* outer = reinterpret_cast<IUnknown*>(&object);
    EXPECT_EQ(CoCreateInstance(CLSID_TestBoth, outer, CLSCTX_INPROC_SERVER, IID_ITestProbe, &object),
              HRESULT(0x80040110));
    EXPECT_EQ(CoCreateInstance(CLSID_TestBoth, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
              E_POINTER);

    // A server whose file is gone: the load's error.
    HKEY key = nullptr;
    const std::u16string server = std::u16string(kTestBothKey) + u"\\InprocServer32";
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, server.c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    const char16_t missing[] = u"C:\\Windows\\System32\\Gone.dll";
    ASSERT_EQ(RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(missing), sizeof missing),
              ERROR_SUCCESS);
    EXPECT_EQ(CoCreateInstance(CLSID_TestBoth, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    // A module without DllGetClassObject.
    const char16_t probe[] = u"C:\\Windows\\System32\\ThreadProbeLoud.dll";
    ASSERT_EQ(RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(probe), sizeof probe),
              ERROR_SUCCESS);
    EXPECT_EQ(CoCreateInstance(CLSID_TestBoth, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CO_E_ERRORINDLL);
    EXPECT_EQ(GetModuleHandleA("ThreadProbeLoud.dll"), nullptr);
    RegCloseKey(key);
    CoUninitialize();
}

TEST_F(ComTest, DllGetClassObjectOfAnUnknownClass)
{
    HMODULE server = LoadLibraryA(kComTestServerPath);
    ASSERT_NE(server, nullptr);
    auto getClassObject = Export<LPFNGETCLASSOBJECT>(server, "DllGetClassObject");
    const CLSID unknown = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
    void* factory = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(unknown, IID_IClassFactory, &factory), HRESULT(0x80040111));
    EXPECT_EQ(factory, nullptr);
    // The same factory each time for a known class.
    IClassFactory* a = nullptr;
    IClassFactory* b = nullptr;
    ASSERT_EQ(getClassObject(CLSID_TestPlain, IID_IClassFactory, reinterpret_cast<void**>(&a)), S_OK);
    ASSERT_EQ(getClassObject(CLSID_TestPlain, IID_IClassFactory, reinterpret_cast<void**>(&b)), S_OK);
    EXPECT_EQ(a, b);
    a->Release();
    b->Release();
    EXPECT_TRUE(FreeLibrary(server));
}

TEST_F(ComTest, ServerUnloadsWhenNothingHoldsIt)
{
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_TestBoth, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    HMODULE server = GetModuleHandleA("ComTestServer.dll");
    ASSERT_NE(server, nullptr);
    auto canUnloadNow = Export<LPFNCANUNLOADNOW>(server, "DllCanUnloadNow");

    // The factory COM handed out holds the server.
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    ITestProbe* object = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ITestProbe, reinterpret_cast<void**>(&object)), S_OK);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    object->Release();
    // Only the lock now.
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    CoFreeUnusedLibraries();
    EXPECT_EQ(GetModuleHandleA("ComTestServer.dll"), server);

    ASSERT_EQ(CoGetClassObject(CLSID_TestBoth, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    EXPECT_EQ(canUnloadNow(), S_OK);
    ModuleLogTake();
    CoFreeUnusedLibraries();
    EXPECT_EQ(ModuleLogCount(ModuleLogTake(), "ComTestServer", "process-detach"), 1u);
    EXPECT_EQ(GetModuleHandleA("ComTestServer.dll"), nullptr);
    CoUninitialize();
}

// An outer object that aggregates a test object and keeps its inner unknown.
class Outer : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    IUnknown* inner = nullptr;
    ULONG references = 1;
};

TEST_F(ComTest, AggregatedObjectsDelegateToTheOuterUnknown)
{
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    Outer outer;
    ASSERT_EQ(CoCreateInstance(CLSID_TestBoth, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&outer.inner)),
              S_OK);
    EXPECT_EQ(outer.references, 1u);
    ITestProbe* probe = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_ITestProbe, reinterpret_cast<void**>(&probe)), S_OK);
    // The interface counts on the outer object and answers IUnknown with the outer's identity.
    EXPECT_EQ(outer.references, 2u);
    IUnknown* identity = nullptr;
    ASSERT_EQ(probe->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    identity->Release();
    LONG kind = 0;
    EXPECT_EQ(probe->Ping(&kind), S_OK);
    EXPECT_EQ(kind, 1);
    probe->Release();
    EXPECT_EQ(outer.references, 1u);
    HMODULE server = GetModuleHandleA("ComTestServer.dll");
    auto canUnloadNow = Export<LPFNCANUNLOADNOW>(server, "DllCanUnloadNow");
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    EXPECT_EQ(outer.inner->Release(), 0u);
    EXPECT_EQ(canUnloadNow(), S_OK);
    CoUninitialize();
}

TEST_F(ComTest, ThreadingModelsWithoutMarshalling)
{
    ASSERT_EQ(CoInitialize(nullptr), S_OK); // this thread is the process's first STA
    IUnknown* object = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TestPlain, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    object->Release();

    OnThread([] {
        // A second STA: "Apartment" and "Both" classes, but not one without a model.
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        IUnknown* made = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_TestApartment, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&made)),
                  S_OK);
        if (made)
            made->Release();
        EXPECT_EQ(CoCreateInstance(CLSID_TestPlain, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&made)),
                  CO_E_NOT_SUPPORTED);
        CoUninitialize();
    });
    auto breaches = standin::VerifierTakeViolations();
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_EQ(breaches[0].rule, "com-apartment");

    OnThread([] {
        // The MTA: "Both" only.
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        IUnknown* made = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_TestBoth, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&made)),
                  S_OK);
        if (made)
            made->Release();
        EXPECT_EQ(CoCreateInstance(CLSID_TestApartment, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&made)),
                  CO_E_NOT_SUPPORTED);
        EXPECT_EQ(CoCreateInstance(CLSID_TestPlain, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&made)),
                  CO_E_NOT_SUPPORTED);
        CoUninitialize();
    });
    breaches = standin::VerifierTakeViolations();
    ASSERT_EQ(breaches.size(), 2u);
    EXPECT_EQ(breaches[0].rule, "com-apartment");
    CoUninitialize();
}

// A system class: the stand-in's own, found before the registry.
class SystemObject : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** ppv) override
    {
        ++created;
        return QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
    int created = 0;
};

TEST_F(ComTest, SystemClassesComeBeforeTheRegistry)
{
    SystemObject system;
    standin::RegisterSystemClass(
        CLSID_TestBoth, [&system](REFIID riid, void** ppv) { return system.QueryInterface(riid, ppv); });
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    IUnknown* object = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TestBoth, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    EXPECT_EQ(object, static_cast<IUnknown*>(&system));
    EXPECT_EQ(system.created, 1);
    EXPECT_EQ(GetModuleHandleA("ComTestServer.dll"), nullptr);
    standin::UnregisterSystemClass(CLSID_TestBoth);
    ASSERT_EQ(CoCreateInstance(CLSID_TestBoth, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    EXPECT_NE(object, static_cast<IUnknown*>(&system));
    object->Release();
    CoUninitialize();
}

TEST(TaskMemoryTest, BlocksAreTrackedAndForeignPointersRefused)
{
    auto* block = static_cast<char*>(CoTaskMemAlloc(16));
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "0123456789abcdef", 16);
    block = static_cast<char*>(CoTaskMemRealloc(block, 4096));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::memcmp(block, "0123456789abcdef", 16), 0);
    EXPECT_EQ(standin::VerifierCheckLeaks(), 1u);
    auto breaches = standin::VerifierTakeViolations();
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_NE(breaches[0].detail.find("co-task-memory: block"), std::string::npos);
    EXPECT_NE(breaches[0].detail.find("4096 bytes"), std::string::npos);
    EXPECT_EQ(CoTaskMemRealloc(block, 0), nullptr);
    EXPECT_EQ(standin::VerifierCheckLeaks(), 0u);

    int local = 0;
    CoTaskMemFree(&local);
    EXPECT_EQ(CoTaskMemRealloc(&local, 8), nullptr);
    breaches = standin::VerifierTakeViolations();
    ASSERT_EQ(breaches.size(), 2u);
    EXPECT_EQ(breaches[0].rule, "co-task-memory");
    CoTaskMemFree(nullptr);
    void* fresh = CoTaskMemRealloc(nullptr, 0);
    ASSERT_NE(fresh, nullptr);
    CoTaskMemFree(fresh);
}

TEST(GuidTextTest, RoundTripAndRefusals)
{
    OLECHAR text[39];
    EXPECT_EQ(StringFromGUID2(CLSID_TestBoth, text, 39), 39);
    EXPECT_EQ(std::u16string(text), u"{5A0E2C61-1B7D-4C3E-8F20-91A46B3D720E}");
    EXPECT_EQ(StringFromGUID2(CLSID_TestBoth, text, 38), 0);
    CLSID read{};
    EXPECT_EQ(CLSIDFromString(u"{5a0e2c61-1b7d-4c3e-8f20-91a46b3d720e}", &read), NOERROR);
    EXPECT_EQ(read, CLSID_TestBoth);
    for (const char16_t* bad :
         {u"", u"{}", u"5A0E2C61-1B7D-4C3E-8F20-91A46B3D720E", u"{5A0E2C61-1B7D-4C3E-8F20-91A46B3D720E",
          u"{5A0E2C61-1B7D-4C3E-8F20-91A46B3D720E}x", u"{5A0E2C61-1B7D-4C3E-8F2091A46B3D720E}",
          u"{5A0E2C6G-1B7D-4C3E-8F20-91A46B3D720E}"}) {
        read = CLSID_TestPlain;
        EXPECT_EQ(CLSIDFromString(bad, &read), CO_E_CLASSSTRING)
            << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
        EXPECT_EQ(read, CLSID_TestPlain);
    }
    EXPECT_EQ(CLSIDFromString(nullptr, &read), E_INVALIDARG);
}

} // namespace
