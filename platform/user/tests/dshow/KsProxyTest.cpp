// The kernel-streaming proxy over the test minidriver: binding from a moniker, the pins of the pin
// factories and of a filter without kernel-streaming pins, stream capabilities and formats, medium
// connections, property and event requests through IKsControl with the request log.
#include <gtest/gtest.h>

#include <cstring>

#include "KsProxyFixture.h"
#include "ksproxy/KsMediaTypes.h"
#include "ksproxy/KsPinFactory.h"
#include "um/ocidl.h"
#include "um/windows.h"

using dshowtest::KsProxyTest;

namespace {

std::u16string PinName(IPin* pin)
{
    PIN_INFO info{};
    pin->QueryPinInfo(&info);
    if (info.pFilter)
        info.pFilter->Release();
    return info.achName;
}

PIN_DIRECTION Direction(IPin* pin)
{
    PIN_DIRECTION direction = PINDIR_INPUT;
    pin->QueryDirection(&direction);
    return direction;
}

template <typename I> I* As(IUnknown* object, REFIID iid)
{
    I* wanted = nullptr;
    object->QueryInterface(iid, reinterpret_cast<void**>(&wanted));
    return wanted;
}

} // namespace

TEST_F(KsProxyTest, AMonikerBindsAProxyWhoseHandleAnswersAndWhosePinsFollowThePinFactories)
{
    IBaseFilter* filter = Bind(AM_KSCATEGORY_CAPTURE, kstest::kProxyCaptureName);
    ASSERT_NE(filter, nullptr);
    IKsObject* object = As<IKsObject>(filter, IID_IKsObject);
    ASSERT_NE(object, nullptr);
    HANDLE handle = object->KsGetObjectHandle();
    KSPROPERTY count{KSPROPSETID_Pin, KSPROPERTY_PIN_CTYPES, KSPROPERTY_TYPE_GET};
    ULONG types = 0;
    DWORD bytes = 0;
    ASSERT_TRUE(DeviceIoControl(handle, IOCTL_KS_PROPERTY, &count, sizeof count, &types, sizeof types, &bytes,
                                nullptr));
    EXPECT_EQ(types, 3u);
    // The same through IKsControl, and a refused request with its status as an HRESULT.
    IKsControl* control = As<IKsControl>(filter, IID_IKsControl);
    ASSERT_NE(control, nullptr);
    types = 0;
    ULONG returned = 0;
    EXPECT_EQ(control->KsProperty(&count, sizeof count, &types, sizeof types, &returned), S_OK);
    EXPECT_EQ(types, 3u);
    EXPECT_EQ(returned, 4u);
    KSPROPERTY unknown{kstest::kTestPropertySet, 0, KSPROPERTY_TYPE_GET};
    EXPECT_EQ(control->KsProperty(&unknown, sizeof unknown, &types, sizeof types, &returned),
              HRESULT_FROM_WIN32(ERROR_NOT_FOUND));

    std::vector<IPin*> pins = Pins(filter);
    ASSERT_EQ(pins.size(), 3u);
    EXPECT_EQ(Direction(pins[0]), PINDIR_INPUT);
    EXPECT_EQ(PinName(pins[0]), u"Analog Video In");
    EXPECT_EQ(Direction(pins[1]), PINDIR_OUTPUT);
    EXPECT_EQ(PinName(pins[1]), u"Capture");
    EXPECT_EQ(Direction(pins[2]), PINDIR_OUTPUT);
    EXPECT_EQ(PinName(pins[2]), u"Audio Capture");
    // Pin categories and mediums through the pin property set; no kernel pin before a connection.
    IKsPropertySet* properties = As<IKsPropertySet>(pins[0], IID_IKsPropertySet);
    ASSERT_NE(properties, nullptr);
    GUID category{};
    EXPECT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category,
                              &bytes),
              S_OK);
    EXPECT_EQ(category, PIN_CATEGORY_ANALOGVIDEOIN);
    KSPIN_MEDIUM medium{};
    EXPECT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_MEDIUM, nullptr, 0, &medium, sizeof medium, &bytes),
              S_OK);
    EXPECT_EQ(medium.Set, kstest::kTestMediumSet);
    EXPECT_EQ(medium.Id, kstest::kAnalogMediumId);
    EXPECT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, 8, &bytes),
              E_UNEXPECTED);
    EXPECT_EQ(properties->Get(kstest::kTestPropertySet, 0, nullptr, 0, &category, sizeof category, &bytes),
              E_PROP_SET_UNSUPPORTED);
    properties->Release();
    properties = As<IKsPropertySet>(pins[1], IID_IKsPropertySet);
    ASSERT_NE(properties, nullptr);
    EXPECT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category,
                              &bytes),
              S_OK);
    EXPECT_EQ(category, PIN_CATEGORY_CAPTURE);
    properties->Release();
    IKsObject* pinObject = As<IKsObject>(pins[1], IID_IKsObject);
    ASSERT_NE(pinObject, nullptr);
    EXPECT_EQ(pinObject->KsGetObjectHandle(), nullptr);
    pinObject->Release();
    // The medium pin's one type.
    IEnumMediaTypes* typesOfBridge = nullptr;
    ASSERT_EQ(pins[0]->EnumMediaTypes(&typesOfBridge), S_OK);
    AM_MEDIA_TYPE* analog = nullptr;
    ASSERT_EQ(typesOfBridge->Next(1, &analog, nullptr), S_OK);
    EXPECT_EQ(analog->majortype, MEDIATYPE_AnalogVideo);
    EXPECT_EQ(analog->cbFormat, 0u);
    DeleteMediaType(analog);
    typesOfBridge->Release();
    ReleasePins(pins);
    // A second load is refused.
    IPersistPropertyBag* persist = As<IPersistPropertyBag>(filter, IID_IPersistPropertyBag);
    ASSERT_NE(persist, nullptr);
    EXPECT_EQ(persist->Load(nullptr, nullptr), E_POINTER);
    persist->Release();
    control->Release();
    object->Release();
    filter->Release();
    // The filter's handle went with it.
    EXPECT_TRUE(HandleClosed(handle));
}

