// The property transport on the real driver and a simulated board: the exact request each helper
// sends (control code, set, id, flags, both lengths), the driver's answer copied back on a set as
// on a get, and failed requests (an unbound handle, a refusal of the driver) that leave the
// caller's record as it was.
#include "support/BoardTransportMachine.h"

#include "transport/CPropertyGetSetCtrl.h"
#include "transport/PropertyRequests.h"

#include "standin/ksrequests.h"
#include "um/dshow.h"
#include "um/ksproxy.h"
#include "um/oleauto.h"
#include "shared/ksaudiorecords.h"
#include "um/ks.h"

#include "privatesetguids.h"

#include <cstring>
#include <functional>
#include <vector>

namespace {

// The requests the log holds for `handle`.
std::vector<standin::KsRequestRecord> RequestsOn(HANDLE handle)
{
    std::vector<standin::KsRequestRecord> mine;
    for (const standin::KsRequestRecord& record : standin::KsRequests())
        if (record.handle == handle)
            mine.push_back(record);
    return mine;
}

template <class Record> Record Filled(unsigned char byte)
{
    Record record;
    std::memset(&record, byte, sizeof(record));
    return record;
}

template <class Record> bool SameBytes(const Record& a, const Record& b)
{
    return std::memcmp(&a, &b, sizeof(Record)) == 0;
}

class PropertyTransportBoardTest : public BoardTransportTest {
protected:
    void SetUp() override
    {
        BoardTransportTest::SetUp();
        if (HasFatalFailure())
            return;
        video = OpenFilter(KSCATEGORY_VIDEO, u"Video Device", &videoName);
        ASSERT_NE(video, INVALID_HANDLE_VALUE);
        ctrl.SetFilterHandle(video);
        standin::ClearKsRequests();
    }

    HANDLE video = INVALID_HANDLE_VALUE;
    std::u16string videoName;
    CPropertyGetSetCtrl ctrl;
};

TEST_F(PropertyTransportBoardTest, DeviceConfigGetIsOneRequestOfTheRecordsLengthBothWays)
{
    auto record = Filled<DEVICE_CONFIG>(0xA5);
    ASSERT_EQ(GetDeviceInfoRecord(&ctrl, &record), S_OK);

    const auto requests = standin::KsRequests();
    ASSERT_EQ(requests.size(), 1u);
    const standin::KsRequestRecord& sent = requests[0];
    EXPECT_EQ(sent.handle, video);
    EXPECT_EQ(sent.ioControl, 0x2F0003u);
    EXPECT_EQ(sent.set, PROPSETID_BREVICOR_DEVICE_CONFIG);
    EXPECT_EQ(sent.id, 0u);
    EXPECT_EQ(sent.flags, 1u);
    EXPECT_EQ(sent.inputLength, 628u);
    EXPECT_EQ(sent.outputLength, 628u);
    EXPECT_EQ(sent.status, STATUS_SUCCESS);
    EXPECT_EQ(sent.returned, 628u);
    // The whole record is the driver's answer.
    EXPECT_EQ(record.driverVersion[0], 2u);
    EXPECT_NE(record.namePrefix[0], 0xA5A5);
}

TEST_F(PropertyTransportBoardTest, DeviceConfigAnswerNamesTheBoardsFilters)
{
    DEVICE_CONFIG record{};
    ASSERT_EQ(GetDeviceInfoRecord(&ctrl, &record), S_OK);
    EXPECT_EQ(record.driverVersion[0], 2u);
    EXPECT_EQ(record.driverVersion[1], 1u);
    EXPECT_EQ(record.driverVersion[2], 62u);
    EXPECT_EQ(record.driverVersion[3], 0u);
    // The friendly name is the prefix, "Video Device " and the device number.
    std::u16string prefix(record.namePrefix);
    ASSERT_FALSE(prefix.empty());
    EXPECT_EQ(prefix.back(), u' ');
    const std::u16string number = videoName.substr(videoName.rfind(u' ') + 1);
    EXPECT_EQ(videoName, prefix + u"Video Device " + number);
    EXPECT_EQ(std::to_string(record.deviceNumber), std::string(number.begin(), number.end()));
}

TEST_F(PropertyTransportBoardTest, AGetOnAnUnboundHandleFailsAndLeavesEveryByteOfTheRecord)
{
    CPropertyGetSetCtrl unbound;
    ASSERT_EQ(unbound.GetFilterHandle(), nullptr);
    auto record = Filled<DEVICE_CONFIG>(0x3C);
    const auto before = record;
    const HRESULT result = GetDeviceInfoRecord(&unbound, &record);
    EXPECT_TRUE(FAILED(result)) << std::hex << result;
    EXPECT_TRUE(SameBytes(record, before));
    EXPECT_TRUE(RequestsOn(video).empty());
}

TEST_F(PropertyTransportBoardTest, ARequestTheDriverRefusesLeavesTheRecordAsItWas)
{
    // A pin type the crop set does not know: the driver fails the request.
    auto record = Filled<CROP_RECORD>(0x11);
    record.pinType = 7;
    const auto before = record;
    const HRESULT result = GetCropRecord(&ctrl, &record);
    EXPECT_TRUE(FAILED(result)) << std::hex << result;
    EXPECT_TRUE(SameBytes(record, before));
    const auto requests = RequestsOn(video);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_LT(requests[0].status, 0);
}

TEST_F(PropertyTransportBoardTest, ASetTakesBackTheDriversAnswer)
{
    BrevicorCCRecord record{};
    record.pinType = kPinTypeSelectorCapture;
    ASSERT_EQ(GetCaptionRecord(&ctrl, &record), S_OK);
    // The driver keeps the reference size within its bounds and answers what it applied; no
    // registry write for this one.
    record.enable = 0;
    record.referenceHeight = 5000;
    record.noPersist = 1;
    ASSERT_EQ(SetCaptionRecord(&ctrl, &record), S_OK);
    EXPECT_EQ(record.referenceHeight, 1080u);

    const auto requests = RequestsOn(video);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].set, PROPSETID_BREVICOR_CC);
    EXPECT_EQ(requests[1].flags, 2u);
    EXPECT_EQ(requests[1].inputLength, 600u);
    EXPECT_EQ(requests[1].outputLength, 600u);
}

