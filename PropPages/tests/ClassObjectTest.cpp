// The library's class objects: each of the fifteen CLSIDs gives a factory whose objects are pages
// with their titles and dialog sizes, an unknown CLSID none, aggregation through an outer
// unknown, DllCanUnloadNow following the live objects and locks, and COM creating a page through
// the registration.
#include "support/PageClassTable.h"
#include "support/PageLibraryMachine.h"

#include "um/objbase.h"
#include "um/ocidl.h"

#include <string>

namespace {

CLSID ClsidOf(const char* text)
{
    std::u16string wide(text, text + std::char_traits<char>::length(text));
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromString(reinterpret_cast<LPCOLESTR>(wide.c_str()), &clsid), S_OK);
    return clsid;
}

std::string Narrow(const OLECHAR* text)
{
    std::string out;
    for (; text && *text; ++text)
        out.push_back(static_cast<char>(*text));
    return out;
}

class ClassObjectTest : public PageLibraryMachineTest {
protected:
    // A page of the class, through the library's own class object.
    IPropertyPage* MakePage(const char* clsid)
    {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(GetClassObject(ClsidOf(clsid), IID_IClassFactory, reinterpret_cast<void**>(&factory)),
                  S_OK);
        if (!factory)
            return nullptr;
        IPropertyPage* page = nullptr;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPropertyPage, reinterpret_cast<void**>(&page)), S_OK);
        factory->Release();
        return page;
    }

    static std::string TitleOf(IPropertyPage* page, SIZE* size = nullptr)
    {
        PROPPAGEINFO info{};
        info.cb = sizeof(info);
        EXPECT_EQ(page->GetPageInfo(&info), S_OK);
        const std::string title = Narrow(info.pszTitle);
        if (size)
            *size = info.size;
        CoTaskMemFree(info.pszTitle);
        CoTaskMemFree(info.pszDocString);
        CoTaskMemFree(info.pszHelpFile);
        return title;
    }
};

TEST_F(ClassObjectTest, TheMixersClassObjectMakesTheAudioInputMixerPage)
{
    IPropertyPage* page = MakePage("{A96E4E71-A87C-4D5D-9ECF-C539E1FA2840}");
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(TitleOf(page), "Audio Input Mixer");
    page->Release();
}

TEST_F(ClassObjectTest, EveryClassMakesItsPageWithTitleAndDialogSize)
{
    for (const ExpectedPageClass& expected : kPageClasses) {
        SCOPED_TRACE(expected.description);
        IPropertyPage* page = MakePage(expected.clsid);
        ASSERT_NE(page, nullptr);
        SIZE size{};
        EXPECT_EQ(TitleOf(page, &size), expected.title);
        EXPECT_GT(size.cx, 0);
        EXPECT_GT(size.cy, 0);
        page->Release();
    }
}

