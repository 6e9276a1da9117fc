// ATL's base: thread models, critical sections, CComPtr and CComQIPtr, the object map and
// CComModule (class objects, registration of the map's classes and the type library, the lock
// count). Header-only; the registrar and the OLE calls are the stand-in's (atl/statreg.h,
// um/oleauto.h). One CComModule per module: its constructor makes it the module's _pAtlModule,
// which the objects of atlcom.h lock and unlock.
#pragma once
#include "atl/statreg.h"
#include "um/windows.h"

#include <atomic>
#include <mutex>
#include <string>

// A class only ever derived from: no vtable of its own is needed (a hint on Windows, nothing here).
#define ATL_NO_VTABLE

namespace ATL {

// Interlocked counts on plain LONGs, as ATL's thread models use them.
inline LONG AtlIncrement(LONG* value)
{
    return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST);
}
inline LONG AtlDecrement(LONG* value)
{
    return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST);
}

class CComFakeCriticalSection {
public:
    HRESULT Lock() { return S_OK; }
    HRESULT Unlock() { return S_OK; }
    HRESULT Init() { return S_OK; }
    HRESULT Term() { return S_OK; }
};

class CComCriticalSection {
public:
    HRESULT Lock()
    {
        m_sec.lock();
        return S_OK;
    }
    HRESULT Unlock()
    {
        m_sec.unlock();
        return S_OK;
    }
    HRESULT Init() { return S_OK; }
    HRESULT Term() { return S_OK; }

private:
    std::recursive_mutex m_sec;
};

class CComAutoCriticalSection : public CComCriticalSection {};

// One thread touches the object: plain counts, no lock.
class CComSingleThreadModel {
public:
    static ULONG WINAPI Increment(LONG* p) { return static_cast<ULONG>(++(*p)); }
    static ULONG WINAPI Decrement(LONG* p) { return static_cast<ULONG>(--(*p)); }
    using AutoCriticalSection = CComFakeCriticalSection;
    using CriticalSection = CComFakeCriticalSection;
    using ThreadModelNoCS = CComSingleThreadModel;
};

// Any thread touches the object: interlocked counts and a real lock.
class CComMultiThreadModelNoCS {
public:
    static ULONG WINAPI Increment(LONG* p) { return static_cast<ULONG>(AtlIncrement(p)); }
    static ULONG WINAPI Decrement(LONG* p) { return static_cast<ULONG>(AtlDecrement(p)); }
    using AutoCriticalSection = CComFakeCriticalSection;
    using CriticalSection = CComFakeCriticalSection;
    using ThreadModelNoCS = CComMultiThreadModelNoCS;
};

class CComMultiThreadModel {
public:
    static ULONG WINAPI Increment(LONG* p) { return static_cast<ULONG>(AtlIncrement(p)); }
    static ULONG WINAPI Decrement(LONG* p) { return static_cast<ULONG>(AtlDecrement(p)); }
    using AutoCriticalSection = CComAutoCriticalSection;
    using CriticalSection = CComCriticalSection;
    using ThreadModelNoCS = CComMultiThreadModelNoCS;
};

// The module's default (ATL's free-threaded choice) and the models of the global objects.
using CComObjectThreadModel = CComMultiThreadModel;
using CComGlobalsThreadModel = CComMultiThreadModel;

