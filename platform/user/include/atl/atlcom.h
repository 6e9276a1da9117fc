// ATL's COM classes: the object root with its reference count and interface map, the object
// wrappers (CComObject, CComAggObject, CComContainedObject, CComObjectCached), the creators, the
// class factory and CComCoClass with the declaration macros. Header-only.
#pragma once
#include "atl/atlbase.h"

#include <new>

namespace ATL {

// One line of a COM map: an interface's IID and how to reach it from the object.
using _ATL_INTERFACE_CAST = void* (*)(void* object);
struct _ATL_INTMAP_ENTRY {
    const IID* piid;
    _ATL_INTERFACE_CAST cast;
};

class CComObjectRootBase {
public:
    CComObjectRootBase() : m_dwRef(0) {}

    HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease() {}
    // Hooks around FinalConstruct that take no reference: it runs with the count at zero, so a
    // FinalConstruct must not hand out and release the object's own interfaces.
    void InternalFinalConstructAddRef() {}
    void InternalFinalConstructRelease() {}
    void SetVoid(void*) {}

    ULONG OuterAddRef() { return m_pOuterUnknown->AddRef(); }
    ULONG OuterRelease() { return m_pOuterUnknown->Release(); }
    HRESULT OuterQueryInterface(REFIID iid, void** ppvObject)
    {
        return m_pOuterUnknown->QueryInterface(iid, ppvObject);
    }

    // The map's first entry answers IID_IUnknown: the object's identity.
    static HRESULT WINAPI InternalQueryInterface(void* pThis, const _ATL_INTMAP_ENTRY* pEntries, REFIID iid,
                                                 void** ppvObject)
    {
        if (!ppvObject)
            return E_POINTER;
        *ppvObject = nullptr;
        if (iid == IID_IUnknown) {
            auto* unknown = static_cast<IUnknown*>(pEntries->cast(pThis));
            unknown->AddRef();
            *ppvObject = unknown;
            return S_OK;
        }
        for (; pEntries->piid; ++pEntries) {
            if (*pEntries->piid == iid) {
                auto* unknown = static_cast<IUnknown*>(pEntries->cast(pThis));
                unknown->AddRef();
                *ppvObject = unknown;
                return S_OK;
            }
        }
        return E_NOINTERFACE;
    }

    union {
        LONG m_dwRef;
        IUnknown* m_pOuterUnknown;
    };
};

template <class ThreadModel> class CComObjectRootEx : public CComObjectRootBase {
public:
    using _ThreadModel = ThreadModel;
    using _CritSec = typename ThreadModel::AutoCriticalSection;

    ULONG InternalAddRef() { return ThreadModel::Increment(&m_dwRef); }
    ULONG InternalRelease() { return ThreadModel::Decrement(&m_dwRef); }
    void Lock() { m_critsec.Lock(); }
    void Unlock() { m_critsec.Unlock(); }

private:
    _CritSec m_critsec;
};

using CComObjectRoot = CComObjectRootEx<CComObjectThreadModel>;

// The COM map: BEGIN_COM_MAP(class) COM_INTERFACE_ENTRY(IFoo) ... END_COM_MAP(). The first entry is
// the object's IUnknown. The IUnknown methods come from the wrapper (CComObject and its kin).
#define BEGIN_COM_MAP(x)                                                                                     \
public:                                                                                                      \
    using _ComMapClass = x;                                                                                  \
    IUnknown* GetUnknown()                                                                                   \
    {                                                                                                        \
        return static_cast<IUnknown*>(_GetEntries()->cast(this));                                            \
    }                                                                                                        \
    HRESULT _InternalQueryInterface(REFIID iid, void** ppvObject)                                            \
    {                                                                                                        \
        return this->InternalQueryInterface(this, _GetEntries(), iid, ppvObject);                            \
    }                                                                                                        \
    static const ::ATL::_ATL_INTMAP_ENTRY* _GetEntries()                                                     \
    {                                                                                                        \
        static const ::ATL::_ATL_INTMAP_ENTRY _entries[] = {
#define COM_INTERFACE_ENTRY_IID(iid, x)                                                                      \
    {&iid, [](void* object) -> void* { return static_cast<x*>(static_cast<_ComMapClass*>(object)); }},
#define COM_INTERFACE_ENTRY(x) COM_INTERFACE_ENTRY_IID(IID_##x, x)
// An interface reached through one base (x2) where several derive from it.
#define COM_INTERFACE_ENTRY2(x, x2)                                                                          \
    {&IID_##x, [](void* object) -> void* {                                                                   \
         return static_cast<x*>(static_cast<x2*>(static_cast<_ComMapClass*>(object)));                       \
     }},
#define END_COM_MAP()                                                                                        \
    {                                                                                                        \
        nullptr, nullptr                                                                                     \
    }                                                                                                        \
    }                                                                                                        \
    ;                                                                                                        \
    return _entries;                                                                                         \
    }                                                                                                        \
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;                                                            \
    virtual ULONG STDMETHODCALLTYPE Release() = 0;                                                           \
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) = 0;

