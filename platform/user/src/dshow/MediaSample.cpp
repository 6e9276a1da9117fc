// Samples of the platform's allocators.
#include "dshow/MediaSample.h"

#include "dshow/MemAllocator.h"

namespace dshow {

MediaSample::MediaSample(MemAllocator* allocator, LONG size, LONG prefix)
    : allocator_(allocator), memory_(size_t(size) + size_t(prefix)), size_(size), prefix_(prefix)
{
}

MediaSample::~MediaSample()
{
    DeleteMediaType(type_);
}

void MediaSample::Prepare()
{
    references_ = 1;
    actual_ = 0;
    hasStart_ = hasStop_ = hasMediaTime_ = false;
    syncPoint_ = preroll_ = discontinuity_ = false;
    DeleteMediaType(type_);
    type_ = nullptr;
}

STDMETHODIMP MediaSample::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMediaSample)
        return Give<IMediaSample>(this, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) MediaSample::AddRef()
{
    return ++references_;
}

STDMETHODIMP_(ULONG) MediaSample::Release()
{
    const ULONG left = --references_;
    if (left == 0)
        allocator_->ReleaseBuffer(this);
    return left;
}

STDMETHODIMP MediaSample::GetPointer(BYTE** ppBuffer)
{
    if (!ppBuffer)
        return E_POINTER;
    *ppBuffer = memory_.data() + prefix_;
    return S_OK;
}

STDMETHODIMP_(LONG) MediaSample::GetSize()
{
    return size_;
}

STDMETHODIMP MediaSample::GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd)
{
    if (!pTimeStart || !pTimeEnd)
        return E_POINTER;
    if (!hasStart_)
        return VFW_E_SAMPLE_TIME_NOT_SET;
    *pTimeStart = start_;
    if (!hasStop_) {
        *pTimeEnd = start_ + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *pTimeEnd = stop_;
    return S_OK;
}

STDMETHODIMP MediaSample::SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd)
{
    hasStart_ = pTimeStart != nullptr;
    hasStop_ = hasStart_ && pTimeEnd != nullptr;
    if (hasStart_)
        start_ = *pTimeStart;
    if (hasStop_)
        stop_ = *pTimeEnd;
    return S_OK;
}

STDMETHODIMP MediaSample::IsSyncPoint()
{
    return syncPoint_ ? S_OK : S_FALSE;
}

STDMETHODIMP MediaSample::SetSyncPoint(BOOL bIsSyncPoint)
{
    syncPoint_ = bIsSyncPoint != FALSE;
    return S_OK;
}

STDMETHODIMP MediaSample::IsPreroll()
{
    return preroll_ ? S_OK : S_FALSE;
}

STDMETHODIMP MediaSample::SetPreroll(BOOL bIsPreroll)
{
    preroll_ = bIsPreroll != FALSE;
    return S_OK;
}

STDMETHODIMP_(LONG) MediaSample::GetActualDataLength()
{
    return actual_;
}

STDMETHODIMP MediaSample::SetActualDataLength(LONG length)
{
    if (length < 0 || length > size_)
        return VFW_E_BUFFER_OVERFLOW;
    actual_ = length;
    return S_OK;
}

STDMETHODIMP MediaSample::GetMediaType(AM_MEDIA_TYPE** ppMediaType)
{
    if (!ppMediaType)
        return E_POINTER;
    *ppMediaType = nullptr;
    if (!type_)
        return S_FALSE;
    *ppMediaType = CreateMediaType(type_);
    return *ppMediaType ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP MediaSample::SetMediaType(AM_MEDIA_TYPE* pMediaType)
{
    AM_MEDIA_TYPE* copy = nullptr;
    if (pMediaType) {
        copy = CreateMediaType(pMediaType);
        if (!copy)
            return E_OUTOFMEMORY;
    }
    DeleteMediaType(type_);
    type_ = copy;
    return S_OK;
}

STDMETHODIMP MediaSample::IsDiscontinuity()
{
    return discontinuity_ ? S_OK : S_FALSE;
}

STDMETHODIMP MediaSample::SetDiscontinuity(BOOL bDiscontinuity)
{
    discontinuity_ = bDiscontinuity != FALSE;
    return S_OK;
}

STDMETHODIMP MediaSample::GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd)
{
    if (!pTimeStart || !pTimeEnd)
        return E_POINTER;
    if (!hasMediaTime_)
        return VFW_E_MEDIA_TIME_NOT_SET;
    *pTimeStart = mediaStart_;
    *pTimeEnd = mediaStop_;
    return S_OK;
}

STDMETHODIMP MediaSample::SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd)
{
    hasMediaTime_ = pTimeStart && pTimeEnd;
    if (hasMediaTime_) {
        mediaStart_ = *pTimeStart;
        mediaStop_ = *pTimeEnd;
    }
    return S_OK;
}

} // namespace dshow