TEST_F(KsProxyTest, StreamCapabilitiesComeFromTheRangesAndSetFormatMakesTheKernelPinsFormat)
{
    IBaseFilter* filter = Bind(AM_KSCATEGORY_CAPTURE, kstest::kProxyCaptureName);
    ASSERT_NE(filter, nullptr);
    std::vector<IPin*> pins = Pins(filter);
    ASSERT_EQ(pins.size(), 3u);
    IAMStreamConfig* config = As<IAMStreamConfig>(pins[1], IID_IAMStreamConfig);
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(As<IAMStreamConfig>(pins[0], IID_IAMStreamConfig), nullptr);
    int count = 0, size = 0;
    ASSERT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(size, 128);
    AM_MEDIA_TYPE* type = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps{};
    ASSERT_EQ(config->GetStreamCaps(0, &type, reinterpret_cast<BYTE*>(&caps)), S_OK);
    EXPECT_EQ(type->subtype, MEDIASUBTYPE_UYVY);
    DeleteMediaType(type);
    ASSERT_EQ(config->GetStreamCaps(1, &type, reinterpret_cast<BYTE*>(&caps)), S_OK);
    EXPECT_EQ(type->formattype, FORMAT_VideoInfo);
    EXPECT_EQ(type->subtype, MEDIASUBTYPE_RGB32);
    ASSERT_EQ(type->cbFormat, 88u);
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat)->bmiHeader.biBitCount, 32);
    EXPECT_EQ(type->lSampleSize, 320u * 240 * 4);
    EXPECT_EQ(caps.MaxOutputSize.cx, 320);
    EXPECT_EQ(caps.MaxOutputSize.cy, 240);
    DeleteMediaType(type);
    EXPECT_EQ(config->GetStreamCaps(2, &type, reinterpret_cast<BYTE*>(&caps)), S_FALSE);
    EXPECT_EQ(config->GetStreamCaps(-1, &type, reinterpret_cast<BYTE*>(&caps)), E_INVALIDARG);
    // Before any SetFormat or connection GetFormat gives the first type.
    ASSERT_EQ(config->GetFormat(&type), S_OK);
    EXPECT_EQ(type->subtype, MEDIASUBTYPE_UYVY);
    DeleteMediaType(type);

    AM_MEDIA_TYPE* wanted = VideoFormat(config, 1, 320, 240);
    ASSERT_NE(wanted, nullptr);
    wanted->lSampleSize = 1; // recomputed from biSizeImage
    ASSERT_EQ(config->SetFormat(wanted), S_OK);
    ASSERT_EQ(config->GetFormat(&type), S_OK);
    EXPECT_EQ(type->lSampleSize, 307200u);
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat)->bmiHeader.biSizeImage, 307200u);
    DeleteMediaType(type);
    // A type of no range is refused.
    AM_MEDIA_TYPE foreign = *wanted;
    foreign.subtype = MEDIASUBTYPE_RGB24;
    EXPECT_EQ(config->SetFormat(&foreign), VFW_E_INVALIDMEDIATYPE);
    EXPECT_EQ(config->SetFormat(nullptr), E_POINTER);

    // Connected to a grabber, the kernel pin carries the format that was set.
    IGraphBuilder* graph = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               reinterpret_cast<void**>(&graph)),
              S_OK);
    IBaseFilter* grabber = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(&grabber)),
              S_OK);
    ASSERT_EQ(graph->AddFilter(filter, kstest::kProxyCaptureName), S_OK);
    ASSERT_EQ(graph->AddFilter(grabber, u"Grabber"), S_OK);
    std::vector<IPin*> grabberPins = Pins(grabber);
    ASSERT_EQ(graph->Connect(pins[1], grabberPins[0]), S_OK);
    IKsObject* pinObject = As<IKsObject>(pins[1], IID_IKsObject);
    ASSERT_NE(pinObject, nullptr);
    HANDLE kernelPin = pinObject->KsGetObjectHandle();
    ASSERT_NE(kernelPin, nullptr);
    KSPROPERTY formatRequest{KSPROPSETID_Connection, KSPROPERTY_CONNECTION_DATAFORMAT, KSPROPERTY_TYPE_GET};
    KS_DATAFORMAT_VIDEOINFOHEADER format{};
    ULONG bytes = 0;
    ASSERT_EQ(KsSynchronousDeviceControl(kernelPin, IOCTL_KS_PROPERTY, &formatRequest, sizeof formatRequest, &format,
                                         sizeof format, &bytes),
              S_OK);
    EXPECT_EQ(bytes, sizeof format);
    EXPECT_EQ(format.DataFormat.SubFormat, KSDATAFORMAT_SUBTYPE_RGB32);
    EXPECT_EQ(format.DataFormat.SampleSize, 307200u);
    EXPECT_EQ(std::memcmp(&format.VideoInfoHeader, wanted->pbFormat, sizeof(VIDEOINFOHEADER)), 0);
    ASSERT_EQ(config->GetFormat(&type), S_OK);
    EXPECT_EQ(std::memcmp(type->pbFormat, wanted->pbFormat, sizeof(VIDEOINFOHEADER)), 0);
    DeleteMediaType(type);
    // On a connected pin SetFormat reconnects: a smaller picture makes a new kernel pin.
    AM_MEDIA_TYPE* smaller = VideoFormat(config, 1, 160, 120);
    ASSERT_EQ(config->SetFormat(smaller), S_OK);
    kernelPin = pinObject->KsGetObjectHandle();
    ASSERT_NE(kernelPin, nullptr);
    ASSERT_EQ(KsSynchronousDeviceControl(kernelPin, IOCTL_KS_PROPERTY, &formatRequest, sizeof formatRequest, &format,
                                         sizeof format, &bytes),
              S_OK);
    EXPECT_EQ(format.VideoInfoHeader.bmiHeader.biWidth, 160);
    EXPECT_EQ(format.DataFormat.SampleSize, 160u * 120 * 4);
    DeleteMediaType(smaller);
    DeleteMediaType(wanted);
    pinObject->Release();

    // The audio pin: one capability per sample size of its 8 to 16-bit range, largest first, each the
    // intersection's wave format for the range narrowed to that size.
    IAMStreamConfig* audio = As<IAMStreamConfig>(pins[2], IID_IAMStreamConfig);
    ASSERT_NE(audio, nullptr);
    ASSERT_EQ(audio->GetNumberOfCapabilities(&count, &size), S_OK);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(size, 52);
    AUDIO_STREAM_CONFIG_CAPS audioCaps{};
    ASSERT_EQ(audio->GetStreamCaps(0, &type, reinterpret_cast<BYTE*>(&audioCaps)), S_OK);
    EXPECT_EQ(type->formattype, FORMAT_WaveFormatEx);
    ASSERT_GE(type->cbFormat, sizeof(WAVEFORMATEX));
    WAVEFORMATEX wave{};
    std::memcpy(&wave, type->pbFormat, sizeof wave);
    EXPECT_EQ(wave.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(wave.nChannels, 2);
    EXPECT_EQ(wave.nSamplesPerSec, 48000u);
    EXPECT_EQ(wave.wBitsPerSample, 16);
    EXPECT_EQ(type->lSampleSize, 4u);
    EXPECT_EQ(audioCaps.guid, MEDIATYPE_Audio);
    EXPECT_EQ(audioCaps.MaximumChannels, 2u);
    EXPECT_EQ(audioCaps.MinimumSampleFrequency, 48000u);
    EXPECT_EQ(audioCaps.MinimumBitsPerSample, 16u);
    EXPECT_EQ(audioCaps.MaximumBitsPerSample, 16u);
    DeleteMediaType(type);
    ASSERT_EQ(audio->GetStreamCaps(1, &type, reinterpret_cast<BYTE*>(&audioCaps)), S_OK);
    ASSERT_GE(type->cbFormat, sizeof(WAVEFORMATEX));
    std::memcpy(&wave, type->pbFormat, sizeof wave);
    EXPECT_EQ(wave.wBitsPerSample, 8);
    EXPECT_EQ(wave.nBlockAlign, 2);
    EXPECT_EQ(wave.nAvgBytesPerSec, 96000u);
    EXPECT_EQ(type->lSampleSize, 2u);
    EXPECT_EQ(audioCaps.MinimumBitsPerSample, 8u);
    EXPECT_EQ(audioCaps.MaximumBitsPerSample, 8u);
    EXPECT_EQ(audioCaps.MaximumChannels, 2u);
    // The 8-bit type is one the pin takes.
    EXPECT_EQ(audio->SetFormat(type), S_OK);
    AM_MEDIA_TYPE* set = nullptr;
    ASSERT_EQ(audio->GetFormat(&set), S_OK);
    std::memcpy(&wave, set->pbFormat, sizeof wave);
    EXPECT_EQ(wave.wBitsPerSample, 8);
    DeleteMediaType(set);
    DeleteMediaType(type);
    EXPECT_EQ(audio->GetStreamCaps(2, &type, reinterpret_cast<BYTE*>(&audioCaps)), S_FALSE);
    audio->Release();
    // The capture graph builder finds each pin's configuration by category and major type.
    ICaptureGraphBuilder2* builder = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                               reinterpret_cast<void**>(&builder)),
              S_OK);
    ASSERT_EQ(builder->SetFiltergraph(graph), S_OK);
    IAMStreamConfig* found = nullptr;
    ASSERT_EQ(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, filter, IID_IAMStreamConfig,
                                     reinterpret_cast<void**>(&found)),
              S_OK);
    ASSERT_EQ(found->GetNumberOfCapabilities(&count, &size), S_OK);
    EXPECT_EQ(size, 52);
    found->Release();
    ASSERT_EQ(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, filter, IID_IAMStreamConfig,
                                     reinterpret_cast<void**>(&found)),
              S_OK);
    EXPECT_EQ(found, config);
    found->Release();
    builder->Release();

    config->Release();
    ReleasePins(grabberPins);
    ReleasePins(pins);
    graph->Release();
    grabber->Release();
    filter->Release();
}

