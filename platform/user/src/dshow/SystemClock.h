// The graph's reference clock: the machine's clock in 100-ns units. AdviseTime signals an event once
// the clock reaches base + stream time, from a thread of the clock's that waits on the machine's
// clock (so a test that moves the machine's time moves the advice with it).
#pragma once
#include "dshow/ComObject.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace dshow {

class SystemClock final : public IReferenceClock, ComObject {
public:
    static HRESULT Create(REFIID riid, void** ppv);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    DSHOW_REFERENCE_COUNT
    // S_FALSE when the time has not moved since the last call.
    STDMETHODIMP GetTime(REFERENCE_TIME* pTime) override;
    STDMETHODIMP AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT hEvent,
                            DWORD_PTR* pdwAdviseCookie) override;
    // Semaphores do not exist on this platform: E_NOTIMPL.
    STDMETHODIMP AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime, HSEMAPHORE hSemaphore,
                                DWORD_PTR* pdwAdviseCookie) override;
    STDMETHODIMP Unadvise(DWORD_PTR dwAdviseCookie) override;

private:
    SystemClock() = default;
    ~SystemClock() override;
    void Serve();

    std::mutex lock_;
    std::condition_variable_any changed_;
    std::map<DWORD_PTR, std::pair<REFERENCE_TIME, HANDLE>> advice_;
    DWORD_PTR nextCookie_ = 1;
    unsigned generation_ = 0;
    REFERENCE_TIME last_ = -1;
    bool ending_ = false;
    std::thread server_;
};

} // namespace dshow
