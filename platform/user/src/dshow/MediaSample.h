// A sample of a MemAllocator: its buffer, the length of valid data, times, flags and an optional
// media type. Its reference count starts at one when GetBuffer hands it out; the last release gives
// it back to the allocator.
#pragma once
#include "dshow/ComObject.h"

#include <atomic>
#include <vector>

namespace dshow {

class MemAllocator;

class MediaSample final : public IMediaSample {
public:
    MediaSample(MemAllocator* allocator, LONG size, LONG prefix);
    ~MediaSample();
    MediaSample(const MediaSample&) = delete;
    MediaSample& operator=(const MediaSample&) = delete;

    // Back to a fresh state with one reference, as GetBuffer hands it out.
    void Prepare();

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetPointer(BYTE** ppBuffer) override;
    STDMETHODIMP_(LONG) GetSize() override;
    STDMETHODIMP GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
    STDMETHODIMP SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
    STDMETHODIMP IsSyncPoint() override;
    STDMETHODIMP SetSyncPoint(BOOL bIsSyncPoint) override;
    STDMETHODIMP IsPreroll() override;
    STDMETHODIMP SetPreroll(BOOL bIsPreroll) override;
    STDMETHODIMP_(LONG) GetActualDataLength() override;
    STDMETHODIMP SetActualDataLength(LONG length) override;
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** ppMediaType) override;
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE* pMediaType) override;
    STDMETHODIMP IsDiscontinuity() override;
    STDMETHODIMP SetDiscontinuity(BOOL bDiscontinuity) override;
    STDMETHODIMP GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;
    STDMETHODIMP SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;

private:
    MemAllocator* const allocator_;
    std::vector<BYTE> memory_;
    const LONG size_;
    const LONG prefix_;
    std::atomic<ULONG> references_{0};
    LONG actual_ = 0;
    bool hasStart_ = false, hasStop_ = false, hasMediaTime_ = false;
    REFERENCE_TIME start_ = 0, stop_ = 0;
    LONGLONG mediaStart_ = 0, mediaStop_ = 0;
    bool syncPoint_ = false, preroll_ = false, discontinuity_ = false;
    AM_MEDIA_TYPE* type_ = nullptr;
};

} // namespace dshow