TEST_F(KsProxyTest, TheCrossbarConnectsToTheAnalogInputByMediumAlone)
{
    IBaseFilter* crossbar = Bind(AM_KSCATEGORY_CROSSBAR, kstest::kCrossbarName);
    ASSERT_NE(crossbar, nullptr);
    IBaseFilter* capture = Bind(AM_KSCATEGORY_CAPTURE, kstest::kProxyCaptureName);
    ASSERT_NE(capture, nullptr);
    std::vector<IPin*> crossbarPins = Pins(crossbar);
    ASSERT_EQ(crossbarPins.size(), 2u);
    EXPECT_EQ(Direction(crossbarPins[0]), PINDIR_INPUT);
    EXPECT_EQ(PinName(crossbarPins[0]), u"Input 0");
    EXPECT_EQ(Direction(crossbarPins[1]), PINDIR_OUTPUT);
    EXPECT_EQ(PinName(crossbarPins[1]), u"Output 1");
    IKsPropertySet* outputSet = As<IKsPropertySet>(crossbarPins[1], IID_IKsPropertySet);
    ASSERT_NE(outputSet, nullptr);
    GUID category{};
    DWORD bytes = 0;
    EXPECT_EQ(outputSet->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category,
                             &bytes),
              S_OK);
    EXPECT_EQ(category, PIN_CATEGORY_ANALOGVIDEOIN);
    outputSet->Release();
    // An input pin connects only when asked by an output.
    EXPECT_EQ(crossbarPins[0]->Connect(crossbarPins[1], nullptr), E_UNEXPECTED);
    std::vector<IPin*> capturePins = Pins(capture);
    IGraphBuilder* graph = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               reinterpret_cast<void**>(&graph)),
              S_OK);
    ASSERT_EQ(graph->AddFilter(crossbar, kstest::kCrossbarName), S_OK);
    ASSERT_EQ(graph->AddFilter(capture, kstest::kProxyCaptureName), S_OK);
    // No kernel pin is asked for: the request log has no create and the capture filter made no pin.
    ASSERT_EQ(graph->Connect(crossbarPins[1], capturePins[0]), S_OK);
    IPin* peer = nullptr;
    ASSERT_EQ(capturePins[0]->ConnectedTo(&peer), S_OK);
    EXPECT_EQ(peer, crossbarPins[1]);
    peer->Release();
    AM_MEDIA_TYPE type{};
    ASSERT_EQ(capturePins[0]->ConnectionMediaType(&type), S_OK);
    EXPECT_EQ(type.majortype, MEDIATYPE_AnalogVideo);
    FreeMediaType(type);
    EXPECT_TRUE(kstest::ProxyPins().creates.empty());
    ASSERT_EQ(graph->Disconnect(crossbarPins[1]), S_OK);
    ASSERT_EQ(graph->Disconnect(capturePins[0]), S_OK);
    ReleasePins(crossbarPins);
    graph->RemoveFilter(crossbar);
    crossbar->Release();

    // With another medium id on the crossbar's output the connection is refused.
    ASSERT_EQ(kstest::RegisterCrossbarPins(pdo_, kstest::kAnalogMediumId + 1), STATUS_SUCCESS);
    crossbar = Bind(AM_KSCATEGORY_CROSSBAR, kstest::kCrossbarName);
    ASSERT_NE(crossbar, nullptr);
    crossbarPins = Pins(crossbar);
    ASSERT_EQ(graph->AddFilter(crossbar, kstest::kCrossbarName), S_OK);
    EXPECT_TRUE(FAILED(graph->Connect(crossbarPins[1], capturePins[0])));
    EXPECT_TRUE(FAILED(crossbarPins[1]->Connect(capturePins[0], nullptr)));
    EXPECT_EQ(capturePins[0]->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    // A streaming pin is no medium peer for it either.
    EXPECT_TRUE(FAILED(capturePins[1]->Connect(capturePins[0], nullptr)));

    ReleasePins(crossbarPins);
    ReleasePins(capturePins);
    graph->Release();
    crossbar->Release();
    capture->Release();
}