inline void AtlModuleLock()
{
    if (_pAtlModule)
        _pAtlModule->Lock();
}
inline void AtlModuleUnlock()
{
    if (_pAtlModule)
        _pAtlModule->Unlock();
}

// A plain object: its own count, and one module lock while it lives.
template <class Base> class CComObject : public Base {
public:
    using _BaseClass = Base;
    explicit CComObject(void* = nullptr) { AtlModuleLock(); }
    virtual ~CComObject()
    {
        this->m_dwRef = -(0x7FFFFFFF / 2); // a count FinalRelease cannot take to zero
        this->FinalRelease();
        AtlModuleUnlock();
    }
    STDMETHOD_(ULONG, AddRef)() override { return this->InternalAddRef(); }
    STDMETHOD_(ULONG, Release)() override
    {
        const ULONG left = this->InternalRelease();
        if (left == 0)
            delete this;
        return left;
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppvObject) override
    {
        return this->_InternalQueryInterface(iid, ppvObject);
    }
    template <class Q> HRESULT QueryInterface(Q** pp)
    {
        return QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
    }

    // A new object with no reference yet, FinalConstruct run; deleted again when that fails.
    static HRESULT WINAPI CreateInstance(CComObject<Base>** pp)
    {
        if (!pp)
            return E_POINTER;
        *pp = nullptr;
        auto* object = new (std::nothrow) CComObject<Base>();
        if (!object)
            return E_OUTOFMEMORY;
        object->SetVoid(nullptr);
        object->InternalFinalConstructAddRef();
        const HRESULT result = object->FinalConstruct();
        object->InternalFinalConstructRelease();
        if (FAILED(result)) {
            delete object;
            return result;
        }
        *pp = object;
        return S_OK;
    }
};

// A class object kept by the module's map: the map's own reference does not lock the module, every
// other one does (so a cached factory alone never keeps the server loaded).
template <class Base> class CComObjectCached : public Base {
public:
    using _BaseClass = Base;
    explicit CComObjectCached(void* = nullptr) {}
    virtual ~CComObjectCached()
    {
        this->m_dwRef = -(0x7FFFFFFF / 2); // a count FinalRelease cannot take to zero
        this->FinalRelease();
    }
    STDMETHOD_(ULONG, AddRef)() override
    {
        const ULONG count = this->InternalAddRef();
        if (count == 2)
            AtlModuleLock();
        return count;
    }
    STDMETHOD_(ULONG, Release)() override
    {
        const ULONG left = this->InternalRelease();
        if (left == 0)
            delete this;
        else if (left == 1)
            AtlModuleUnlock();
        return left;
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppvObject) override
    {
        return this->_InternalQueryInterface(iid, ppvObject);
    }
};

// The inner object of an aggregate: its IUnknown calls go to the outer unknown.
template <class Base> class CComContainedObject : public Base {
public:
    using _BaseClass = Base;
    explicit CComContainedObject(void* pv) { this->m_pOuterUnknown = static_cast<IUnknown*>(pv); }
    STDMETHOD_(ULONG, AddRef)() override { return this->OuterAddRef(); }
    STDMETHOD_(ULONG, Release)() override { return this->OuterRelease(); }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppvObject) override
    {
        return this->OuterQueryInterface(iid, ppvObject);
    }
    IUnknown* GetControllingUnknown() { return this->m_pOuterUnknown; }
};

