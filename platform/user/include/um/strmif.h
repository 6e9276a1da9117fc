// DirectShow's records and interfaces: media types, pins, filters, the filter graph, allocators and
// samples, stream configuration, the system device enumerator with its monikers and property bags,
// and the capture graph builder. Methods are declared in the order the documentation lists them
// within each interface; every object here is made by this platform, so no foreign table layout is
// relied on.
#pragma once
#include "um/amvideo.h"
#include "um/oaidl.h"
#include "um/objbase.h"
#include "um/uuids.h"
#include "um/vfwmsgs.h"

#include <cstddef>

// A media type. The format block (cbFormat bytes at pbFormat) and pUnk belong to the record: they
// are freed with CoTaskMemFree and Release (FreeMediaType).
struct AM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat;
};
static_assert(sizeof(AM_MEDIA_TYPE) == 88 && offsetof(AM_MEDIA_TYPE, formattype) == 44 &&
              offsetof(AM_MEDIA_TYPE, pUnk) == 64 && offsetof(AM_MEDIA_TYPE, cbFormat) == 72 &&
              offsetof(AM_MEDIA_TYPE, pbFormat) == 80);

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };
enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
static_assert(sizeof(FILTER_STATE) == 4 && sizeof(PIN_DIRECTION) == 4);
using OAFilterState = LONG;

#define MAX_PIN_NAME 128
#define MAX_FILTER_NAME 128

struct IBaseFilter;
struct IFilterGraph;

// What a pin tells of itself: its filter (with a reference the caller releases), direction, name.
struct PIN_INFO {
    IBaseFilter* pFilter;
    PIN_DIRECTION dir;
    WCHAR achName[MAX_PIN_NAME];
};
static_assert(sizeof(PIN_INFO) == 8 + 4 + 2 * MAX_PIN_NAME + 4);

// What a filter tells of itself: its name in the graph and the graph (with a reference).
struct FILTER_INFO {
    WCHAR achName[MAX_FILTER_NAME];
    IFilterGraph* pGraph;
};
static_assert(sizeof(FILTER_INFO) == 2 * MAX_FILTER_NAME + 8);

// What an allocator holds: buffer count, size of each, alignment and prefix.
struct ALLOCATOR_PROPERTIES {
    LONG cBuffers;
    LONG cbBuffer;
    LONG cbAlign;
    LONG cbPrefix;
};
static_assert(sizeof(ALLOCATOR_PROPERTIES) == 16);

// A video capability of IAMStreamConfig: the kernel-streaming record under DirectShow's name, the
// sizes and rates of one media type a pin offers.
using VIDEO_STREAM_CONFIG_CAPS = KS_VIDEO_STREAM_CONFIG_CAPS;
static_assert(sizeof(VIDEO_STREAM_CONFIG_CAPS) == 128);

// An audio capability of IAMStreamConfig.
struct AUDIO_STREAM_CONFIG_CAPS {
    GUID guid;
    ULONG MinimumChannels;
    ULONG MaximumChannels;
    ULONG ChannelsGranularity;
    ULONG MinimumBitsPerSample;
    ULONG MaximumBitsPerSample;
    ULONG BitsPerSampleGranularity;
    ULONG MinimumSampleFrequency;
    ULONG MaximumSampleFrequency;
    ULONG SampleFrequencyGranularity;
};
static_assert(sizeof(AUDIO_STREAM_CONFIG_CAPS) == 52);

// IMemAllocator::GetBuffer flags and IMediaSample property bits.
#define AM_GBF_PREVFRAMESKIPPED 1
#define AM_GBF_NOTASYNCPOINT 2
#define AM_GBF_NOWAIT 4

// ICreateDevEnum::CreateClassEnumerator flags.
#define CDEF_DEVMON_FILTER 0x0004

// --- Persistence, property bags and monikers -------------------------------------------------------