TEST_F(KsProxyTest, KsEventEnablesQueriesAndDisablesTheBufferedNotificationAndTheLogHoldsEachRequest)
{
    IBaseFilter* filter = Bind(AM_KSCATEGORY_CAPTURE, kstest::kFriendlyName);
    ASSERT_NE(filter, nullptr);
    IKsControl* control = As<IKsControl>(filter, IID_IKsControl);
    IKsObject* object = As<IKsObject>(filter, IID_IKsObject);
    ASSERT_NE(control, nullptr);
    ASSERT_NE(object, nullptr);
    HANDLE handle = object->KsGetObjectHandle();
    HANDLE notify = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(notify, nullptr);
    standin::ClearKsRequests();

    struct {
        KSEVENTDATA data;
        BYTE record[kstest::kNotifyRecordSize];
    } block{};
    block.data.NotificationType = KSEVENTF_EVENT_HANDLE;
    block.data.EventHandle = uint32_t(reinterpret_cast<uintptr_t>(notify));
    KSEVENT enable{kstest::kNotificationSet, 0, KSEVENT_TYPE_ENABLEBUFFERED};
    ULONG bytes = 0;
    ASSERT_EQ(control->KsEvent(&enable, sizeof enable, &block, sizeof block, &bytes), S_OK);
    std::vector<BYTE> raised(kstest::kNotifyRecordSize);
    for (size_t i = 0; i < raised.size(); ++i)
        raised[i] = BYTE(i * 7);
    DWORD count = 0;
    ASSERT_TRUE(DeviceIoControl(handle, kstest::kRaiseNotification, raised.data(), DWORD(raised.size()), nullptr, 0,
                                &count, nullptr));
    EXPECT_EQ(WaitForSingleObject(notify, 10000), WAIT_OBJECT_0);
    KSQUERYBUFFER query{};
    query.Event = {kstest::kNotificationSet, 0, KSEVENT_TYPE_QUERYBUFFER};
    query.EventData = standin::KsEventDataCookie(&block.data);
    ASSERT_EQ(control->KsEvent(&query.Event, sizeof query, block.record, sizeof block.record, &bytes), S_OK);
    EXPECT_EQ(bytes, kstest::kNotifyRecordSize);
    EXPECT_EQ(std::memcmp(block.record, raised.data(), raised.size()), 0);
    // Disabled with no descriptor and the enable data; a second query then fails.
    ASSERT_EQ(control->KsEvent(nullptr, 0, &block, sizeof block, &bytes), S_OK);
    EXPECT_EQ(control->KsEvent(nullptr, 0, nullptr, 0, &bytes), E_INVALIDARG);
    EXPECT_TRUE(FAILED(control->KsEvent(&query.Event, sizeof query, block.record, sizeof block.record, &bytes)));

    const std::vector<standin::KsRequestRecord> log = standin::KsRequests();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0].handle, handle);
    EXPECT_EQ(log[0].ioControl, ULONG(IOCTL_KS_ENABLE_EVENT));
    EXPECT_EQ(log[0].set, kstest::kNotificationSet);
    EXPECT_EQ(log[0].id, 0u);
    EXPECT_EQ(log[0].flags, ULONG(KSEVENT_TYPE_ENABLEBUFFERED));
    EXPECT_EQ(log[0].inputLength, sizeof(KSEVENT));
    EXPECT_EQ(log[0].outputLength, kstest::kNotifyEnableSize);
    EXPECT_EQ(log[0].status, 0);
    EXPECT_EQ(log[1].ioControl, kstest::kRaiseNotification);
    EXPECT_EQ(log[1].inputLength, kstest::kNotifyRecordSize);
    EXPECT_EQ(log[1].input, raised);
    EXPECT_EQ(log[2].ioControl, ULONG(IOCTL_KS_ENABLE_EVENT));
    EXPECT_EQ(log[2].flags, ULONG(KSEVENT_TYPE_QUERYBUFFER));
    EXPECT_EQ(log[2].inputLength, sizeof(KSQUERYBUFFER));
    EXPECT_EQ(log[2].outputLength, kstest::kNotifyRecordSize);
    EXPECT_EQ(log[2].returned, kstest::kNotifyRecordSize);
    EXPECT_EQ(log[2].status, 0);
    EXPECT_EQ(log[3].ioControl, ULONG(IOCTL_KS_DISABLE_EVENT));
    EXPECT_EQ(log[3].inputLength, kstest::kNotifyEnableSize);
    EXPECT_EQ(log[3].outputLength, 0u);
    EXPECT_EQ(log[3].set, GUID_NULL);
    EXPECT_EQ(log[3].status, 0);
    ASSERT_EQ(log.size(), 5u);
    EXPECT_LT(log[4].status, 0);

    // The log keeps the first 4096 input bytes of a longer request, and its whole length.
    std::vector<BYTE> longRequest(5000, 0);
    std::memcpy(longRequest.data(), &enable, sizeof enable);
    reinterpret_cast<KSPROPERTY*>(longRequest.data())->Flags = KSPROPERTY_TYPE_GET;
    standin::ClearKsRequests();
    control->KsProperty(reinterpret_cast<KSPROPERTY*>(longRequest.data()), ULONG(longRequest.size()), nullptr, 0,
                        &bytes);
    const auto longLog = standin::KsRequests();
    ASSERT_EQ(longLog.size(), 1u);
    EXPECT_EQ(longLog[0].inputLength, 5000u);
    EXPECT_EQ(longLog[0].input.size(), standin::kMaxLoggedInput);
    EXPECT_EQ(longLog[0].flags, ULONG(KSPROPERTY_TYPE_GET));

    CloseHandle(notify);
    control->Release();
    object->Release();
    filter->Release();
}