// An object aggregated into an outer one: this wrapper is the inner IUnknown the outer holds (its
// own count, one module lock), and the object's interfaces delegate to the outer.
template <class contained>
class CComAggObject : public IUnknown,
                      public CComObjectRootEx<typename contained::_ThreadModel::ThreadModelNoCS> {
public:
    using _BaseClass = contained;
    explicit CComAggObject(void* pv) : m_contained(pv) { AtlModuleLock(); }
    virtual ~CComAggObject()
    {
        this->m_dwRef = -(0x7FFFFFFF / 2); // a count FinalRelease cannot take to zero
        this->FinalRelease();
        AtlModuleUnlock();
    }
    HRESULT FinalConstruct()
    {
        this->InternalAddRef();
        m_contained.InternalFinalConstructAddRef();
        const HRESULT result = m_contained.FinalConstruct();
        m_contained.InternalFinalConstructRelease();
        this->InternalRelease();
        return result;
    }
    void FinalRelease() { m_contained.FinalRelease(); }
    STDMETHOD_(ULONG, AddRef)() override { return this->InternalAddRef(); }
    STDMETHOD_(ULONG, Release)() override
    {
        const ULONG left = this->InternalRelease();
        if (left == 0)
            delete this;
        return left;
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppvObject) override
    {
        if (!ppvObject)
            return E_POINTER;
        *ppvObject = nullptr;
        if (iid == IID_IUnknown) {
            *ppvObject = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return m_contained._InternalQueryInterface(iid, ppvObject);
    }

    CComContainedObject<contained> m_contained;
};

// Makes a T for the creator functions of the maps: T(pv), FinalConstruct, then the interface.
template <class T1> class CComCreator {
public:
    static HRESULT WINAPI CreateInstance(void* pv, REFIID riid, LPVOID* ppv)
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        auto* object = new (std::nothrow) T1(pv);
        if (!object)
            return E_OUTOFMEMORY;
        object->SetVoid(pv);
        object->InternalFinalConstructAddRef();
        HRESULT result = object->FinalConstruct();
        object->InternalFinalConstructRelease();
        if (SUCCEEDED(result))
            result = object->QueryInterface(riid, ppv);
        if (FAILED(result))
            delete object;
        return result;
    }
};

// T1 without an outer unknown, T2 with one.
template <class T1, class T2> class CComCreator2 {
public:
    static HRESULT WINAPI CreateInstance(void* pv, REFIID riid, LPVOID* ppv)
    {
        return pv == nullptr ? T1::CreateInstance(nullptr, riid, ppv) : T2::CreateInstance(pv, riid, ppv);
    }
};

class CComClassFactory : public IClassFactory, public CComObjectRootEx<CComGlobalsThreadModel> {
public:
    BEGIN_COM_MAP(CComClassFactory)
    COM_INTERFACE_ENTRY(IClassFactory)
    END_COM_MAP()

    // An outer unknown may only ask for IID_IUnknown (CLASS_E_NOAGGREGATION otherwise).
    STDMETHOD(CreateInstance)(LPUNKNOWN pUnkOuter, REFIID riid, void** ppvObj) override
    {
        if (!ppvObj)
            return E_POINTER;
        *ppvObj = nullptr;
        if (pUnkOuter && riid != IID_IUnknown)
            return CLASS_E_NOAGGREGATION;
        return m_pfnCreateInstance(pUnkOuter, riid, ppvObj);
    }
    STDMETHOD(LockServer)(BOOL fLock) override
    {
        if (fLock)
            AtlModuleLock();
        else
            AtlModuleUnlock();
        return S_OK;
    }
    void SetVoid(void* pv) { m_pfnCreateInstance = reinterpret_cast<_ATL_CREATORFUNC*>(pv); }

    _ATL_CREATORFUNC* m_pfnCreateInstance = nullptr;
};

#define DECLARE_CLASSFACTORY_EX(cf)                                                                          \
    using _ClassFactoryCreatorClass = ::ATL::CComCreator<::ATL::CComObjectCached<cf>>;
#define DECLARE_CLASSFACTORY() DECLARE_CLASSFACTORY_EX(::ATL::CComClassFactory)
#define DECLARE_AGGREGATABLE(x)                                                                              \
public:                                                                                                      \
    using _CreatorClass = ::ATL::CComCreator2<::ATL::CComCreator<::ATL::CComObject<x>>,                      \
                                              ::ATL::CComCreator<::ATL::CComAggObject<x>>>;
// The class's registration: the "REGISTRY" script of resource id x, or of the resource named x.
#define DECLARE_REGISTRY_RESOURCEID(x)                                                                       \
    static HRESULT WINAPI UpdateRegistry(BOOL bRegister)                                                     \
    {                                                                                                        \
        return ::ATL::_pAtlModule                                                                            \
                   ? ::ATL::_pAtlModule->UpdateRegistryFromResource(static_cast<UINT>(x), bRegister)         \
                   : E_UNEXPECTED;                                                                           \
    }
#define DECLARE_REGISTRY_RESOURCE(x)                                                                         \
    static HRESULT WINAPI UpdateRegistry(BOOL bRegister)                                                     \
    {                                                                                                        \
        return ::ATL::_pAtlModule ? ::ATL::_pAtlModule->UpdateRegistryFromResource(x, bRegister)             \
                                  : E_UNEXPECTED;                                                            \
    }

// A creatable class: its class factory, aggregatable creation, CLSID and description.
template <class T, const CLSID* pclsid> class CComCoClass {
public:
    DECLARE_CLASSFACTORY()
    DECLARE_AGGREGATABLE(T)
    static const CLSID& WINAPI GetObjectCLSID() { return *pclsid; }
    static LPCSTR WINAPI GetObjectDescription() { return nullptr; }
};

} // namespace ATL
