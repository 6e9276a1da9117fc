// The allocator of a connection: a fixed set of samples of one size, handed out by GetBuffer and
// taken back at each sample's last release. Decommit wakes every waiting GetBuffer; the buffers are
// freed once every sample is back.
#pragma once
#include "dshow/ComObject.h"

#include <condition_variable>
#include <mutex>
#include <vector>

namespace dshow {

class MediaSample;

class MemAllocator final : public IMemAllocator, ComObject {
public:
    static HRESULT Create(IMemAllocator** allocator);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    DSHOW_REFERENCE_COUNT
    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) override;
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* pProps) override;
    STDMETHODIMP Commit() override;
    STDMETHODIMP Decommit() override;
    STDMETHODIMP GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime, REFERENCE_TIME* pEndTime,
                           DWORD dwFlags) override;
    STDMETHODIMP ReleaseBuffer(IMediaSample* pBuffer) override;

private:
    ~MemAllocator() override;
    void FreeSamplesLocked();

    std::mutex lock_;
    std::condition_variable returned_;
    ALLOCATOR_PROPERTIES properties_{};
    bool propertiesSet_ = false;
    bool committed_ = false;
    std::vector<MediaSample*> samples_;
    std::vector<MediaSample*> free_;
};

} // namespace dshow