TEST(KsFilterDataTest, ShortOrOverlongDescriptionsAreRefusedAndMediumsMatchBySetAndId)
{
    std::vector<ksproxy::PinFactory> pins;
    const BYTE none[4] = {0, 0, 0, 0};
    EXPECT_FALSE(ksproxy::ParseFilterData(none, sizeof none, &pins));
    EXPECT_FALSE(ksproxy::ParseFilterData(none, 3, &pins));
    std::vector<BYTE> one(4 + 44, 0);
    one[0] = 1;
    one[4] = 1;
    EXPECT_TRUE(ksproxy::ParseFilterData(one.data(), one.size(), &pins));
    ASSERT_EQ(pins.size(), 1u);
    EXPECT_EQ(pins[0].dataFlow, KSPIN_DATAFLOW_OUT);
    EXPECT_TRUE(pins[0].mediumOnly);
    one[0] = 2; // says two pins, holds one
    EXPECT_FALSE(ksproxy::ParseFilterData(one.data(), one.size(), &pins));
    EXPECT_FALSE(ksproxy::ParseFilterData(one.data(), one.size() - 1, &pins));

    const KSPIN_MEDIUM a{kstest::kTestMediumSet, 5, 0};
    const KSPIN_MEDIUM b{kstest::kTestMediumSet, 6, 0};
    const KSPIN_MEDIUM flagged{kstest::kTestMediumSet, 5, 1};
    const KSPIN_MEDIUM standard{KSMEDIUMSETID_Standard, 0, 0};
    EXPECT_TRUE(ksproxy::MediumsMatch(a, flagged));
    EXPECT_FALSE(ksproxy::MediumsMatch(a, b));
    EXPECT_TRUE(ksproxy::MediumsMatch(standard, b));
    EXPECT_TRUE(ksproxy::MediumsMatch(a, standard));
}

