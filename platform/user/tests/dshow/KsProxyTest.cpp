// The kernel-streaming proxy over the test minidriver: binding from a moniker, the pins of the pin
// factories and of a filter without kernel-streaming pins, stream capabilities and formats, medium
// connections, property and event requests through IKsControl with the request log.
#include <gtest/gtest.h>

#include <cstring>

#include "KsProxyFixture.h"
#include "ksproxy/KsPinFactory.h"
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

    // The audio pin: one capability, the intersection's wave format with the range's bounds.
    IAMStreamConfig* audio = As<IAMStreamConfig>(pins[2], IID_IAMStreamConfig);
    ASSERT_NE(audio, nullptr);
    ASSERT_EQ(audio->GetNumberOfCapabilities(&count, &size), S_OK);
    EXPECT_EQ(count, 1);
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
    EXPECT_EQ(audioCaps.MaximumBitsPerSample, 16u);
    DeleteMediaType(type);
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