// The window thread and the notification thread of a page send on the one control at once, each
// with its own record: every answer is whole and the driver's own.
TEST_F(PropertyTransportBoardTest, TwoThreadsSendOnOneControlAtOnce)
{
    DEVICE_CONFIG device{};
    ASSERT_EQ(GetDeviceInfoRecord(&ctrl, &device), S_OK);
    VIDEODECODER_RECORD decoder{};
    ASSERT_EQ(GetVideoInfoRecord(&ctrl, &decoder), S_OK);

    struct Work {
        const CPropertyGetSetCtrl* ctrl;
        const DEVICE_CONFIG* device;
        const VIDEODECODER_RECORD* decoder;
        bool decoderSide;
        int mismatches = 0;
        int failures = 0;
    };
    auto routine = [](LPVOID parameter) -> DWORD {
        auto* work = static_cast<Work*>(parameter);
        for (int i = 0; i < 50; ++i) {
            if (work->decoderSide) {
                VIDEODECODER_RECORD record{};
                if (FAILED(GetVideoInfoRecord(work->ctrl, &record)))
                    ++work->failures;
                else if (!SameBytes(record, *work->decoder))
                    ++work->mismatches;
            } else {
                DEVICE_CONFIG record{};
                if (FAILED(GetDeviceInfoRecord(work->ctrl, &record)))
                    ++work->failures;
                else if (!SameBytes(record, *work->device))
                    ++work->mismatches;
            }
        }
        return 0;
    };
    Work works[2] = {{&ctrl, &device, &decoder, false}, {&ctrl, &device, &decoder, true}};
    HANDLE threads[2];
    for (int i = 0; i < 2; ++i) {
        threads[i] = CreateThread(nullptr, 0, routine, &works[i], 0, nullptr);
        ASSERT_NE(threads[i], nullptr);
    }
    for (HANDLE thread : threads) {
        EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
        CloseHandle(thread);
    }
    for (const Work& work : works) {
        EXPECT_EQ(work.failures, 0);
        EXPECT_EQ(work.mismatches, 0);
    }
    EXPECT_EQ(RequestsOn(video).size(), 102u);
}

// A page binds to the handle of the filter its sheet was opened for, as the kernel-streaming proxy
// gives it: requests through the control reach that filter.
TEST_F(PropertyTransportBoardTest, TheProxysObjectHandleIsTheHandleRequestsGoTo)
{
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    ICreateDevEnum* devices = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                               reinterpret_cast<void**>(&devices)),
              S_OK);
    IEnumMoniker* list = nullptr;
    ASSERT_EQ(devices->CreateClassEnumerator(AM_KSCATEGORY_CAPTURE, &list, 0), S_OK);
    IBaseFilter* filter = nullptr;
    IMoniker* moniker = nullptr;
    while (!filter && list->Next(1, &moniker, nullptr) == S_OK) {
        IPropertyBag* bag = nullptr;
        if (SUCCEEDED(
                moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag)))) {
            VARIANT value;
            VariantInit(&value);
            if (SUCCEEDED(bag->Read(u"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR &&
                videoName == reinterpret_cast<const char16_t*>(value.bstrVal))
                moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter));
            VariantClear(&value);
            bag->Release();
        }
        moniker->Release();
    }
    list->Release();
    devices->Release();
    ASSERT_NE(filter, nullptr);

    IKsObject* object = nullptr;
    ASSERT_EQ(filter->QueryInterface(IID_IKsObject, reinterpret_cast<void**>(&object)), S_OK);
    CPropertyGetSetCtrl bound(object->KsGetObjectHandle());
    ASSERT_NE(bound.GetFilterHandle(), nullptr);
    standin::ClearKsRequests();
    DEVICE_CONFIG record{};
    EXPECT_EQ(GetDeviceInfoRecord(&bound, &record), S_OK);
    EXPECT_EQ(record.driverVersion[0], 2u);
    const auto requests = RequestsOn(bound.GetFilterHandle());
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].set, PROPSETID_BREVICOR_DEVICE_CONFIG);

    object->Release();
    filter->Release();
    CoUninitialize();
}