TEST(KsRangeTypesTest, EachKindOfRangeGivesItsFormatBlockAndCapabilities)
{
    ksproxy::PinFactory pin;
    auto add = [&pin](const void* range, size_t size) {
        const auto* bytes = static_cast<const BYTE*>(range);
        pin.ranges.emplace_back(bytes, bytes + size);
    };
    KS_DATARANGE_VIDEO2 second{};
    second.DataRange = {sizeof second, 0, 0, 0, KSDATAFORMAT_TYPE_VIDEO, KSDATAFORMAT_SUBTYPE_UYVY,
                        KSDATAFORMAT_SPECIFIER_VIDEOINFO2};
    second.bFixedSizeSamples = 1;
    second.ConfigCaps.MaxOutputSize = {720, 480};
    second.VideoInfoHeader.dwInterlaceFlags = KS_INTERLACE_IsInterlaced;
    second.VideoInfoHeader.bmiHeader.biSizeImage = 720 * 480 * 2;
    add(&second, sizeof second);
    KS_DATARANGE_VIDEO_VBI vbi{};
    vbi.DataRange = {sizeof vbi, 0, 0, 0, KSDATAFORMAT_TYPE_VBI, KSDATAFORMAT_SUBTYPE_RAW8,
                     KSDATAFORMAT_SPECIFIER_VBI};
    vbi.bFixedSizeSamples = 1;
    vbi.ConfigCaps.VideoStandard = KS_AnalogVideo_NTSC_M;
    vbi.VBIInfoHeader.StartLine = 10;
    vbi.VBIInfoHeader.EndLine = 21;
    vbi.VBIInfoHeader.BufferSize = 12 * 1600;
    add(&vbi, sizeof vbi);
    // A video range cut short of its block is taken as its GUIDs alone.
    KSDATARANGE plain{sizeof(KSDATARANGE), 0, 44, 0, KSDATAFORMAT_TYPE_VIDEO, KSDATAFORMAT_SUBTYPE_RGB32,
                      KSDATAFORMAT_SPECIFIER_VIDEOINFO};
    add(&plain, sizeof plain);
    // An audio range without a filter to intersect with is left out.
    KSDATARANGE_AUDIO audio{{sizeof(KSDATARANGE_AUDIO), 0, 4, 0, KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_PCM,
                             KSDATAFORMAT_SPECIFIER_WAVEFORMATEX},
                            2, 16, 16, 48000, 48000};
    add(&audio, sizeof audio);

    const std::vector<ksproxy::OfferedType> types = ksproxy::TypesFromRanges(nullptr, pin);
    ASSERT_EQ(types.size(), 3u);
    EXPECT_EQ(types[0].type.formattype, FORMAT_VideoInfo2);
    ASSERT_EQ(types[0].type.cbFormat, sizeof(VIDEOINFOHEADER2));
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER2*>(types[0].type.pbFormat)->dwInterlaceFlags,
              ULONG(KS_INTERLACE_IsInterlaced));
    EXPECT_EQ(types[0].type.lSampleSize, 720u * 480 * 2);
    ASSERT_EQ(types[0].caps.size(), sizeof(VIDEO_STREAM_CONFIG_CAPS));
    EXPECT_EQ(std::memcmp(types[0].caps.data(), &second.ConfigCaps, sizeof second.ConfigCaps), 0);
    EXPECT_EQ(types[1].type.majortype, MEDIATYPE_VBI);
    ASSERT_EQ(types[1].type.cbFormat, sizeof(KS_VBIINFOHEADER));
    EXPECT_EQ(std::memcmp(types[1].type.pbFormat, &vbi.VBIInfoHeader, sizeof vbi.VBIInfoHeader), 0);
    EXPECT_EQ(types[1].type.lSampleSize, 12u * 1600);
    EXPECT_EQ(types[2].type.cbFormat, 0u);
    EXPECT_EQ(types[2].type.pbFormat, nullptr);
    EXPECT_EQ(types[2].type.lSampleSize, 44u);
    EXPECT_TRUE(types[2].caps.empty());
    EXPECT_EQ(ksproxy::CapsSize(types), 128);

    // The data format of a type is its KSDATAFORMAT head and block, without the padding the record's
    // alignment adds (64 + 44 bytes).
    const std::vector<BYTE> format = ksproxy::DataFormatOf(types[1].type);
    ASSERT_EQ(format.size(), sizeof(KSDATAFORMAT) + sizeof(KS_VBIINFOHEADER));
    KS_DATAFORMAT_VBIINFOHEADER vbiFormat{};
    std::memcpy(&vbiFormat, format.data(), format.size());
    EXPECT_EQ(vbiFormat.DataFormat.FormatSize, format.size());
    EXPECT_EQ(vbiFormat.DataFormat.SampleSize, 12u * 1600);
    EXPECT_EQ(vbiFormat.DataFormat.Specifier, KSDATAFORMAT_SPECIFIER_VBI);
    EXPECT_EQ(vbiFormat.VBIInfoHeader.EndLine, 21u);
}

