// The system reference clock.
#include "dshow/SystemClock.h"

#include "platform/Clock.h"
#include "um/synchapi.h"

namespace dshow {

HRESULT SystemClock::Create(REFIID riid, void** ppv)
{
    auto* clock = new (std::nothrow) SystemClock;
    if (!clock)
        return E_OUTOFMEMORY;
    return Hand(clock, riid, ppv);
}

SystemClock::~SystemClock()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        ending_ = true;
    }
    changed_.notify_all();
    if (server_.joinable())
        server_.join();
}

STDMETHODIMP SystemClock::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IReferenceClock)
        return Give<IReferenceClock>(this, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP SystemClock::GetTime(REFERENCE_TIME* pTime)
{
    if (!pTime)
        return E_POINTER;
    const REFERENCE_TIME now = platform::Clock::Now();
    std::lock_guard<std::mutex> hold(lock_);
    *pTime = now;
    const bool same = now == last_;
    last_ = now;
    return same ? S_FALSE : S_OK;
}

STDMETHODIMP SystemClock::AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT hEvent,
                                     DWORD_PTR* pdwAdviseCookie)
{
    if (!pdwAdviseCookie)
        return E_POINTER;
    if (!hEvent || baseTime < 0 || streamTime < 0)
        return E_INVALIDARG;
    {
        std::lock_guard<std::mutex> hold(lock_);
        *pdwAdviseCookie = nextCookie_;
        advice_[nextCookie_++] = {baseTime + streamTime, reinterpret_cast<HANDLE>(hEvent)};
        ++generation_;
        if (!server_.joinable())
            server_ = std::thread([this] { Serve(); });
    }
    changed_.notify_all();
    return S_OK;
}

STDMETHODIMP SystemClock::AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE, DWORD_PTR* pdwAdviseCookie)
{
    if (pdwAdviseCookie)
        *pdwAdviseCookie = 0;
    return E_NOTIMPL;
}

STDMETHODIMP SystemClock::Unadvise(DWORD_PTR dwAdviseCookie)
{
    std::lock_guard<std::mutex> hold(lock_);
    ++generation_;
    return advice_.erase(dwAdviseCookie) ? S_OK : S_FALSE;
}

void SystemClock::Serve()
{
    std::unique_lock<std::mutex> hold(lock_);
    while (!ending_) {
        REFERENCE_TIME next = platform::Clock::kForever;
        for (const auto& [cookie, advice] : advice_)
            next = std::min(next, advice.first);
        const unsigned seen = generation_;
        platform::Clock::WaitUntil(hold, changed_, next, [&] { return ending_ || generation_ != seen; });
        const REFERENCE_TIME now = platform::Clock::Now();
        for (auto it = advice_.begin(); it != advice_.end();) {
            if (it->second.first <= now) {
                SetEvent(it->second.second);
                it = advice_.erase(it);
            } else {
                ++it;
            }
        }
    }
}

} // namespace dshow
