// The property transport's framing and its failures on the test minidriver, which knows none of
// the private sets and answers some requests with fewer bytes than were asked for: every helper's
// set, id, flags and lengths; a record left as it was by every failed request; a get answered
// short reported as a failure; no copy outside the record.
#include "KsMinidriverFixture.h"

#include "transport/CPropertyGetSetCtrl.h"
#include "transport/PropertyRequests.h"

#include "standin/ksrequests.h"
#include "um/ks.h"

#include "privatesetguids.h"

#include <cstring>
#include <functional>
#include <vector>

namespace {

class PropertyTransportTest : public kstest::MinidriverTest {
protected:
    void SetUp() override
    {
        MinidriverTest::SetUp();
        if (HasFatalFailure())
            return;
        filter = OpenCapture();
        ASSERT_NE(filter, INVALID_HANDLE_VALUE);
        ctrl.SetFilterHandle(filter);
        standin::ClearKsRequests();
    }
    void TearDown() override
    {
        if (filter != INVALID_HANDLE_VALUE)
            CloseHandle(filter);
        MinidriverTest::TearDown();
    }

    HANDLE filter = INVALID_HANDLE_VALUE;
    CPropertyGetSetCtrl ctrl;
};

// One helper as the test sees it: what it should put on the wire, and how to call it on a record
// of its type filled with one byte value; whether the record came back unchanged.
struct Helper {
    const char* name;
    GUID set;
    ULONG id;
    ULONG flags;
    ULONG length;
    std::function<bool(const CPropertyGetSetCtrl*, HRESULT*)> call;
};

template <class Record>
std::function<bool(const CPropertyGetSetCtrl*, HRESULT*)>
Calling(HRESULT (*helper)(const CPropertyGetSetCtrl*, Record*))
{
    return [helper](const CPropertyGetSetCtrl* ctrl, HRESULT* result) {
        Record record;
        std::memset(&record, 0x6B, sizeof(record));
        const Record before = record;
        *result = helper(ctrl, &record);
        return std::memcmp(&record, &before, sizeof(Record)) == 0;
    };
}

std::vector<Helper> AllHelpers()
{
    constexpr ULONG get = KSPROPERTY_TYPE_GET;
    constexpr ULONG set = KSPROPERTY_TYPE_SET;
    return {
        {"GetDeviceInfoRecord", PROPSETID_BREVICOR_DEVICE_CONFIG, 0, get, 628, Calling(GetDeviceInfoRecord)},
        {"GetAudioConfigRecord", PROPSETID_BREVICOR_AUDIO_CONFIG, 0, get, 122, Calling(GetAudioConfigRecord)},
        {"SetAudioConfigRecord", PROPSETID_BREVICOR_AUDIO_CONFIG, 0, set, 122, Calling(SetAudioConfigRecord)},
        {"GetAudioInputCountRecord", PROPSETID_BREVICOR_AUDIO_INPUT_INFO, 0, get, 32,
         Calling(GetAudioInputCountRecord)},
        {"GetAudioInputInfoRecord", PROPSETID_BREVICOR_AUDIO_INPUT_INFO, 1, get, 568,
         Calling(GetAudioInputInfoRecord)},
        {"GetVideoInfoRecord", PROPSETID_BREVICOR_VIDEODECODER, 0, get, 60, Calling(GetVideoInfoRecord)},
        {"SetVideoInfoRecord", PROPSETID_BREVICOR_VIDEODECODER, 0, set, 60, Calling(SetVideoInfoRecord)},
        {"GetCropRecord", PROPSETID_BREVICOR_CROP, 0, get, 80, Calling(GetCropRecord)},
        {"SetCropRecord", PROPSETID_BREVICOR_CROP, 0, set, 80, Calling(SetCropRecord)},
        {"GetCaptionRecord", PROPSETID_BREVICOR_CC, 0, get, 600, Calling(GetCaptionRecord)},
        {"SetCaptionRecord", PROPSETID_BREVICOR_CC, 0, set, 600, Calling(SetCaptionRecord)},
        {"GetCrossbarCapsRecord", PROPSETID_BREVICOR_CROSSBAR, 0, get, 32, Calling(GetCrossbarCapsRecord)},
        {"GetCrossbarPinInfoRecord", PROPSETID_BREVICOR_CROSSBAR, 1, get, 64,
         Calling(GetCrossbarPinInfoRecord)},
        {"GetCrossbarCanRouteRecord", PROPSETID_BREVICOR_CROSSBAR, 2, get, 40,
         Calling(GetCrossbarCanRouteRecord)},
        {"GetCrossbarRouteRecord", PROPSETID_BREVICOR_CROSSBAR, 3, get, 40, Calling(GetCrossbarRouteRecord)},
        {"SetCrossbarRouteRecord", PROPSETID_BREVICOR_CROSSBAR, 3, set, 40, Calling(SetCrossbarRouteRecord)},
        {"GetDeinterlaceRecord", PROPSETID_BREVICOR_DEINTERLACE, 0, get, 60, Calling(GetDeinterlaceRecord)},
        {"SetDeinterlaceRecord", PROPSETID_BREVICOR_DEINTERLACE, 0, set, 60, Calling(SetDeinterlaceRecord)},
        {"GetDiagnosticsRecord", PROPSETID_BREVICOR_DIAGNOSTICS, 0, get, 1849, Calling(GetDiagnosticsRecord)},
        {"SetDiagnosticsRecord", PROPSETID_BREVICOR_DIAGNOSTICS, 0, set, 1849, Calling(SetDiagnosticsRecord)},
        {"GetInputCountRecord", PROPSETID_BREVICOR_INPUTDETECT, 0, get, 32, Calling(GetInputCountRecord)},
        {"GetInputDetectRecord", PROPSETID_BREVICOR_INPUTDETECT, 1, get, 580, Calling(GetInputDetectRecord)},
        {"GetLossOfSignalRecord", PROPSETID_BREVICOR_LOS, 0, get, 1120, Calling(GetLossOfSignalRecord)},
        {"SetLossOfSignalRecord", PROPSETID_BREVICOR_LOS, 0, set, 1120, Calling(SetLossOfSignalRecord)},
        {"GetPerformanceRecord", PROPSETID_BREVICOR_PERFORMANCE, 0, get, 72, Calling(GetPerformanceRecord)},
        {"SetPerformanceRecord", PROPSETID_BREVICOR_PERFORMANCE, 0, set, 72, Calling(SetPerformanceRecord)},
        {"GetTraceRecord", PROPSETID_BREVICOR_TRACE, 0, get, 552, Calling(GetTraceRecord)},
        {"SetTraceRecord", PROPSETID_BREVICOR_TRACE, 0, set, 552, Calling(SetTraceRecord)},
        {"GetProcAmpRecord", PROPSETID_BREVICOR_VIDEOPROCAMP, 0, get, 2436, Calling(GetProcAmpRecord)},
        {"SetProcAmpRecord", PROPSETID_BREVICOR_VIDEOPROCAMP, 0, set, 2436, Calling(SetProcAmpRecord)},
        {"GetLogoRecord", PROPSETID_BREVICOR_LOGO, 0, get, 1132, Calling(GetLogoRecord)},
        {"SetLogoRecord", PROPSETID_BREVICOR_LOGO, 0, set, 1132, Calling(SetLogoRecord)},
    };
}

TEST_F(PropertyTransportTest, EveryHelperFramesItsSetItemAndLengthAndARefusalLeavesItsRecord)
{
    for (const Helper& helper : AllHelpers()) {
        SCOPED_TRACE(helper.name);
        standin::ClearKsRequests();
        HRESULT result = S_OK;
        const bool unchanged = helper.call(&ctrl, &result);
        // The minidriver knows none of these sets.
        EXPECT_TRUE(FAILED(result));
        EXPECT_TRUE(unchanged);
        const auto requests = standin::KsRequests();
        ASSERT_EQ(requests.size(), 1u);
        const standin::KsRequestRecord& sent = requests[0];
        EXPECT_EQ(sent.handle, filter);
        EXPECT_EQ(sent.ioControl, static_cast<ULONG>(IOCTL_KS_PROPERTY));
        EXPECT_EQ(sent.set, helper.set);
        EXPECT_EQ(sent.id, helper.id);
        EXPECT_EQ(sent.flags, helper.flags);
        EXPECT_EQ(sent.inputLength, helper.length);
        EXPECT_EQ(sent.outputLength, helper.length);
        // The payload went out as the caller left it.
        ASSERT_EQ(sent.input.size(), static_cast<size_t>(helper.length));
        for (size_t i = 24; i < sent.input.size(); ++i)
            ASSERT_EQ(sent.input[i], 0x6B) << i;
    }
}

TEST_F(PropertyTransportTest, EveryHelperFailsWithoutAControlOrARecord)
{
    EXPECT_EQ(GetDeviceInfoRecord(nullptr, nullptr), E_POINTER);
    DEVICE_CONFIG record{};
    EXPECT_EQ(GetDeviceInfoRecord(nullptr, &record), E_POINTER);
    EXPECT_EQ(SetLogoRecord(&ctrl, nullptr), E_POINTER);
    EXPECT_EQ(GetNodeVolumeLevel(&ctrl, 0, 0, nullptr), E_POINTER);
    EXPECT_EQ(GetNodeMuxSource(nullptr, 0, nullptr), E_POINTER);
    EXPECT_TRUE(standin::KsRequests().empty());
}

// The minidriver's wide record is 28 bytes of request and 8 bytes of answer: a get framed as a
// 28-byte record is answered with 8 bytes only.
TEST_F(PropertyTransportTest, AGetAnsweredWithFewerBytesThanTheRecordFailsAndLeavesIt)
{
    unsigned char record[28];
    std::memset(record, 0x42, sizeof(record));
    unsigned char before[28];
    std::memcpy(before, record, sizeof(record));
    const HRESULT result = ctrl.SendPropertyRecord(kstest::kTestPropertySet, kstest::kWideRecord,
                                                   KSPROPERTY_TYPE_GET, record, 28);
    EXPECT_EQ(result, HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
    EXPECT_EQ(std::memcmp(record, before, sizeof(record)), 0);
    const auto requests = standin::KsRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].status, STATUS_SUCCESS);
    EXPECT_EQ(requests[0].returned, 8u);
}