template <class T> class CComPtr {
public:
    CComPtr() = default;
    CComPtr(T* p) : p(p)
    {
        if (p)
            p->AddRef();
    }
    CComPtr(const CComPtr& other) : CComPtr(other.p) {}
    CComPtr(CComPtr&& other) noexcept : p(other.p) { other.p = nullptr; }
    ~CComPtr()
    {
        if (p)
            p->Release();
    }
    CComPtr& operator=(T* other)
    {
        if (other)
            other->AddRef();
        if (p)
            p->Release();
        p = other;
        return *this;
    }
    CComPtr& operator=(const CComPtr& other) { return *this = other.p; }
    CComPtr& operator=(CComPtr&& other) noexcept
    {
        if (this != &other) {
            if (p)
                p->Release();
            p = other.p;
            other.p = nullptr;
        }
        return *this;
    }

    operator T*() const { return p; }
    T& operator*() const { return *p; }
    T* operator->() const { return p; }
    // The address of the held pointer, for an out parameter; it must be empty.
    T** operator&() { return &p; }
    bool operator!() const { return p == nullptr; }

    void Release()
    {
        T* held = p;
        if (held) {
            p = nullptr;
            held->Release();
        }
    }
    void Attach(T* other)
    {
        if (p)
            p->Release();
        p = other;
    }
    T* Detach()
    {
        T* held = p;
        p = nullptr;
        return held;
    }
    HRESULT CopyTo(T** out) const
    {
        if (!out)
            return E_POINTER;
        *out = p;
        if (p)
            p->AddRef();
        return S_OK;
    }
    template <class Q> HRESULT QueryInterface(Q** out) const
    {
        return p->QueryInterface(__uuidof(Q), reinterpret_cast<void**>(out));
    }
    HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter = nullptr, DWORD dwClsContext = CLSCTX_ALL)
    {
        return ::CoCreateInstance(rclsid, pUnkOuter, dwClsContext, __uuidof(T), reinterpret_cast<void**>(&p));
    }
    bool IsEqualObject(IUnknown* other) const
    {
        if (!p && !other)
            return true;
        if (!p || !other)
            return false;
        CComPtr<IUnknown> mine;
        CComPtr<IUnknown> theirs;
        p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&mine));
        other->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&theirs));
        return mine.p == theirs.p;
    }

    T* p = nullptr;
};

// A CComPtr filled by QueryInterface for *piid from whatever it is given.
template <class T, const IID* piid = ::standin::InterfaceIid<T>::value> class CComQIPtr : public CComPtr<T> {
public:
    CComQIPtr() = default;
    CComQIPtr(T* p) : CComPtr<T>(p) {}
    CComQIPtr(const CComQIPtr& other) : CComPtr<T>(other.p) {}
    CComQIPtr(IUnknown* unknown) { Query(unknown); }
    CComQIPtr& operator=(T* other)
    {
        CComPtr<T>::operator=(other);
        return *this;
    }
    CComQIPtr& operator=(const CComQIPtr& other)
    {
        CComPtr<T>::operator=(other.p);
        return *this;
    }
    CComQIPtr& operator=(IUnknown* unknown)
    {
        T* old = this->p;
        this->p = nullptr;
        Query(unknown);
        if (old)
            old->Release();
        return *this;
    }

private:
    void Query(IUnknown* unknown)
    {
        if (unknown)
            unknown->QueryInterface(*piid, reinterpret_cast<void**>(&this->p));
    }
};

// IUnknown itself: a CComQIPtr<IUnknown> takes any interface's identity-less pointer.
template <> class CComQIPtr<IUnknown, &IID_IUnknown> : public CComPtr<IUnknown> {
public:
    CComQIPtr() = default;
    CComQIPtr(IUnknown* unknown) { Query(unknown); }
    CComQIPtr(const CComQIPtr& other) : CComPtr<IUnknown>(other.p) {}
    CComQIPtr& operator=(IUnknown* unknown)
    {
        IUnknown* old = p;
        p = nullptr;
        Query(unknown);
        if (old)
            old->Release();
        return *this;
    }
    CComQIPtr& operator=(const CComQIPtr& other) { return *this = other.p; }

private:
    void Query(IUnknown* unknown)
    {
        if (unknown)
            unknown->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&p));
    }
};

using _ATL_CREATORFUNC = HRESULT WINAPI(void* pv, REFIID riid, LPVOID* ppv);
using _ATL_DESCRIPTIONFUNC = LPCSTR WINAPI();

// One class of the module: its CLSID, registration routine, class-object and object creators, and
// the class object once made (kept until Term).
struct _ATL_OBJMAP_ENTRY {
    const CLSID* pclsid;
    HRESULT(WINAPI* pfnUpdateRegistry)(BOOL bRegister);
    _ATL_CREATORFUNC* pfnGetClassObject;
    _ATL_CREATORFUNC* pfnCreateInstance;
    IUnknown* pCF;
    DWORD dwRegister;
    _ATL_DESCRIPTIONFUNC* pfnGetObjectDescription;
};

#define BEGIN_OBJECT_MAP(x) static ::ATL::_ATL_OBJMAP_ENTRY x[] = {
#define END_OBJECT_MAP()                                                                                     \
    {                                                                                                        \
        nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr                                              \
    }                                                                                                        \
    }                                                                                                        \
    ;
