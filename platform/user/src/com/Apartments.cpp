// CoInitialize, CoInitializeEx and CoUninitialize: each thread's apartment and how often it entered
// it. An STA's message pump is its thread's message queue; nothing here marshals, so no apartment
// needs one for COM's own sake.
#include "com/Apartments.h"
#include "um/combaseapi.h"
#include "um/processthreadsapi.h"

#include <mutex>

namespace {

struct ThreadApartment {
    user::Apartment kind = user::Apartment::None;
    unsigned entries = 0;
};
thread_local ThreadApartment t_apartment;

std::mutex g_lock;
unsigned g_mtaThreads = 0;
unsigned g_threadsInApartments = 0;
DWORD g_mainStaThread = 0;

} // namespace

namespace user {

CallerApartment CurrentApartment()
{
    CallerApartment caller;
    std::lock_guard<std::mutex> hold(g_lock);
    if (t_apartment.kind == Apartment::SingleThreaded) {
        caller.kind = Apartment::SingleThreaded;
        caller.mainSta = g_mainStaThread == GetCurrentThreadId();
    } else if (t_apartment.kind == Apartment::MultiThreaded || g_mtaThreads > 0) {
        caller.kind = Apartment::MultiThreaded;
    }
    return caller;
}

} // namespace user

extern "C" HRESULT STDAPICALLTYPE CoInitializeEx(LPVOID, DWORD dwCoInit)
{
    const DWORD known = COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY;
    if (dwCoInit & ~known)
        return E_INVALIDARG;
    const user::Apartment kind = (dwCoInit & COINIT_APARTMENTTHREADED) ? user::Apartment::SingleThreaded
                                                                       : user::Apartment::MultiThreaded;
    std::lock_guard<std::mutex> hold(g_lock);
    if (t_apartment.kind != user::Apartment::None) {
        if (t_apartment.kind != kind)
            return RPC_E_CHANGED_MODE;
        ++t_apartment.entries;
        return S_FALSE;
    }
    t_apartment.kind = kind;
    t_apartment.entries = 1;
    ++g_threadsInApartments;
    if (kind == user::Apartment::MultiThreaded)
        ++g_mtaThreads;
    else if (!g_mainStaThread)
        g_mainStaThread = GetCurrentThreadId();
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE CoInitialize(LPVOID pvReserved)
{
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

extern "C" void STDAPICALLTYPE CoUninitialize()
{
    bool lastOfProcess = false;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (t_apartment.kind == user::Apartment::None || --t_apartment.entries > 0)
            return;
        if (t_apartment.kind == user::Apartment::MultiThreaded)
            --g_mtaThreads;
        else if (g_mainStaThread == GetCurrentThreadId())
            g_mainStaThread = 0;
        t_apartment.kind = user::Apartment::None;
        lastOfProcess = --g_threadsInApartments == 0;
    }
    if (lastOfProcess)
        user::FreeAllServers();
}
