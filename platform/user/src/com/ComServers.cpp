// CoGetClassObject, CoCreateInstance and CoFreeUnusedLibraries: the stand-in's system classes,
// then the in-process servers that HKEY_CLASSES_ROOT names, each loaded once and kept until
// CoFreeUnusedLibraries finds it idle or the last CoUninitialize frees it. Nothing marshals: a class
// whose ThreadingModel does not admit the caller's apartment is refused with a breach.
#include "com/Apartments.h"
#include "com/GuidText.h"
#include "standin/com.h"
#include "standin/verifier.h"
#include "text/AnsiText.h"
#include "text/AsciiCase.h"
#include "um/combaseapi.h"
#include "um/errhandlingapi.h"
#include "um/libloaderapi.h"
#include "um/winreg.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof a) < 0; }
};

struct Server {
    std::u16string path;
    HMODULE module = nullptr;
    LPFNGETCLASSOBJECT getClassObject = nullptr;
    LPFNCANUNLOADNOW canUnloadNow = nullptr;
};

// Held while a server is looked up, loaded, asked for a class object or freed.
std::recursive_mutex& ServerLock()
{
    static auto* lock = new std::recursive_mutex;
    return *lock;
}
std::vector<Server>& Servers()
{
    static auto* servers = new std::vector<Server>;
    return *servers;
}
std::map<GUID, standin::SystemClassObject, GuidLess>& SystemClasses()
{
    static auto* classes = new std::map<GUID, standin::SystemClassObject, GuidLess>;
    return *classes;
}

// A REG_SZ value of an open key; false when it is missing or not text.
bool ReadText(HKEY key, LPCWSTR name, std::u16string* text)
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    std::u16string data(size / sizeof(WCHAR) + 1, u'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(data.data()), &size) !=
        ERROR_SUCCESS)
        return false;
    data.resize(size / sizeof(WCHAR));
    while (!data.empty() && data.back() == u'\0')
        data.pop_back();
    *text = data;
    return true;
}

// Whether a class of this ThreadingModel may be made in the caller's apartment without a proxy.
bool ApartmentAdmits(const std::u16string* model, const user::CallerApartment& caller)
{
    if (model && (user::SameTextIgnoringAsciiCase(*model, u"Both") ||
                  user::SameTextIgnoringAsciiCase(*model, u"Free") ||
                  user::SameTextIgnoringAsciiCase(*model, u"Neutral")))
        return true;
    if (model && user::SameTextIgnoringAsciiCase(*model, u"Apartment"))
        return caller.kind == user::Apartment::SingleThreaded;
    // No model (or one COM does not know): the process's first single-threaded apartment only.
    return caller.mainSta;
}

Server* LoadedServer(const std::u16string& path)
{
    for (Server& server : Servers())
        if (user::SameTextIgnoringAsciiCase(server.path, path))
            return &server;
    return nullptr;
}

HRESULT ServerFor(const std::u16string& path, Server** found)
{
    if ((*found = LoadedServer(path)))
        return S_OK;
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module)
        return HRESULT_FROM_WIN32(GetLastError());
    Server server;
    server.path = path;
    server.module = module;
    server.getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(GetProcAddress(module, "DllGetClassObject"));
    server.canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(GetProcAddress(module, "DllCanUnloadNow"));
    if (!server.getClassObject) {
        FreeLibrary(module);
        return CO_E_ERRORINDLL;
    }
    Servers().push_back(server);
    *found = &Servers().back();
    return S_OK;
}

HRESULT RegisteredClassObject(REFCLSID rclsid, const user::CallerApartment& caller, REFIID riid, LPVOID* ppv)
{
    const std::u16string serverKey = u"CLSID\\" + user::GuidText(rclsid) + u"\\InprocServer32";
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, serverKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return REGDB_E_CLASSNOTREG;
    std::u16string path;
    std::u16string model;
    const bool hasPath = ReadText(key, nullptr, &path) && !path.empty();
    const bool hasModel = ReadText(key, u"ThreadingModel", &model);
    RegCloseKey(key);
    if (!hasPath)
        return REGDB_E_CLASSNOTREG;
    if (!ApartmentAdmits(hasModel ? &model : nullptr, caller)) {
        standin::VerifierReport(
            "com-apartment",
            "class " + user::AnsiFromWide(user::GuidText(rclsid)) + " with ThreadingModel \"" +
                (hasModel ? user::AnsiFromWide(model) : std::string("(none)")) + "\" asked for from " +
                (caller.kind == user::Apartment::SingleThreaded
                     ? "a single-threaded apartment that is not the first"
                     : "the multithreaded apartment") +
                ": it would need a proxy, and nothing marshals");
        return CO_E_NOT_SUPPORTED;
    }
    Server* server = nullptr;
    if (const HRESULT loaded = ServerFor(path, &server); FAILED(loaded))
        return loaded;
    return server->getClassObject(rclsid, riid, ppv);
}

} // namespace

namespace standin {

void RegisterSystemClass(REFCLSID rclsid, SystemClassObject classObject)
{
    std::lock_guard<std::recursive_mutex> hold(ServerLock());
    SystemClasses()[rclsid] = std::move(classObject);
}

void UnregisterSystemClass(REFCLSID rclsid)
{
    std::lock_guard<std::recursive_mutex> hold(ServerLock());
    SystemClasses().erase(rclsid);
}

} // namespace standin

namespace user {

void FreeAllServers()
{
    std::lock_guard<std::recursive_mutex> hold(ServerLock());
    std::vector<Server> servers;
    servers.swap(Servers());
    for (const Server& server : servers)
        FreeLibrary(server.module);
}

} // namespace user

extern "C" HRESULT STDAPICALLTYPE CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid,
                                                   LPVOID* ppv)
{
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    const user::CallerApartment caller = user::CurrentApartment();
    if (caller.kind == user::Apartment::None)
        return CO_E_NOTINITIALIZED;
    std::lock_guard<std::recursive_mutex> hold(ServerLock());
    const auto system = SystemClasses().find(rclsid);
    if (system != SystemClasses().end()) {
        // Copied: the class object may register or unregister classes itself.
        const standin::SystemClassObject classObject = system->second;
        return classObject(riid, ppv);
    }
    if (!(dwClsContext & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    return RegisteredClassObject(rclsid, caller, riid, ppv);
}

extern "C" HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                                   REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter && riid != IID_IUnknown)
        return CLASS_E_NOAGGREGATION;
    IClassFactory* factory = nullptr;
    const HRESULT found = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                           reinterpret_cast<void**>(&factory));
    if (FAILED(found))
        return found;
    const HRESULT created = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    if (FAILED(created))
        *ppv = nullptr;
    return created;
}

extern "C" void STDAPICALLTYPE CoFreeUnusedLibraries()
{
    std::lock_guard<std::recursive_mutex> hold(ServerLock());
    auto& servers = Servers();
    for (size_t i = 0; i < servers.size();) {
        if (servers[i].canUnloadNow && servers[i].canUnloadNow() == S_OK) {
            const HMODULE module = servers[i].module;
            servers.erase(servers.begin() + static_cast<std::ptrdiff_t>(i));
            FreeLibrary(module);
            continue;
        }
        ++i;
    }
}