#define OBJECT_ENTRY(clsid, class)                                                                           \
    {&clsid,                                                                                                 \
     class ::UpdateRegistry,                                                                                 \
     class ::_ClassFactoryCreatorClass::CreateInstance,                                                      \
     class ::_CreatorClass::CreateInstance,                                                                  \
     nullptr,                                                                                                \
     0,                                                                                                      \
     class ::GetObjectDescription},

class CComModule;
// The module's one CComModule, set by its constructor.
inline CComModule* _pAtlModule = nullptr;

class CComModule {
public:
    CComModule() { _pAtlModule = this; }
    ~CComModule()
    {
        if (_pAtlModule == this)
            _pAtlModule = nullptr;
    }
    CComModule(const CComModule&) = delete;
    CComModule& operator=(const CComModule&) = delete;

    HRESULT Init(_ATL_OBJMAP_ENTRY* p, HINSTANCE h, const GUID* plibid = nullptr)
    {
        m_pObjMap = p;
        m_hInst = m_hInstResource = m_hInstTypeLib = h;
        m_libid = plibid ? *plibid : GUID_NULL;
        m_nLockCnt = 0;
        return S_OK;
    }
    // Releases the class objects the map made.
    void Term()
    {
        if (!m_pObjMap)
            return;
        for (_ATL_OBJMAP_ENTRY* entry = m_pObjMap; entry->pclsid; ++entry) {
            if (entry->pCF)
                entry->pCF->Release();
            entry->pCF = nullptr;
        }
        m_pObjMap = nullptr;
    }

    LONG Lock() { return AtlIncrement(&m_nLockCnt); }
    LONG Unlock() { return AtlDecrement(&m_nLockCnt); }
    LONG GetLockCount() const { return __atomic_load_n(&m_nLockCnt, __ATOMIC_SEQ_CST); }

    HINSTANCE GetModuleInstance() const { return m_hInst; }
    HINSTANCE GetResourceInstance() const { return m_hInstResource; }
    HINSTANCE GetTypeLibInstance() const { return m_hInstTypeLib; }

