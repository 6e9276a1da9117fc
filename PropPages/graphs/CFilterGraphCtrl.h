// CFilterGraphCtrl: the small DirectShow graph behind a preview control. For video: the board's
// crossbar, its capture filter (both found by friendly name), a sample grabber "Video Sample
// Grabber" and a "NULL Renderer"; for audio (no crossbar name): the audio capture filter, an
// "Audio Sample Grabber" and the renderer. The grabber's callback (CVideoSampleCB or
// CAudioSampleCB) copies each sample into this control's frame buffer under the control's lock on
// the streaming thread and posts WM_VIDEO_SAMPLE or WM_AUDIO_SAMPLE to the parent of the control
// window; the window thread reads the buffer under the same lock.
//
// The capture filter's kernel-streaming handle is this control's property handle; it stays valid
// across teardowns, so property requests keep working while no graph exists.
#pragma once
#include "transport/CPropertyGetSetCtrl.h"

#include "um/dshow.h"
#include "um/ksproxy.h"
#include "um/qedit.h"
#include "um/windows.h"

#include <string>

inline constexpr UINT WM_VIDEO_SAMPLE = 0x403;
inline constexpr UINT WM_AUDIO_SAMPLE = 0x404;

class CVideoSampleCB;
class CAudioSampleCB;

class CFilterGraphCtrl : public CPropertyGetSetCtrl {
public:
    CFilterGraphCtrl();
    ~CFilterGraphCtrl();
    CFilterGraphCtrl(const CFilterGraphCtrl&) = delete;
    CFilterGraphCtrl& operator=(const CFilterGraphCtrl&) = delete;

    // The names the driver gives a board's filters: "<prefix>Video Device <n>",
    // "<prefix>Crossbar Device <n>" and "<prefix>Audio Device <n>" (kind "Video", "Crossbar",
    // "Audio").
    static std::u16string DeviceFilterName(const char16_t* prefix, int deviceNumber, const char16_t* kind);

    void SelectCaptureDevice(const char16_t* captureName, const char16_t* crossbarName);
    HRESULT FindCaptureFilterByName(IBaseFilter** filter, const char16_t* name);
    HRESULT FindCrossbarFilterByName(IBaseFilter** filter, const char16_t* name);
    HRESULT BuildCaptureGraph();
    bool StartCaptureGraph();
    int StopGraphAndWait();
    int TeardownFilterGraph();
    static IPin* GetPin(IBaseFilter* filter, int index, PIN_DIRECTION direction);
    static IPin* GetInputPin(IBaseFilter* filter, int index) { return GetPin(filter, index, PINDIR_INPUT); }
    static IPin* GetOutputPin(IBaseFilter* filter, int index) { return GetPin(filter, index, PINDIR_OUTPUT); }
    HRESULT ConnectFilters(IBaseFilter* upstream, IBaseFilter* downstream, int outputIndex, int inputIndex);

    // The fields, in their order.
    RECT m_rcVideo{};
    BYTE* m_pFrame = nullptr;
    ULONG m_cbFrame = 0;
    ULONG m_outputPin = 0;
    std::u16string m_captureName;
    std::u16string m_crossbarName;
    IMediaControl* m_pControl = nullptr;
    IGraphBuilder* m_pGraph = nullptr;
    ICaptureGraphBuilder2* m_pBuilder = nullptr;
    IBaseFilter* m_pGrabberFilter = nullptr;
    ISampleGrabber* m_pGrabber = nullptr;
    CVideoSampleCB* m_pVideoCB = nullptr;
    CAudioSampleCB* m_pAudioCB = nullptr;
    IKsObject* m_pKsObject = nullptr;
    IKsControl* m_pKsControl = nullptr;
    IBaseFilter* m_pNullRenderer = nullptr;
    IBaseFilter* m_pCapture = nullptr;
    IBaseFilter* m_pCrossbar = nullptr;
    AM_MEDIA_TYPE* m_pMediaType = nullptr;
    BITMAPINFOHEADER m_offered{};
    HWND m_hWndControl = nullptr;
    ULONG m_wantedCompression = 0;
    ULONG m_wantedBitCount = 32;
    ULONG m_wantedAudioBits = 16;
    ULONG m_wantedAudioRate = 48000;
    CRITICAL_SECTION m_lock;

private:
    HRESULT FindFilterByName(const GUID& category, IBaseFilter** filter, const char16_t* name);
    void TakeKsInterfaces();
    void ChooseVideoFormat(IAMStreamConfig* config);
    void ChooseAudioFormat(IAMStreamConfig* config);
    HRESULT AddGrabberAndRenderer(const char16_t* grabberName);
};