namespace {

void RegisterPage(const GUID& set, const std::u16string& page)
{
    WCHAR braced[40] = {};
    StringFromGUID2(set, braced, 40);
    const std::u16string path = u"SYSTEM\\CurrentControlSet\\Control\\MediaSets\\" + std::u16string(braced) +
                                u"\\PropertyPages\\" + page;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::vector<CLSID> PagesOf(IBaseFilter* filter)
{
    std::vector<CLSID> pages;
    ISpecifyPropertyPages* specify = nullptr;
    EXPECT_EQ(filter->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&specify)), S_OK);
    if (!specify)
        return pages;
    CAUUID list{7, nullptr};
    EXPECT_EQ(specify->GetPages(&list), S_OK);
    pages.assign(list.pElems, list.pElems + list.cElems);
    CoTaskMemFree(list.pElems);
    EXPECT_EQ(specify->GetPages(nullptr), E_POINTER);
    specify->Release();
    return pages;
}

} // namespace

TEST_F(KsProxyTest, ThePagesAreTheClassesRegisteredUnderTheSetsTheFilterAnswers)
{
    const GUID first = {0x0A1B2C3D, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x01}};
    const GUID second = {0x0A1B2C3D, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x02}};
    const GUID elsewhere = {0x0A1B2C3D, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x03}};
    auto braced = [](const GUID& guid) {
        WCHAR text[40] = {};
        StringFromGUID2(guid, text, 40);
        return std::u16string(text);
    };
    // Two classes under the filter's own set, one of them also under the pin set the framework
    // answers; a class under a set nobody answers; a key that names no class.
    RegisterPage(kstest::kTestPropertySet, braced(first));
    RegisterPage(kstest::kTestPropertySet, braced(second));
    RegisterPage(kstest::kTestPropertySet, u"not a class");
    RegisterPage(KSPROPSETID_Pin, braced(second));
    RegisterPage(kstest::kNodePropertySet, braced(elsewhere));

    IBaseFilter* filter = Bind(AM_KSCATEGORY_CAPTURE, kstest::kFriendlyName);
    ASSERT_NE(filter, nullptr);
    standin::ClearKsRequests();
    EXPECT_EQ(PagesOf(filter), (std::vector<CLSID>{first, second}));
    // The proxy asked the driver for its sets: a set-support request naming no set.
    bool asked = false;
    for (const auto& request : standin::KsRequests())
        asked = asked || (request.set == GUID_NULL && request.flags == KSPROPERTY_TYPE_SETSUPPORT);
    EXPECT_TRUE(asked);
    filter->Release();

    // A filter whose table has none of these sets: only the framework's pin set brings a page.
    filter = Bind(AM_KSCATEGORY_CAPTURE, kstest::kProxyCaptureName);
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(PagesOf(filter), (std::vector<CLSID>{second}));
    filter->Release();
}