TEST_F(ClassObjectTest, EveryPageActivatesItsDialogAsAChildOfTheFrameAndDeactivates)
{
    HWND frame = CreateWindowExA(0, "Static", "frame", WS_POPUP | WS_VISIBLE, 0, 0, 800, 700, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(frame, nullptr);
    for (const ExpectedPageClass& expected : kPageClasses) {
        SCOPED_TRACE(expected.description);
        IPropertyPage* page = MakePage(expected.clsid);
        ASSERT_NE(page, nullptr);
        RECT area{4, 24, 604, 524};
        ASSERT_EQ(page->Activate(frame, &area, TRUE), S_OK);
        HWND dialog = GetWindow(frame, GW_CHILD);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(GetWindowLongPtrA(dialog, GWL_STYLE) & WS_CHILD, static_cast<LONG_PTR>(WS_CHILD));
        RECT placed{};
        GetWindowRect(dialog, &placed);
        EXPECT_EQ(placed.right - placed.left, 600);
        EXPECT_EQ(page->Deactivate(), S_OK);
        EXPECT_FALSE(IsWindow(dialog));
        EXPECT_EQ(GetWindow(frame, GW_CHILD), nullptr);
        page->Release();
    }
    DestroyWindow(frame);
}

TEST_F(ClassObjectTest, AnUnknownClassHasNoClassObject)
{
    void* factory = reinterpret_cast<void*>(1);
    // The type library's identifier is no class of the library.
    EXPECT_EQ(GetClassObject(ClsidOf(kLibraryId), IID_IClassFactory, &factory), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(factory, nullptr);
    EXPECT_EQ(static_cast<unsigned>(CLASS_E_CLASSNOTAVAILABLE), 0x80040111u);
}

TEST_F(ClassObjectTest, CanUnloadFollowsTheLivePagesAndServerLocks)
{
    EXPECT_EQ(CanUnloadNow(), S_OK);
    IPropertyPage* first = MakePage(kPageClasses[3].clsid);
    IPropertyPage* second = MakePage(kPageClasses[10].clsid);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    // The class objects stay cached by the module without locking it; each page locks it.
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    first->Release();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    second->Release();
    EXPECT_EQ(CanUnloadNow(), S_OK);

    // A caller's reference to a class object locks the module, and so does LockServer.
    IClassFactory* factory = nullptr;
    ASSERT_EQ(
        GetClassObject(ClsidOf(kPageClasses[3].clsid), IID_IClassFactory, reinterpret_cast<void**>(&factory)),
        S_OK);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    ASSERT_EQ(
        GetClassObject(ClsidOf(kPageClasses[3].clsid), IID_IClassFactory, reinterpret_cast<void**>(&factory)),
        S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

// An outer object that keeps the page's inner unknown and counts its own references.
class Outer : public IUnknown {
public:
    STDMETHOD(QueryInterface)(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown) {
            *out = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++count; }
    STDMETHOD_(ULONG, Release)() override { return --count; }

    IUnknown* inner = nullptr;
    ULONG count = 1;
};

TEST_F(ClassObjectTest, PagesAggregateIntoAnOuterObject)
{
    IClassFactory* factory = nullptr;
    ASSERT_EQ(
        GetClassObject(ClsidOf(kPageClasses[6].clsid), IID_IClassFactory, reinterpret_cast<void**>(&factory)),
        S_OK);
    Outer outer;
    void* unwanted = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IPropertyPage, &unwanted), CLASS_E_NOAGGREGATION);
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    ASSERT_NE(outer.inner, nullptr);

    IPropertyPage* page = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IPropertyPage, reinterpret_cast<void**>(&page)), S_OK);
    // The page's interfaces count on the outer object and answer its identity.
    const ULONG held = outer.count;
    IUnknown* identity = nullptr;
    ASSERT_EQ(page->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.count, held + 1);
    identity->Release();
    EXPECT_EQ(TitleOf(page), "Device");
    factory->Release();
    page->Release();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    outer.inner->Release();
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(ClassObjectTest, ComCreatesARegisteredPageThroughItsServerKey)
{
    ASSERT_EQ(RegisterServer(), S_OK);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    for (const ExpectedPageClass& expected : kPageClasses) {
        SCOPED_TRACE(expected.description);
        IPropertyPage* page = nullptr;
        ASSERT_EQ(CoCreateInstance(ClsidOf(expected.clsid), nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                   reinterpret_cast<void**>(&page)),
                  S_OK);
        EXPECT_EQ(TitleOf(page), expected.title);
        page->Release();
    }
    CoUninitialize();
}

// Loaded and freed by hand here rather than through the fixture's one handle.
TEST_F(ClassObjectTest, TheLibraryServesAgainAfterItIsFreedAndLoadedAgain)
{
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        HMODULE library = LoadLibraryA(kPageLibraryPath);
        ASSERT_NE(library, nullptr);
        auto getClassObject = reinterpret_cast<HRESULT (*)(REFCLSID, REFIID, void**)>(
            GetProcAddress(library, "DllGetClassObject"));
        ASSERT_NE(getClassObject, nullptr);
        IClassFactory* factory = nullptr;
        ASSERT_EQ(getClassObject(ClsidOf(kPageClasses[1].clsid), IID_IClassFactory,
                                 reinterpret_cast<void**>(&factory)),
                  S_OK);
        IPropertyPage* page = nullptr;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPropertyPage, reinterpret_cast<void**>(&page)), S_OK);
        factory->Release();
        PROPPAGEINFO info{};
        info.cb = sizeof(info);
        ASSERT_EQ(page->GetPageInfo(&info), S_OK);
        EXPECT_EQ(Narrow(info.pszTitle), "Audio Input Mixer");
        CoTaskMemFree(info.pszTitle);
        page->Release();
        auto canUnload = reinterpret_cast<HRESULT (*)()>(GetProcAddress(library, "DllCanUnloadNow"));
        EXPECT_EQ(canUnload(), S_OK);
        EXPECT_TRUE(FreeLibrary(library));
    }
}

} // namespace