struct IPersist : IUnknown {
    STDMETHOD(GetClassID)(CLSID* pClassID) PURE;

protected:
    ~IPersist() = default;
};
STANDIN_INTERFACE_IID(IPersist, 0x0000010C, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

struct EXCEPINFO;
struct IErrorLog : IUnknown {
    STDMETHOD(AddError)(LPCOLESTR pszPropName, EXCEPINFO* pExcepInfo) PURE;

protected:
    ~IErrorLog() = default;
};
STANDIN_INTERFACE_IID(IErrorLog, 0x3127CA40, 0x446E, 0x11CE, 0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51);

// Named values. Read: a VT_EMPTY variant takes the stored type; E_INVALIDARG when the name is absent.
struct IPropertyBag : IUnknown {
    STDMETHOD(Read)(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) PURE;
    STDMETHOD(Write)(LPCOLESTR pszPropName, VARIANT* pVar) PURE;

protected:
    ~IPropertyBag() = default;
};
STANDIN_INTERFACE_IID(IPropertyBag, 0x55272A00, 0x42CB, 0x11CE, 0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51);

// An object that loads itself from a property bag (how a device moniker prepares the filter it binds).
struct IPersistPropertyBag : IPersist {
    STDMETHOD(InitNew)() PURE;
    STDMETHOD(Load)(IPropertyBag* pPropBag, IErrorLog* pErrorLog) PURE;
    STDMETHOD(Save)(IPropertyBag* pPropBag, BOOL fClearDirty, BOOL fSaveAllProperties) PURE;

protected:
    ~IPersistPropertyBag() = default;
};
STANDIN_INTERFACE_IID(IPersistPropertyBag, 0x37D84F60, 0x42CB, 0x11CE, 0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8,
                      0x51);

// Bind contexts are accepted and ignored by the monikers here.
struct IBindCtx : IUnknown {
protected:
    ~IBindCtx() = default;
};
STANDIN_INTERFACE_IID(IBindCtx, 0x0000000E, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

// The moniker operations devices use: binding to the object and to its storage, the display name.
struct IMoniker : IPersist {
    STDMETHOD(BindToObject)(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult, void** ppvResult) PURE;
    STDMETHOD(BindToStorage)(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid, void** ppvObj) PURE;
    STDMETHOD(IsEqual)(IMoniker* pmkOtherMoniker) PURE;
    STDMETHOD(GetDisplayName)(IBindCtx* pbc, IMoniker* pmkToLeft, LPOLESTR* ppszDisplayName) PURE;

protected:
    ~IMoniker() = default;
};
STANDIN_INTERFACE_IID(IMoniker, 0x0000000F, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

struct IEnumMoniker : IUnknown {
    STDMETHOD(Next)(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) PURE;
    STDMETHOD(Skip)(ULONG celt) PURE;
    STDMETHOD(Reset)() PURE;
    STDMETHOD(Clone)(IEnumMoniker** ppenum) PURE;

protected:
    ~IEnumMoniker() = default;
};
STANDIN_INTERFACE_IID(IEnumMoniker, 0x00000102, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

struct ICreateDevEnum : IUnknown {
    // The devices and filters of a category; S_FALSE and *ppEnumMoniker NULL when it has none.
    STDMETHOD(CreateClassEnumerator)(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker, DWORD dwFlags) PURE;

protected:
    ~ICreateDevEnum() = default;
};
STANDIN_INTERFACE_IID(ICreateDevEnum, 0x29840822, 0x5B84, 0x11D0, 0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86);

// --- Clocks, filters and pins ----------------------------------------------------------------------

using HEVENT = DWORD_PTR;
using HSEMAPHORE = DWORD_PTR;

struct IReferenceClock : IUnknown {
    STDMETHOD(GetTime)(REFERENCE_TIME* pTime) PURE;
    STDMETHOD(AdviseTime)(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT hEvent,
                          DWORD_PTR* pdwAdviseCookie) PURE;
    STDMETHOD(AdvisePeriodic)(REFERENCE_TIME startTime, REFERENCE_TIME periodTime, HSEMAPHORE hSemaphore,
                              DWORD_PTR* pdwAdviseCookie) PURE;
    STDMETHOD(Unadvise)(DWORD_PTR dwAdviseCookie) PURE;

protected:
    ~IReferenceClock() = default;
};
STANDIN_INTERFACE_IID(IReferenceClock, 0x56A86897, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);

struct IMediaFilter : IPersist {
    STDMETHOD(Stop)() PURE;
    STDMETHOD(Pause)() PURE;
    STDMETHOD(Run)(REFERENCE_TIME tStart) PURE;
    STDMETHOD(GetState)(DWORD dwMilliSecsTimeout, FILTER_STATE* State) PURE;
    STDMETHOD(SetSyncSource)(IReferenceClock* pClock) PURE;
    STDMETHOD(GetSyncSource)(IReferenceClock** pClock) PURE;

protected:
    ~IMediaFilter() = default;
};
STANDIN_INTERFACE_IID(IMediaFilter, 0x56A86899, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);

struct IPin;
struct IEnumPins;
struct IEnumMediaTypes;

struct IBaseFilter : IMediaFilter {
    STDMETHOD(EnumPins)(IEnumPins** ppEnum) PURE;
    STDMETHOD(FindPin)(LPCWSTR Id, IPin** ppPin) PURE;
    STDMETHOD(QueryFilterInfo)(FILTER_INFO* pInfo) PURE;
    // The graph tells the filter it joined (pGraph, its name) or left (NULL). The filter keeps no
    // reference on the graph.
    STDMETHOD(JoinFilterGraph)(IFilterGraph* pGraph, LPCWSTR pName) PURE;
    STDMETHOD(QueryVendorInfo)(LPWSTR* pVendorInfo) PURE;

protected:
    ~IBaseFilter() = default;
};
STANDIN_INTERFACE_IID(IBaseFilter, 0x56A86895, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);

struct IPin : IUnknown {
    STDMETHOD(Connect)(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) PURE;
    STDMETHOD(ReceiveConnection)(IPin* pConnector, const AM_MEDIA_TYPE* pmt) PURE;
    STDMETHOD(Disconnect)() PURE;
    STDMETHOD(ConnectedTo)(IPin** pPin) PURE;
    STDMETHOD(ConnectionMediaType)(AM_MEDIA_TYPE* pmt) PURE;
    STDMETHOD(QueryPinInfo)(PIN_INFO* pInfo) PURE;
    STDMETHOD(QueryDirection)(PIN_DIRECTION* pPinDir) PURE;
    STDMETHOD(QueryId)(LPWSTR* Id) PURE;
    STDMETHOD(QueryAccept)(const AM_MEDIA_TYPE* pmt) PURE;
    STDMETHOD(EnumMediaTypes)(IEnumMediaTypes** ppEnum) PURE;
    STDMETHOD(QueryInternalConnections)(IPin** apPin, ULONG* nPin) PURE;
    STDMETHOD(EndOfStream)() PURE;
    STDMETHOD(BeginFlush)() PURE;
    STDMETHOD(EndFlush)() PURE;
    STDMETHOD(NewSegment)(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) PURE;

protected:
    ~IPin() = default;
};
STANDIN_INTERFACE_IID(IPin, 0x56A86891, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);

struct IEnumPins : IUnknown {
    STDMETHOD(Next)(ULONG cPins, IPin** ppPins, ULONG* pcFetched) PURE;
    STDMETHOD(Skip)(ULONG cPins) PURE;
    STDMETHOD(Reset)() PURE;
    STDMETHOD(Clone)(IEnumPins** ppEnum) PURE;

protected:
    ~IEnumPins() = default;
};
STANDIN_INTERFACE_IID(IEnumPins, 0x56A86892, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);

// Each type handed out is the caller's: DeleteMediaType frees it.
struct IEnumMediaTypes : IUnknown {
    STDMETHOD(Next)(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) PURE;
    STDMETHOD(Skip)(ULONG cMediaTypes) PURE;
    STDMETHOD(Reset)() PURE;
    STDMETHOD(Clone)(IEnumMediaTypes** ppEnum) PURE;

protected:
    ~IEnumMediaTypes() = default;
};
STANDIN_INTERFACE_IID(IEnumMediaTypes, 0x89C31040, 0x846B, 0x11CE, 0x97, 0xD3, 0x00, 0xAA, 0x00, 0x55, 0x59,
                      0x5A);

struct IEnumFilters : IUnknown {
    STDMETHOD(Next)(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) PURE;
    STDMETHOD(Skip)(ULONG cFilters) PURE;
    STDMETHOD(Reset)() PURE;
    STDMETHOD(Clone)(IEnumFilters** ppEnum) PURE;

protected:
    ~IEnumFilters() = default;
};
STANDIN_INTERFACE_IID(IEnumFilters, 0x56A86893, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);

struct IFilterGraph : IUnknown {
    STDMETHOD(AddFilter)(IBaseFilter* pFilter, LPCWSTR pName) PURE;
    STDMETHOD(RemoveFilter)(IBaseFilter* pFilter) PURE;
    STDMETHOD(EnumFilters)(IEnumFilters** ppEnum) PURE;
    STDMETHOD(FindFilterByName)(LPCWSTR pName, IBaseFilter** ppFilter) PURE;
    STDMETHOD(ConnectDirect)(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) PURE;
    STDMETHOD(Reconnect)(IPin* ppin) PURE;
    STDMETHOD(Disconnect)(IPin* ppin) PURE;
    STDMETHOD(SetDefaultSyncSource)() PURE;

protected:
    ~IFilterGraph() = default;
};
STANDIN_INTERFACE_IID(IFilterGraph, 0x56A8689F, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);

struct IGraphBuilder : IFilterGraph {
    STDMETHOD(Connect)(IPin* ppinOut, IPin* ppinIn) PURE;
    STDMETHOD(Render)(IPin* ppinOut) PURE;
    STDMETHOD(RenderFile)(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) PURE;
    STDMETHOD(AddSourceFilter)(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName, IBaseFilter** ppFilter) PURE;
    STDMETHOD(SetLogFile)(DWORD_PTR hFile) PURE;
    STDMETHOD(Abort)() PURE;
    STDMETHOD(ShouldOperationContinue)() PURE;

protected:
    ~IGraphBuilder() = default;
};
STANDIN_INTERFACE_IID(IGraphBuilder, 0x56A868A9, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);

// The graph's state control (an automation interface on Windows; called directly here).
struct IMediaControl : IUnknown {
    STDMETHOD(Run)() PURE;
    STDMETHOD(Pause)() PURE;
    STDMETHOD(Stop)() PURE;
    STDMETHOD(GetState)(LONG msTimeout, OAFilterState* pfs) PURE;
    STDMETHOD(StopWhenReady)() PURE;

protected:
    ~IMediaControl() = default;
};
STANDIN_INTERFACE_IID(IMediaControl, 0x56A868B1, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);

// --- Samples and allocators ------------------------------------------------------------------------

struct IMediaSample : IUnknown {
    STDMETHOD(GetPointer)(BYTE** ppBuffer) PURE;
    STDMETHOD_(LONG, GetSize)() PURE;
    STDMETHOD(GetTime)(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) PURE;
    STDMETHOD(SetTime)(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) PURE;
    STDMETHOD(IsSyncPoint)() PURE;
    STDMETHOD(SetSyncPoint)(BOOL bIsSyncPoint) PURE;
    STDMETHOD(IsPreroll)() PURE;
    STDMETHOD(SetPreroll)(BOOL bIsPreroll) PURE;
    STDMETHOD_(LONG, GetActualDataLength)() PURE;
    STDMETHOD(SetActualDataLength)(LONG length) PURE;
    STDMETHOD(GetMediaType)(AM_MEDIA_TYPE** ppMediaType) PURE;
    STDMETHOD(SetMediaType)(AM_MEDIA_TYPE* pMediaType) PURE;
    STDMETHOD(IsDiscontinuity)() PURE;
    STDMETHOD(SetDiscontinuity)(BOOL bDiscontinuity) PURE;
    STDMETHOD(GetMediaTime)(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) PURE;
    STDMETHOD(SetMediaTime)(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) PURE;

protected:
    ~IMediaSample() = default;
};
STANDIN_INTERFACE_IID(IMediaSample, 0x56A8689A, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);

struct IMemAllocator : IUnknown {
    STDMETHOD(SetProperties)(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) PURE;
    STDMETHOD(GetProperties)(ALLOCATOR_PROPERTIES* pProps) PURE;
    STDMETHOD(Commit)() PURE;
    STDMETHOD(Decommit)() PURE;
    STDMETHOD(GetBuffer)(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime, REFERENCE_TIME* pEndTime,
                         DWORD dwFlags) PURE;
    STDMETHOD(ReleaseBuffer)(IMediaSample* pBuffer) PURE;

protected:
    ~IMemAllocator() = default;
};
STANDIN_INTERFACE_IID(IMemAllocator, 0x56A8689C, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);

struct IMemInputPin : IUnknown {
    STDMETHOD(GetAllocator)(IMemAllocator** ppAllocator) PURE;
    STDMETHOD(NotifyAllocator)(IMemAllocator* pAllocator, BOOL bReadOnly) PURE;
    STDMETHOD(GetAllocatorRequirements)(ALLOCATOR_PROPERTIES* pProps) PURE;
    STDMETHOD(Receive)(IMediaSample* pSample) PURE;
    STDMETHOD(ReceiveMultiple)(IMediaSample** pSamples, LONG nSamples, LONG* nSamplesProcessed) PURE;
    STDMETHOD(ReceiveCanBlock)() PURE;

protected:
    ~IMemInputPin() = default;
};
STANDIN_INTERFACE_IID(IMemInputPin, 0x56A8689D, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);

// --- Stream configuration, pin properties, capture graphs ------------------------------------------

struct IAMStreamConfig : IUnknown {
    STDMETHOD(SetFormat)(AM_MEDIA_TYPE* pmt) PURE;
    STDMETHOD(GetFormat)(AM_MEDIA_TYPE** ppmt) PURE;
    STDMETHOD(GetNumberOfCapabilities)(int* piCount, int* piSize) PURE;
    STDMETHOD(GetStreamCaps)(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) PURE;

protected:
    ~IAMStreamConfig() = default;
};
STANDIN_INTERFACE_IID(IAMStreamConfig, 0xC6E13340, 0x30AC, 0x11D0, 0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56);

#define KSPROPERTY_SUPPORT_GET 1
#define KSPROPERTY_SUPPORT_SET 2

// Properties of a pin or filter; a pin tells its category as AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY.
struct IKsPropertySet : IUnknown {
    STDMETHOD(Set)(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                   LPVOID pPropData, DWORD cbPropData) PURE;
    STDMETHOD(Get)(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                   LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) PURE;
    STDMETHOD(QuerySupported)(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) PURE;

protected:
    ~IKsPropertySet() = default;
};
STANDIN_INTERFACE_IID(IKsPropertySet, 0x31EFAC30, 0x515C, 0x11D0, 0xA9, 0xAA, 0x00, 0xAA, 0x00, 0x61, 0xBE, 0x93);

struct ICaptureGraphBuilder2 : IUnknown {
    STDMETHOD(SetFiltergraph)(IGraphBuilder* pfg) PURE;
    STDMETHOD(GetFiltergraph)(IGraphBuilder** ppfg) PURE;
    STDMETHOD(FindInterface)(const GUID* pCategory, const GUID* pType, IBaseFilter* pf, REFIID riid,
                             void** ppint) PURE;
    STDMETHOD(RenderStream)(const GUID* pCategory, const GUID* pType, IUnknown* pSource,
                            IBaseFilter* pfCompressor, IBaseFilter* pfRenderer) PURE;
    STDMETHOD(FindPin)(IUnknown* pSource, PIN_DIRECTION pindir, const GUID* pCategory, const GUID* pType,
                       BOOL fUnconnected, int num, IPin** ppPin) PURE;

protected:
    ~ICaptureGraphBuilder2() = default;
};
STANDIN_INTERFACE_IID(ICaptureGraphBuilder2, 0x93E5A4E0, 0x2D50, 0x11D2, 0xAB, 0xFA, 0x00, 0xA0, 0xC9, 0xC6, 0xE3,
                      0x8D);

// --- Media-type helpers ----------------------------------------------------------------------------

// Frees the format block (CoTaskMemFree) and releases pUnk; the record itself stays.
void WINAPI FreeMediaType(AM_MEDIA_TYPE& mt);
// FreeMediaType, then CoTaskMemFree of the record; NULL does nothing.
void WINAPI DeleteMediaType(AM_MEDIA_TYPE* pmt);
// A copy of *pSrc with a format block of its own (CoTaskMemAlloc); E_OUTOFMEMORY leaves *pmtTarget
// without a format block.
HRESULT WINAPI CopyMediaType(AM_MEDIA_TYPE* pmtTarget, const AM_MEDIA_TYPE* pmtSource);
// A new record from CoTaskMemAlloc holding a copy of *pSrc; NULL when memory runs out.
AM_MEDIA_TYPE* WINAPI CreateMediaType(const AM_MEDIA_TYPE* pSrc);