    // The class object of the map's entry for rclsid (made once); CLASS_E_CLASSNOTAVAILABLE for a
    // CLSID the map lacks.
    HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (!m_pObjMap)
            return CLASS_E_CLASSNOTAVAILABLE;
        for (_ATL_OBJMAP_ENTRY* entry = m_pObjMap; entry->pclsid; ++entry) {
            if (*entry->pclsid != rclsid)
                continue;
            std::lock_guard<std::mutex> hold(m_classObjectLock);
            if (!entry->pCF) {
                const HRESULT made =
                    entry->pfnGetClassObject(reinterpret_cast<void*>(entry->pfnCreateInstance), IID_IUnknown,
                                             reinterpret_cast<LPVOID*>(&entry->pCF));
                if (FAILED(made))
                    return made;
            }
            return entry->pCF->QueryInterface(riid, ppv);
        }
        return CLASS_E_CLASSNOTAVAILABLE;
    }

    // Each entry's registration in map order (or only pCLSID's), stopping at the first failure;
    // then the type library when asked.
    HRESULT RegisterServer(BOOL bRegTypeLib = FALSE, const CLSID* pCLSID = nullptr)
    {
        for (_ATL_OBJMAP_ENTRY* entry = m_pObjMap; entry && entry->pclsid; ++entry) {
            if (pCLSID && *pCLSID != *entry->pclsid)
                continue;
            if (const HRESULT result = entry->pfnUpdateRegistry(TRUE); FAILED(result))
                return result;
        }
        return bRegTypeLib ? RegisterTypeLib() : S_OK;
    }
    // Every entry's unregistration (or only pCLSID's) and then the type library when asked, all of
    // them run; the first failure is the answer.
    HRESULT UnregisterServer(BOOL bUnRegTypeLib = FALSE, const CLSID* pCLSID = nullptr)
    {
        HRESULT first = S_OK;
        for (_ATL_OBJMAP_ENTRY* entry = m_pObjMap; entry && entry->pclsid; ++entry) {
            if (pCLSID && *pCLSID != *entry->pclsid)
                continue;
            const HRESULT result = entry->pfnUpdateRegistry(FALSE);
            if (FAILED(result) && SUCCEEDED(first))
                first = result;
        }
        if (bUnRegTypeLib) {
            const HRESULT result = UnRegisterTypeLib();
            if (FAILED(result) && SUCCEEDED(first))
                first = result;
        }
        return first;
    }

    // The type library of the module (its "TYPELIB" resource 1) registered under its path.
    HRESULT RegisterTypeLib()
    {
        std::u16string path;
        if (const HRESULT got = ModulePath(m_hInstTypeLib, &path); FAILED(got))
            return got;
        ITypeLib* library = nullptr;
        if (const HRESULT loaded = ::LoadTypeLib(path.c_str(), &library); FAILED(loaded))
            return loaded;
        const HRESULT result = ::RegisterTypeLib(library, path.c_str(), nullptr);
        library->Release();
        return result;
    }
    HRESULT UnRegisterTypeLib()
    {
        std::u16string path;
        if (const HRESULT got = ModulePath(m_hInstTypeLib, &path); FAILED(got))
            return got;
        ITypeLib* library = nullptr;
        if (const HRESULT loaded = ::LoadTypeLib(path.c_str(), &library); FAILED(loaded))
            return loaded;
        TLIBATTR* attributes = nullptr;
        HRESULT result = library->GetLibAttr(&attributes);
        if (SUCCEEDED(result)) {
            result = ::UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                                         attributes->lcid, attributes->syskind);
            library->ReleaseTLibAttr(attributes);
        }
        library->Release();
        return result;
    }

    // The script of "REGISTRY" resource nResID (or lpszRes) with %MODULE% = the module's path and
    // the caller's replacements.
    HRESULT UpdateRegistryFromResource(UINT nResID, BOOL bRegister, _ATL_REGMAP_ENTRY* pMapEntries = nullptr)
    {
        return UpdateRegistry(MAKEINTRESOURCEW(nResID), bRegister, pMapEntries);
    }
    HRESULT UpdateRegistryFromResource(LPCSTR lpszRes, BOOL bRegister,
                                       _ATL_REGMAP_ENTRY* pMapEntries = nullptr)
    {
        if (IS_INTRESOURCE(lpszRes))
            return UpdateRegistry(reinterpret_cast<LPCWSTR>(lpszRes), bRegister, pMapEntries);
        std::u16string name;
        for (const char* c = lpszRes; *c; ++c)
            name += static_cast<char16_t>(static_cast<unsigned char>(*c));
        return UpdateRegistry(name.c_str(), bRegister, pMapEntries);
    }
    HRESULT UpdateRegistryFromResource(LPCWSTR lpszRes, BOOL bRegister,
                                       _ATL_REGMAP_ENTRY* pMapEntries = nullptr)
    {
        return UpdateRegistry(lpszRes, bRegister, pMapEntries);
    }

    HINSTANCE m_hInst = nullptr;
    HINSTANCE m_hInstResource = nullptr;
    HINSTANCE m_hInstTypeLib = nullptr;
    _ATL_OBJMAP_ENTRY* m_pObjMap = nullptr;
    LONG m_nLockCnt = 0;
    GUID m_libid{};

private:
    static HRESULT ModulePath(HINSTANCE module, std::u16string* path)
    {
        WCHAR buffer[MAX_PATH];
        const DWORD length = GetModuleFileNameW(module, buffer, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            return HRESULT_FROM_WIN32(length == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER);
        path->assign(buffer, length);
        return S_OK;
    }

    HRESULT UpdateRegistry(LPCWSTR resource, BOOL bRegister, _ATL_REGMAP_ENTRY* pMapEntries)
    {
        std::u16string path;
        if (const HRESULT got = ModulePath(m_hInstResource, &path); FAILED(got))
            return got;
        CRegObject registrar;
        registrar.AddReplacement(u"MODULE", path.c_str());
        for (_ATL_REGMAP_ENTRY* entry = pMapEntries; entry && entry->szKey; ++entry)
            registrar.AddReplacement(entry->szKey, entry->szData);
        if (IS_INTRESOURCE(resource)) {
            const UINT id = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(resource));
            return bRegister ? registrar.ResourceRegister(path.c_str(), id, u"REGISTRY")
                             : registrar.ResourceUnregister(path.c_str(), id, u"REGISTRY");
        }
        return bRegister ? registrar.ResourceRegisterSz(path.c_str(), resource, u"REGISTRY")
                         : registrar.ResourceUnregisterSz(path.c_str(), resource, u"REGISTRY");
    }

    std::mutex m_classObjectLock;
};

} // namespace ATL

#ifndef _ATL_NO_AUTOMATIC_NAMESPACE
using namespace ATL;
#endif
