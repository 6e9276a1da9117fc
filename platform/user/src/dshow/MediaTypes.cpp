// Media-type helpers: format blocks and records live in COM's task memory, so a caller that forgets to
// free one shows in the task-memory leak check.
#include "um/strmif.h"

#include <cstring>

void WINAPI FreeMediaType(AM_MEDIA_TYPE& mt)
{
    if (mt.cbFormat != 0 || mt.pbFormat) {
        CoTaskMemFree(mt.pbFormat);
        mt.cbFormat = 0;
        mt.pbFormat = nullptr;
    }
    if (mt.pUnk) {
        mt.pUnk->Release();
        mt.pUnk = nullptr;
    }
}

void WINAPI DeleteMediaType(AM_MEDIA_TYPE* pmt)
{
    if (!pmt)
        return;
    FreeMediaType(*pmt);
    CoTaskMemFree(pmt);
}

HRESULT WINAPI CopyMediaType(AM_MEDIA_TYPE* pmtTarget, const AM_MEDIA_TYPE* pmtSource)
{
    if (!pmtTarget || !pmtSource)
        return E_POINTER;
    *pmtTarget = *pmtSource;
    if (pmtSource->cbFormat != 0) {
        pmtTarget->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(pmtSource->cbFormat));
        if (!pmtTarget->pbFormat) {
            pmtTarget->cbFormat = 0;
            pmtTarget->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        if (pmtSource->pbFormat)
            std::memcpy(pmtTarget->pbFormat, pmtSource->pbFormat, pmtSource->cbFormat);
        else
            std::memset(pmtTarget->pbFormat, 0, pmtSource->cbFormat);
    } else {
        pmtTarget->pbFormat = nullptr;
    }
    if (pmtTarget->pUnk)
        pmtTarget->pUnk->AddRef();
    return S_OK;
}

AM_MEDIA_TYPE* WINAPI CreateMediaType(const AM_MEDIA_TYPE* pSrc)
{
    auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!copy)
        return nullptr;
    if (!pSrc) {
        std::memset(copy, 0, sizeof *copy);
        return copy;
    }
    if (FAILED(CopyMediaType(copy, pSrc))) {
        CoTaskMemFree(copy);
        return nullptr;
    }
    return copy;
}