TEST_F(KsProxyTest, AnAudioRangesSizesAreAskedFromItsLargestToItsSmallestAndNoWiderThan64Bits)
{
    IBaseFilter* filter = Bind(AM_KSCATEGORY_CAPTURE, kstest::kProxyCaptureName);
    ASSERT_NE(filter, nullptr);
    IKsObject* object = nullptr;
    ASSERT_EQ(filter->QueryInterface(IID_IKsObject, reinterpret_cast<void**>(&object)), S_OK);
    const HANDLE handle = object->KsGetObjectHandle();
    object->Release();
    auto sizeQueries = [] {
        int count = 0;
        for (const auto& request : standin::KsRequests())
            count += request.set == KSPROPSETID_Pin && request.id == KSPROPERTY_PIN_DATAINTERSECTION &&
                     request.outputLength == 0;
        return count;
    };
    auto bitsOf = [](const ksproxy::OfferedType& offered) {
        WAVEFORMATEX wave{};
        std::memcpy(&wave, offered.type.pbFormat, sizeof wave);
        return int(wave.wBitsPerSample);
    };
    ksproxy::PinFactory pin;
    pin.id = kstest::kAudioPin;
    KSDATARANGE_AUDIO audio{{sizeof(KSDATARANGE_AUDIO), 0, 4, 0, KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_PCM,
                             KSDATAFORMAT_SPECIFIER_WAVEFORMATEX},
                            2, 0, 0xFFFFFFFF, 48000, 48000};
    pin.ranges.push_back(std::vector<BYTE>(reinterpret_cast<BYTE*>(&audio), reinterpret_cast<BYTE*>(&audio + 1)));

    // A range that claims every size: 64 down to 8 asked, the pin answering 16 and 8 only.
    standin::ClearKsRequests();
    std::vector<ksproxy::OfferedType> types = ksproxy::TypesFromRanges(handle, pin);
    EXPECT_EQ(sizeQueries(), 8);
    ASSERT_EQ(types.size(), 2u);
    EXPECT_EQ(bitsOf(types[0]), 16);
    EXPECT_EQ(bitsOf(types[1]), 8);

    // A smallest size off the 8-bit steps ends the steps above it: 20 and 12 (the pin takes 12).
    audio.MinimumBitsPerSample = 10;
    audio.MaximumBitsPerSample = 20;
    std::memcpy(pin.ranges[0].data(), &audio, sizeof audio);
    standin::ClearKsRequests();
    types = ksproxy::TypesFromRanges(handle, pin);
    EXPECT_EQ(sizeQueries(), 2);
    ASSERT_EQ(types.size(), 1u);
    EXPECT_EQ(bitsOf(types[0]), 12);

    // Bounds the wrong way round ask nothing and offer nothing.
    audio.MinimumBitsPerSample = 24;
    audio.MaximumBitsPerSample = 16;
    std::memcpy(pin.ranges[0].data(), &audio, sizeof audio);
    standin::ClearKsRequests();
    EXPECT_TRUE(ksproxy::TypesFromRanges(handle, pin).empty());
    EXPECT_EQ(sizeQueries(), 0);
    filter->Release();
}

TEST_F(KsProxyTest, AProxyNotYetLoadedHasNoPages)
{
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_Proxy, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(&filter)),
              S_OK);
    ISpecifyPropertyPages* specify = nullptr;
    ASSERT_EQ(filter->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&specify)), S_OK);
    CAUUID list{3, reinterpret_cast<GUID*>(&list)};
    EXPECT_EQ(specify->GetPages(&list), E_UNEXPECTED);
    EXPECT_EQ(list.cElems, 0u);
    EXPECT_EQ(list.pElems, nullptr);
    specify->Release();
    filter->Release();
}