TEST_F(PropertyTransportTest, ARecordShorterThanItsHeaderIsRefusedUnsent)
{
    unsigned char record[23] = {};
    EXPECT_EQ(
        ctrl.SendPropertyRecord(kstest::kTestPropertySet, kstest::kLevel, KSPROPERTY_TYPE_GET, record, 23),
        E_INVALIDARG);
    EXPECT_EQ(
        ctrl.SendPropertyRecord(kstest::kTestPropertySet, kstest::kLevel, KSPROPERTY_TYPE_GET, nullptr, 24),
        E_INVALIDARG);
    EXPECT_TRUE(standin::KsRequests().empty());
}

TEST_F(PropertyTransportTest, NothingIsCopiedOutsideTheRecord)
{
    // A 28-byte record inside a larger buffer, asked with the record's length: the bytes around
    // it stay as they were, whatever the answer.
    unsigned char buffer[64];
    std::memset(buffer, 0x99, sizeof(buffer));
    ctrl.SendPropertyRecord(kstest::kTestPropertySet, kstest::kWideRecord, KSPROPERTY_TYPE_GET, buffer + 8,
                            28);
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(buffer[i], 0x99) << i;
    for (size_t i = 36; i < sizeof(buffer); ++i)
        EXPECT_EQ(buffer[i], 0x99) << i;
}