// The input multiplexer's node and the first input's volume node and source, from the audio filter.
struct AudioNodes {
    ULONG mux = 0;
    ULONG volume = 0;
    ULONG source = 0;
};

class NodeTransportBoardTest : public PropertyTransportBoardTest {
protected:
    void SetUp() override
    {
        PropertyTransportBoardTest::SetUp();
        if (HasFatalFailure())
            return;
        audio = OpenFilter(KSCATEGORY_AUDIO, u"Audio 1");
        ASSERT_NE(audio, INVALID_HANDLE_VALUE);
        audioCtrl.SetFilterHandle(audio);
        BrevicorAudioInputCountRecord count{};
        ASSERT_EQ(GetAudioInputCountRecord(&audioCtrl, &count), S_OK);
        ASSERT_GE(count.inputCount, 1u);
        nodes.mux = count.muxNodeId;
        BrevicorAudioInputInfoRecord input{};
        input.lookupMode = 1;
        input.inputIndex = 0;
        ASSERT_EQ(GetAudioInputInfoRecord(&audioCtrl, &input), S_OK);
        nodes.volume = input.topology.volumeNodeId;
        nodes.source = input.topology.muxSource;
        standin::ClearKsRequests();
    }

    static ULONG Word(const standin::KsRequestRecord& sent, size_t offset)
    {
        ULONG word = 0;
        std::memcpy(&word, sent.input.data() + offset, sizeof(word));
        return word;
    }

    HANDLE audio = INVALID_HANDLE_VALUE;
    CPropertyGetSetCtrl audioCtrl;
    AudioNodes nodes;
};

TEST_F(NodeTransportBoardTest, AVolumeRequestNamesTheNodeAndChannelWithAFourByteValue)
{
    const LONG level = -3 * 65536;
    ASSERT_EQ(SetNodeVolumeLevel(&audioCtrl, nodes.volume, 1, level), S_OK);
    LONG read = 0x7777;
    ASSERT_EQ(GetNodeVolumeLevel(&audioCtrl, nodes.volume, 1, &read), S_OK);
    EXPECT_EQ(read, level);

    const auto requests = RequestsOn(audio);
    ASSERT_EQ(requests.size(), 2u);
    const ULONG flags[2] = {0x10000002u, 0x10000001u};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(requests[i].ioControl, 0x2F0003u);
        EXPECT_EQ(requests[i].set, KSPROPSETID_Audio);
        EXPECT_EQ(requests[i].id, static_cast<ULONG>(KSPROPERTY_AUDIO_VOLUMELEVEL));
        EXPECT_EQ(requests[i].flags, flags[i]);
        EXPECT_EQ(requests[i].inputLength, 40u);
        EXPECT_EQ(requests[i].outputLength, 4u);
        ASSERT_GE(requests[i].input.size(), 40u);
        EXPECT_EQ(Word(requests[i], 24), nodes.volume);
        EXPECT_EQ(Word(requests[i], 28), 0u);
        EXPECT_EQ(Word(requests[i], 32), 1u);
        EXPECT_EQ(Word(requests[i], 36), 0u);
    }
}

TEST_F(NodeTransportBoardTest, AMuxRequestIsTheShortNodeForm)
{
    // A filter of one input has no multiplexer to switch: the set is refused, the get answers.
    EXPECT_TRUE(FAILED(SetNodeMuxSource(&audioCtrl, nodes.mux, nodes.source)));
    ULONG source = 0xFFFF;
    const HRESULT got = GetNodeMuxSource(&audioCtrl, nodes.mux, &source);
    if (FAILED(got)) {
        EXPECT_EQ(source, 0xFFFFu);
    }

    const auto requests = RequestsOn(audio);
    ASSERT_EQ(requests.size(), 2u);
    const ULONG flags[2] = {0x10000002u, 0x10000001u};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(requests[i].set, KSPROPSETID_Audio);
        EXPECT_EQ(requests[i].id, static_cast<ULONG>(KSPROPERTY_AUDIO_MUX_SOURCE));
        EXPECT_EQ(requests[i].flags, flags[i]);
        EXPECT_EQ(requests[i].inputLength, 32u);
        EXPECT_EQ(requests[i].outputLength, 4u);
        ASSERT_GE(requests[i].input.size(), 32u);
        EXPECT_EQ(Word(requests[i], 24), nodes.mux);
        EXPECT_EQ(Word(requests[i], 28), 0u);
    }
}

TEST_F(NodeTransportBoardTest, ANodeGetTheDriverRefusesLeavesTheValue)
{
    // No node of the filter has this id.
    LONG level = 0x1234;
    EXPECT_TRUE(FAILED(GetNodeVolumeLevel(&audioCtrl, 0xBAD, 0, &level)));
    EXPECT_EQ(level, 0x1234);
    ULONG source = 0x5678;
    CPropertyGetSetCtrl unbound;
    EXPECT_TRUE(FAILED(GetNodeMuxSource(&unbound, nodes.mux, &source)));
    EXPECT_EQ(source, 0x5678u);
}

} // namespace
