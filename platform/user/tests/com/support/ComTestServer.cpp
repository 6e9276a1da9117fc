// The in-process test server: three aggregatable ATL classes (threading models "Both",
// "Apartment" and none) registered by scripts of the page library's shape, a type library, and
// the four exports. Its DllMain, objects and FinalConstruct/FinalRelease write to the module log.
#include "ComTestServer.h"
#include "ModuleLog.h"
#include "ReasonNames.h"
#include "atl/atlcom.h"
#include "um/resourcetable.h"

namespace {

const char kBothScript[] = R"(HKCR
{
	ComTestServer.TestBoth.1 = s 'TestBoth Class'
	{
		CLSID = s '{5A0E2C61-1B7D-4C3E-8F20-91A46B3D720E}'
	}
	ComTestServer.TestBoth = s 'TestBoth Class'
	{
		CLSID = s '{5A0E2C61-1B7D-4C3E-8F20-91A46B3D720E}'
		CurVer = s 'ComTestServer.TestBoth.1'
	}
	NoRemove CLSID
	{
		ForceRemove {5A0E2C61-1B7D-4C3E-8F20-91A46B3D720E} = s 'TestBoth Class'
		{
			ProgID = s 'ComTestServer.TestBoth.1'
			VersionIndependentProgID = s 'ComTestServer.TestBoth'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Both'
			}
			'TypeLib' = s '{7E4F10A2-66C1-4B9D-A305-C2184D9E2751}'
		}
	}
}
)";

const char kApartmentScript[] = R"(HKCR
{
	ComTestServer.TestApartment.1 = s 'TestApartment Class'
	{
		CLSID = s '{5A0E2C62-1B7D-4C3E-8F20-91A46B3D720E}'
	}
	ComTestServer.TestApartment = s 'TestApartment Class'
	{
		CLSID = s '{5A0E2C62-1B7D-4C3E-8F20-91A46B3D720E}'
		CurVer = s 'ComTestServer.TestApartment.1'
	}
	NoRemove CLSID
	{
		ForceRemove {5A0E2C62-1B7D-4C3E-8F20-91A46B3D720E} = s 'TestApartment Class'
		{
			ProgID = s 'ComTestServer.TestApartment.1'
			VersionIndependentProgID = s 'ComTestServer.TestApartment'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
			'TypeLib' = s '{7E4F10A2-66C1-4B9D-A305-C2184D9E2751}'
		}
	}
}
)";

const char kPlainScript[] = R"(HKCR
{
	ComTestServer.TestPlain.1 = s 'TestPlain Class'
	{
		CLSID = s '{5A0E2C63-1B7D-4C3E-8F20-91A46B3D720E}'
	}
	ComTestServer.TestPlain = s 'TestPlain Class'
	{
		CLSID = s '{5A0E2C63-1B7D-4C3E-8F20-91A46B3D720E}'
		CurVer = s 'ComTestServer.TestPlain.1'
	}
	NoRemove CLSID
	{
		ForceRemove {5A0E2C63-1B7D-4C3E-8F20-91A46B3D720E} = s 'TestPlain Class'
		{
			ProgID = s 'ComTestServer.TestPlain.1'
			VersionIndependentProgID = s 'ComTestServer.TestPlain'
			InprocServer32 = s '%MODULE%'
			'TypeLib' = s '{7E4F10A2-66C1-4B9D-A305-C2184D9E2751}'
		}
	}
}
)";

const char kTypeLibrary[] = R"(// The test server's classes.
[
	uuid(7E4F10A2-66C1-4B9D-A305-C2184D9E2751),
	version(1.0),
	helpstring("ComTestServer 1.0 Type Library")
]
library COMTESTSERVERLib
{
	importlib("stdole2.tlb");

	[
		uuid(5A0E2C61-1B7D-4C3E-8F20-91A46B3D720E),
		helpstring("TestBoth Class")
	]
	coclass TestBoth
	{
		[default] interface IUnknown;
	};
	[
		uuid(5A0E2C62-1B7D-4C3E-8F20-91A46B3D720E),
		helpstring("TestApartment Class")
	]
	coclass TestApartment
	{
		[default] interface IUnknown;
	};
	[
		uuid(5A0E2C63-1B7D-4C3E-8F20-91A46B3D720E),
		helpstring("TestPlain Class")
	]
	coclass TestPlain
	{
		[default] interface IUnknown;
	};
};
)";

} // namespace

extern "C" const standin::ResourceEntry StandinResourceTable[] = {
    {"REGISTRY", 0, nullptr, 101, 1033, kBothScript, sizeof kBothScript - 1},
    {"REGISTRY", 0, nullptr, 102, 1033, kApartmentScript, sizeof kApartmentScript - 1},
    {"REGISTRY", 0, "IDR_TESTPLAIN", 0, 1033, kPlainScript, sizeof kPlainScript - 1},
    {"TYPELIB", 0, nullptr, 1, 0, kTypeLibrary, sizeof kTypeLibrary - 1},
};
extern "C" const size_t StandinResourceTableCount =
    sizeof StandinResourceTable / sizeof StandinResourceTable[0];

namespace {

CComModule g_module;

// The objects answer ITestProbe with their own kind and count their lives in the module log.
template <class T, const CLSID* clsid, class ThreadModel, LONG kind>
class ATL_NO_VTABLE TestObject : public CComObjectRootEx<ThreadModel>,
                                 public CComCoClass<T, clsid>,
                                 public ITestProbe {
public:
    BEGIN_COM_MAP(TestObject)
    COM_INTERFACE_ENTRY(ITestProbe)
    END_COM_MAP()

    HRESULT FinalConstruct()
    {
        ModuleLogRecord("ComTestServer", "final-construct");
        return S_OK;
    }
    void FinalRelease() { ModuleLogRecord("ComTestServer", "final-release"); }

    STDMETHOD(Ping)(LONG* value) override
    {
        if (!value)
            return E_POINTER;
        *value = kind;
        return S_OK;
    }
};

class TestBoth : public TestObject<TestBoth, &CLSID_TestBoth, CComMultiThreadModel, 1> {
public:
    DECLARE_REGISTRY_RESOURCEID(101)
};
class TestApartment : public TestObject<TestApartment, &CLSID_TestApartment, CComSingleThreadModel, 2> {
public:
    DECLARE_REGISTRY_RESOURCEID(102)
};
class TestPlain : public TestObject<TestPlain, &CLSID_TestPlain, CComSingleThreadModel, 3> {
public:
    DECLARE_REGISTRY_RESOURCE("IDR_TESTPLAIN")
};

BEGIN_OBJECT_MAP(g_objectMap)
OBJECT_ENTRY(CLSID_TestBoth, TestBoth)
OBJECT_ENTRY(CLSID_TestApartment, TestApartment)
OBJECT_ENTRY(CLSID_TestPlain, TestPlain)
END_OBJECT_MAP()

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    ModuleLogRecord("ComTestServer", ReasonName(reason));
    if (reason == DLL_PROCESS_ATTACH) {
        g_module.Init(g_objectMap, instance, &LIBID_ComTestServerLib);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        g_module.Term();
    }
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    return g_module.GetLockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    return g_module.GetClassObject(rclsid, riid, ppv);
}

STDAPI DllRegisterServer()
{
    return g_module.RegisterServer(TRUE);
}

STDAPI DllUnregisterServer()
{
    return g_module.UnregisterServer(TRUE);
}

extern "C" LONG TestServerLockCount()
{
    return g_module.GetLockCount();
}