TEST_F(PropertyTransportTest, ANodeGetAnsweredInFullTakesTheValue)
{
    // The minidriver's node item answers 0x1000 + the node id in four bytes.
    ULONG value = 0;
    EXPECT_EQ(ctrl.SendNodeProperty(kstest::kNodePropertySet, kstest::kNodeValue, KSPROPERTY_TYPE_GET, 0,
                                    nullptr, &value, sizeof(value)),
              S_OK);
    EXPECT_EQ(value, 0x1000u);
    const auto requests = standin::KsRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].flags, static_cast<ULONG>(KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_TOPOLOGY));
    EXPECT_EQ(requests[0].inputLength, 32u);
    EXPECT_EQ(requests[0].outputLength, 4u);
}

TEST_F(PropertyTransportTest, ANodeGetAnsweredShortFailsAndLeavesTheValue)
{
    // An eight-byte value buffer for a four-byte answer.
    unsigned char value[8];
    std::memset(value, 0x24, sizeof(value));
    EXPECT_EQ(ctrl.SendNodeProperty(kstest::kNodePropertySet, kstest::kNodeValue, KSPROPERTY_TYPE_GET, 0,
                                    nullptr, value, sizeof(value)),
              HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
    for (unsigned char byte : value)
        EXPECT_EQ(byte, 0x24);
}

} // namespace
