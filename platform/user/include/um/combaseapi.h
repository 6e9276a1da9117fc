// COM's base calls: apartments, class objects and in-process creation, task memory, GUID text.
// Servers are in-process modules found through HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32 or
// classes the stand-in registers itself; nothing is marshalled between apartments (see
// docs/platform-user-com.md).
#pragma once
#include "um/unknwn.h"

enum tagCOINIT {
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8,
};

enum tagCLSCTX {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_REMOTE_SERVER = 0x10,
};
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

// The exports an in-process server has.
using LPFNGETCLASSOBJECT = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using LPFNCANUNLOADNOW = HRESULT(STDAPICALLTYPE*)();

extern "C" {
// The calling thread enters a single-threaded apartment (COINIT_APARTMENTTHREADED) or the
// process's multithreaded apartment: S_OK the first time, S_FALSE again for the same kind (each
// call needs its CoUninitialize), RPC_E_CHANGED_MODE for the other kind, E_INVALIDARG for unknown
// flags. CoInitialize(NULL) is CoInitializeEx(NULL, COINIT_APARTMENTTHREADED).
HRESULT STDAPICALLTYPE CoInitialize(LPVOID pvReserved);
HRESULT STDAPICALLTYPE CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
// Takes back one initialisation; the last of the thread leaves its apartment, and the last of the
// process frees every server COM loaded.
void STDAPICALLTYPE CoUninitialize();
// The class object of rclsid: a class the stand-in registered first, then the in-process server of
// HKCR\CLSID\{...}\InprocServer32 (loaded once, kept until freed). CO_E_NOTINITIALIZED on a thread
// outside every apartment (a thread without CoInitialize is in the multithreaded apartment once
// that exists), REGDB_E_CLASSNOTREG without a registered server or CLSCTX_INPROC_SERVER,
// the load's error as HRESULT_FROM_WIN32, CO_E_ERRORINDLL for a module without DllGetClassObject,
// CO_E_NOT_SUPPORTED when the class's ThreadingModel does not admit the caller's apartment.
HRESULT STDAPICALLTYPE CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                                        LPVOID* ppv);
// CoGetClassObject, then IClassFactory::CreateInstance. *ppv is NULL on failure.
HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                                        LPVOID* ppv);
// Unloads each server COM loaded whose DllCanUnloadNow answers S_OK.
void STDAPICALLTYPE CoFreeUnusedLibraries();

// Task memory: blocks still allocated when a test ends are a leak ("co-task-memory"). Free and
// Realloc of a pointer that is not a live block are breaches and change nothing.
LPVOID STDAPICALLTYPE CoTaskMemAlloc(SIZE_T cb);
LPVOID STDAPICALLTYPE CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
void STDAPICALLTYPE CoTaskMemFree(LPVOID pv);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits of either case) to a CLSID; CO_E_CLASSSTRING
// for anything else, E_INVALIDARG for NULL arguments.
HRESULT STDAPICALLTYPE CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
// The GUID in that form with upper-case digits: 39 (the characters and the zero), or 0 when cchMax
// is below 39.
int STDAPICALLTYPE StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
}
