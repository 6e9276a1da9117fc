// Pins through the user side: KsCreatePin on the test minidriver's filter with format checks, the
// order of SetDataFormat and Create, instance counts, one-step state walks (and their failure), the
// pin set at its size boundaries with intersection, the connection set, walks, bags and clocks.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "KsMinidriver.h"
#include "KsMinidriverFixture.h"
#include "km/ksclock.h"
#include "standin/ks.h"
#include "um/ks.h"
#include "um/windows.h"

namespace {

using kstest::Property;



struct ConnectRequest {
    KSPIN_CONNECT connect;
    kstest::VideoRange format;
};

ConnectRequest Connect(int range, ULONG pinId = 0)
{
    ConnectRequest request{};
    request.connect.Interface.Set = KSINTERFACESETID_Standard;
    request.connect.Medium.Set = KSMEDIUMSETID_Standard;
    request.connect.PinId = pinId;
    request.connect.Priority.PriorityClass = KSPRIORITY_NORMAL;
    request.format = kstest::CaptureRange(range);
    return request;
}

KSP_PIN PinProperty(ULONG id, ULONG pinId = 0)
{
    KSP_PIN p{};
    p.Property.Set = KSPROPSETID_Pin;
    p.Property.Id = id;
    p.Property.Flags = KSPROPERTY_TYPE_GET;
    p.PinId = pinId;
    return p;
}


} // namespace

class KsPinTest : public kstest::MinidriverTest {
protected:
    void SetUp() override
    {
        MinidriverTest::SetUp();
        if (HasFatalFailure())
            return;
        filter_ = OpenCapture();
        ASSERT_NE(filter_, INVALID_HANDLE_VALUE);
    }
    void TearDown() override
    {
        if (filter_ != INVALID_HANDLE_VALUE)
            CloseHandle(filter_);
        MinidriverTest::TearDown();
    }
    DWORD Create(ConnectRequest request, HANDLE* pin)
    {
        return KsCreatePin(filter_, &request.connect, GENERIC_READ, pin);
    }
    DWORD SetState(HANDLE pin, KSSTATE state)
    {
        const KSPROPERTY p = Property(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE, KSPROPERTY_TYPE_SET);
        DWORD bytes = 0;
        return Ask(pin, &p, sizeof p, &state, sizeof state, &bytes);
    }
    KSSTATE GetState(HANDLE pin)
    {
        const KSPROPERTY p = Property(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE, KSPROPERTY_TYPE_GET);
        KSSTATE state = KSSTATE(99);
        DWORD bytes = 0;
        EXPECT_EQ(Ask(pin, &p, sizeof p, &state, sizeof state, &bytes), 0u);
        return state;
    }
    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> hold(kstest::Pin().lock);
        return kstest::Pin().calls;
    }
    std::vector<std::pair<KSSTATE, KSSTATE>> Steps()
    {
        std::lock_guard<std::mutex> hold(kstest::Pin().lock);
        return kstest::Pin().steps;
    }

    HANDLE filter_ = INVALID_HANDLE_VALUE;
};

TEST_F(KsPinTest, AFormatInARangeIsHandedToSetDataFormatBeforeCreate)
{
    HANDLE pin = nullptr;
    ASSERT_EQ(Create(Connect(1), &pin), 0u);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"format", "create"}));
    EXPECT_EQ(kstest::Pin().lastRange, 1);
    EXPECT_EQ(standin::KsOpenPinCount(), 1u);
    // The pin's own table answers on its handle, with its context and its parent filter.
    const KSPROPERTY p = Property(kstest::kPinPropertySet, kstest::kPinValue, KSPROPERTY_TYPE_GET);
    ULONG words[2] = {};
    DWORD bytes = 0;
    ASSERT_EQ(Ask(pin, &p, sizeof p, words, sizeof words, &bytes), 0u);
    EXPECT_EQ(words[0], 0x100u);
    EXPECT_EQ(words[1], 1u); // a pin's request is handled by its parent filter
    EXPECT_TRUE(CloseHandle(pin));
    EXPECT_EQ(Calls().back(), "close");
    EXPECT_EQ(kstest::Seen().bagItemsFreed.load(), 1);
    EXPECT_EQ(standin::KsOpenPinCount(), 0u);
}

TEST_F(KsPinTest, BadConnectRequestsAreRefusedBeforeThePinRuns)
{
    HANDLE pin = nullptr;
    ConnectRequest outside = Connect(0);
    outside.format.head.SubFormat = KSDATAFORMAT_SUBTYPE_WILDCARD; // a wildcard is a range's, not a format's
    outside.format.head.MajorFormat.Data1 ^= 1;
    EXPECT_EQ(Create(outside, &pin), DWORD(ERROR_NO_MATCH));
    EXPECT_EQ(Create(Connect(0, 1), &pin), DWORD(ERROR_INVALID_PARAMETER)); // no pin 1
    ConnectRequest shortFormat = Connect(0);
    shortFormat.format.head.FormatSize = sizeof(KSDATAFORMAT) - 1;
    EXPECT_EQ(Create(shortFormat, &pin), DWORD(ERROR_INVALID_PARAMETER));
    ConnectRequest badInterface = Connect(0);
    badInterface.connect.Interface.Id = 7;
    EXPECT_EQ(Create(badInterface, &pin), DWORD(ERROR_NO_MATCH));
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(pin, nullptr);
    EXPECT_EQ(KsCreatePin(filter_, nullptr, GENERIC_READ, &pin), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(KsPinTest, AFailingSetDataFormatOrCreateFailsTheOpenAndUndoesThePin)
{
    HANDLE pin = nullptr;
    kstest::Pin().refuseFormat = true;
    EXPECT_EQ(Create(Connect(0), &pin), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Calls(), (std::vector<std::string>{"format"}));
    kstest::ResetPin();
    kstest::Pin().refuseCreate = true;
    EXPECT_EQ(Create(Connect(0), &pin), DWORD(ERROR_NO_SYSTEM_RESOURCES));
    EXPECT_EQ(standin::KsOpenPinCount(), 0u);
    kstest::ResetPin();
    // The failed instances left nothing behind: the one instance can still be made.
    ASSERT_EQ(Create(Connect(0), &pin), 0u);
    CloseHandle(pin);
}

TEST_F(KsPinTest, OnlyThePossibleInstancesAreMadeAndCounted)
{
    HANDLE first = nullptr, second = nullptr;
    ASSERT_EQ(Create(Connect(0), &first), 0u);
    EXPECT_NE(Create(Connect(1), &second), 0u);
    KSP_PIN p = PinProperty(KSPROPERTY_PIN_CINSTANCES);
    KSPIN_CINSTANCES counts{};
    DWORD bytes = 0;
    ASSERT_EQ(Ask(filter_, &p, sizeof p, &counts, sizeof counts, &bytes), 0u);
    EXPECT_EQ(counts.PossibleCount, 1u);
    EXPECT_EQ(counts.CurrentCount, 1u);
    CloseHandle(first);
    ASSERT_EQ(Ask(filter_, &p, sizeof p, &counts, sizeof counts, &bytes), 0u);
    EXPECT_EQ(counts.CurrentCount, 0u);
    ASSERT_EQ(Create(Connect(1), &second), 0u);
    CloseHandle(second);
}

TEST_F(KsPinTest, StateChangesStepOneAtATimeAndCloseStepsDown)
{
    HANDLE pin = nullptr;
    ASSERT_EQ(Create(Connect(0), &pin), 0u);
    EXPECT_EQ(GetState(pin), KSSTATE_STOP);
    ASSERT_EQ(SetState(pin, KSSTATE_RUN), 0u);
    EXPECT_EQ(GetState(pin), KSSTATE_RUN);
    using Walk = std::vector<std::pair<KSSTATE, KSSTATE>>;
    EXPECT_EQ(Steps(), (Walk{{KSSTATE_ACQUIRE, KSSTATE_STOP}, {KSSTATE_PAUSE, KSSTATE_ACQUIRE},
                              {KSSTATE_RUN, KSSTATE_PAUSE}}));
    ASSERT_EQ(SetState(pin, KSSTATE_ACQUIRE), 0u);
    EXPECT_EQ(Steps().size(), 5u);
    EXPECT_EQ(Steps().back(), std::make_pair(KSSTATE_ACQUIRE, KSSTATE_PAUSE));
    ASSERT_EQ(SetState(pin, KSSTATE_RUN), 0u);
    kstest::ResetPin();
    CloseHandle(pin);
    EXPECT_EQ(Steps(), (Walk{{KSSTATE_PAUSE, KSSTATE_RUN}, {KSSTATE_ACQUIRE, KSSTATE_PAUSE},
                              {KSSTATE_STOP, KSSTATE_ACQUIRE}}));
    EXPECT_EQ(Calls(), (std::vector<std::string>{"close"})); // after the last step, and no step out of turn
}

TEST_F(KsPinTest, AFailingStepStopsTheWalkInTheLastGoodState)
{
    HANDLE pin = nullptr;
    ASSERT_EQ(Create(Connect(0), &pin), 0u);
    kstest::Pin().refuseStateTo = KSSTATE_PAUSE;
    EXPECT_EQ(SetState(pin, KSSTATE_RUN), DWORD(ERROR_BAD_COMMAND));
    EXPECT_EQ(GetState(pin), KSSTATE_ACQUIRE);
    EXPECT_EQ(Steps().size(), 2u);
    KSSTATE beyond = KSSTATE(4);
    const KSPROPERTY p = Property(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE, KSPROPERTY_TYPE_SET);
    DWORD bytes = 0;
    EXPECT_EQ(Ask(pin, &p, sizeof p, &beyond, sizeof beyond, &bytes), DWORD(ERROR_INVALID_PARAMETER));
    CloseHandle(pin);
}

TEST_F(KsPinTest, IntersectionFollowsTheBufferSizeProtocol)
{
    struct {
        KSP_PIN pin;
        KSMULTIPLE_ITEM list;
        kstest::VideoRange range;
    } request{PinProperty(KSPROPERTY_PIN_DATAINTERSECTION), {8 + sizeof(kstest::VideoRange), 1},
              kstest::CaptureRange(1)};
    request.range.info.width = 160;
    request.range.info.height = 120;
    kstest::VideoRange answer{};
    DWORD bytes = 0;
    EXPECT_EQ(Ask(filter_, &request, sizeof request, nullptr, 0, &bytes), DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(bytes, sizeof answer);
    EXPECT_EQ(Ask(filter_, &request, sizeof request, &answer, sizeof answer - 1, &bytes),
              DWORD(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_EQ(Ask(filter_, &request, sizeof request, &answer, sizeof answer, &bytes), 0u);
    EXPECT_EQ(bytes, sizeof answer);
    EXPECT_EQ(answer.head.SubFormat, KSDATAFORMAT_SUBTYPE_RGB32);
    EXPECT_EQ(answer.info.width, 160u);
    EXPECT_EQ(answer.info.sizeImage, 160u * 120 * 4);
    request.range.info.width = 2000; // larger than any range: no format
    EXPECT_EQ(Ask(filter_, &request, sizeof request, &answer, sizeof answer, &bytes), DWORD(ERROR_NO_MATCH));
    request.list.Size = sizeof request; // the list claims more than came
    EXPECT_EQ(Ask(filter_, &request, sizeof request, &answer, sizeof answer, &bytes), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(KsPinTest, AnIntersectionRangeWhosePaddingRunsPastTheListIsRefused)
{
    // 105 bytes: KSP_PIN, the list {Size 0x49, Count 1}, one range {FormatSize 0x41, Flags
    // KSDATARANGE_ATTRIBUTES} of a major format the pin lacks. Its attribute list would start past
    // the list's end: the request is malformed, not a range without a match.
    std::vector<UCHAR> request(105);
    const KSP_PIN address = PinProperty(KSPROPERTY_PIN_DATAINTERSECTION);
    const KSMULTIPLE_ITEM list{0x49, 1};
    KSDATARANGE range{};
    range.FormatSize = 0x41;
    range.Flags = KSDATARANGE_ATTRIBUTES;
    range.MajorFormat = KSDATAFORMAT_SPECIFIER_NONE;
    std::memcpy(request.data(), &address, sizeof address);
    std::memcpy(request.data() + sizeof address, &list, sizeof list);
    std::memcpy(request.data() + sizeof address + sizeof list, &range, sizeof range);
    kstest::VideoRange answer{};
    DWORD bytes = 0;
    EXPECT_EQ(Ask(filter_, request.data(), DWORD(request.size()), &answer, sizeof answer, &bytes),
              DWORD(ERROR_INVALID_PARAMETER));
    // Without the attribute flag the range ends the list: no match.
    range.Flags = 0;
    std::memcpy(request.data() + sizeof address + sizeof list, &range, sizeof range);
    EXPECT_EQ(Ask(filter_, request.data(), DWORD(request.size()), &answer, sizeof answer, &bytes),
              DWORD(ERROR_NO_MATCH));
}

TEST_F(KsPinTest, ThePinSetAnswersFromTheDescriptorAtItsSizeBoundaries)
{
    DWORD bytes = 0;
    const KSPROPERTY types = Property(KSPROPSETID_Pin, KSPROPERTY_PIN_CTYPES, KSPROPERTY_TYPE_GET);
    ULONG count = 0;
    EXPECT_EQ(Ask(filter_, &types, sizeof types, nullptr, 0, &bytes), DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(bytes, 4u);
    ASSERT_EQ(Ask(filter_, &types, sizeof types, &count, sizeof count, &bytes), 0u);
    EXPECT_EQ(count, 1u);
    KSP_PIN flow = PinProperty(KSPROPERTY_PIN_DATAFLOW);
    KSPIN_DATAFLOW dataFlow{};
    EXPECT_EQ(Ask(filter_, &flow, sizeof flow, &dataFlow, 2, &bytes), DWORD(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_EQ(Ask(filter_, &flow, sizeof flow, &dataFlow, sizeof dataFlow, &bytes), 0u);
    EXPECT_EQ(dataFlow, KSPIN_DATAFLOW_OUT);
    EXPECT_EQ(Ask(filter_, &flow, sizeof(KSPROPERTY), &dataFlow, sizeof dataFlow, &bytes),
              DWORD(ERROR_INVALID_USER_BUFFER)); // no pin id
    flow.PinId = 1;
    EXPECT_EQ(Ask(filter_, &flow, sizeof flow, &dataFlow, sizeof dataFlow, &bytes), DWORD(ERROR_INVALID_PARAMETER));

    KSP_PIN ranges = PinProperty(KSPROPERTY_PIN_DATARANGES);
    ASSERT_EQ(Ask(filter_, &ranges, sizeof ranges, nullptr, 0, &bytes), DWORD(ERROR_MORE_DATA));
    ASSERT_EQ(bytes, 8u + 2 * sizeof(kstest::VideoRange));
    std::vector<UCHAR> list(bytes);
    EXPECT_EQ(Ask(filter_, &ranges, sizeof ranges, list.data(), bytes - 1, &bytes), DWORD(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_EQ(Ask(filter_, &ranges, sizeof ranges, list.data(), DWORD(list.size()), &bytes), 0u);
    KSMULTIPLE_ITEM head;
    std::memcpy(&head, list.data(), sizeof head);
    EXPECT_EQ(head.Size, list.size());
    EXPECT_EQ(head.Count, 2u);
    EXPECT_EQ(std::memcmp(list.data() + 8 + sizeof(kstest::VideoRange), &kstest::CaptureRange(1),
                          sizeof(kstest::VideoRange)),
              0);

    KSP_PIN mediums = PinProperty(KSPROPERTY_PIN_MEDIUMS);
    struct {
        KSMULTIPLE_ITEM head;
        KSPIN_MEDIUM medium;
    } medium{};
    ASSERT_EQ(Ask(filter_, &mediums, sizeof mediums, &medium, sizeof medium, &bytes), 0u);
    EXPECT_EQ(medium.head.Count, 1u);
    EXPECT_EQ(medium.medium.Set, KSMEDIUMSETID_Standard);
    KSP_PIN category = PinProperty(KSPROPERTY_PIN_CATEGORY);
    GUID guid{};
    ASSERT_EQ(Ask(filter_, &category, sizeof category, &guid, sizeof guid, &bytes), 0u);
    EXPECT_EQ(guid, PINNAME_CAPTURE);
    KSP_PIN name = PinProperty(KSPROPERTY_PIN_NAME);
    char16_t text[32] = {};
    EXPECT_EQ(Ask(filter_, &name, sizeof name, text, sizeof text, &bytes), DWORD(ERROR_NOT_FOUND));
}

TEST_F(KsPinTest, TheConnectionSetGivesAndChangesTheFormatAndGivesTheFraming)
{
    HANDLE pin = nullptr;
    ASSERT_EQ(Create(Connect(0), &pin), 0u);
    DWORD bytes = 0;
    KSPROPERTY get = Property(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_DATAFORMAT, KSPROPERTY_TYPE_GET);
    kstest::VideoRange format{};
    EXPECT_EQ(Ask(pin, &get, sizeof get, nullptr, 0, &bytes), DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(bytes, sizeof format);
    ASSERT_EQ(Ask(pin, &get, sizeof get, &format, sizeof format, &bytes), 0u);
    EXPECT_EQ(format.head.SubFormat, KSDATAFORMAT_SUBTYPE_UYVY);
    // A new format goes through SetDataFormat with the old one; a refused one leaves the old.
    KSPROPERTY set = Property(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_DATAFORMAT, KSPROPERTY_TYPE_SET);
    kstest::VideoRange rgb = kstest::CaptureRange(1);
    kstest::Pin().refuseFormat = true;
    EXPECT_NE(Ask(pin, &set, sizeof set, &rgb, sizeof rgb, &bytes), 0u);
    ASSERT_EQ(Ask(pin, &get, sizeof get, &format, sizeof format, &bytes), 0u);
    EXPECT_EQ(format.head.SubFormat, KSDATAFORMAT_SUBTYPE_UYVY);
    kstest::Pin().refuseFormat = false;
    ASSERT_EQ(Ask(pin, &set, sizeof set, &rgb, sizeof rgb, &bytes), 0u);
    EXPECT_EQ(Calls().back(), "format-change");
    ASSERT_EQ(Ask(pin, &get, sizeof get, &format, sizeof format, &bytes), 0u);
    EXPECT_EQ(format.head.SubFormat, KSDATAFORMAT_SUBTYPE_RGB32);

    KSPROPERTY framing = Property(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_ALLOCATORFRAMING_EX,
                                  KSPROPERTY_TYPE_GET);
    KSALLOCATOR_FRAMING_EX answer{};
    EXPECT_EQ(Ask(pin, &framing, sizeof framing, &answer, sizeof answer - 1, &bytes),
              DWORD(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_EQ(Ask(pin, &framing, sizeof framing, &answer, sizeof answer, &bytes), 0u);
    EXPECT_EQ(bytes, 112u);
    EXPECT_EQ(answer.FramingItem[0].Frames, 4u);
    CloseHandle(pin);
}

TEST_F(KsPinTest, AReferenceClockExistsOnlyOnceTheGraphSetAMasterClock)
{
    HANDLE handle = nullptr;
    ASSERT_EQ(Create(Connect(0), &handle), 0u);
    PKSFILTER filter = nullptr;
    for (auto* factory = KsGetFirstChild(KsGetDeviceForDeviceObject(pdo_->AttachedDevice)); factory && !filter;)
        filter = static_cast<PKSFILTER>(KsGetFirstChild(factory));
    ASSERT_NE(filter, nullptr);
    PKSPIN pin = KsFilterGetFirstChildPin(filter, 0);
    ASSERT_NE(pin, nullptr);
    EXPECT_EQ(KsPinGetParentFilter(pin), filter);
    EXPECT_EQ(KsGetParent(pin), filter);
    EXPECT_EQ(KsPinGetNextSiblingPin(pin), nullptr);
    EXPECT_EQ(KsGetDevice(pin), KsGetDevice(filter));
    PIKSREFERENCECLOCK clock = nullptr;
    EXPECT_EQ(KsPinGetReferenceClockInterface(pin, &clock), STATUS_DEVICE_NOT_READY);
    EXPECT_EQ(clock, nullptr);

    HANDLE master = standin::CreateMachineClock();
    ASSERT_NE(master, nullptr);
    const KSPROPERTY p = Property(KSPROPSETID_Stream, KSPROPERTY_STREAM_MASTERCLOCK, KSPROPERTY_TYPE_SET);
    uint32_t value = uint32_t(reinterpret_cast<uintptr_t>(master));
    DWORD bytes = 0;
    uint32_t notAClock = uint32_t(reinterpret_cast<uintptr_t>(filter_));
    EXPECT_NE(Ask(handle, &p, sizeof p, &notAClock, sizeof notAClock, &bytes), 0u);
    ASSERT_EQ(Ask(handle, &p, sizeof p, &value, sizeof value, &bytes), 0u);
    CloseHandle(master); // the pin holds the clock
    ASSERT_EQ(KsPinGetReferenceClockInterface(pin, &clock), STATUS_SUCCESS);
    LONGLONG system = 0;
    const LONGLONG first = clock->GetCorrelatedTime(&system);
    EXPECT_GT(system, 0);
    EXPECT_GE(clock->GetTime(), first);
    KSSTATE state{};
    EXPECT_EQ(clock->GetState(&state), STATUS_SUCCESS);
    EXPECT_EQ(standin::KsReferenceClocksOutstanding(), 1u);
    CloseHandle(handle);
    EXPECT_GE(clock->GetTime(), first); // the interface outlives the pin
    EXPECT_EQ(clock->Release(), 0u);
    EXPECT_EQ(standin::KsReferenceClocksOutstanding(), 0u);
}

TEST_F(KsPinTest, PinsComeAndGoWhileTheFilterIsAsked)
{
    std::atomic<bool> stop{false};
    std::thread asker([&] {
        KSP_PIN p = PinProperty(KSPROPERTY_PIN_CINSTANCES);
        while (!stop) {
            KSPIN_CINSTANCES counts{};
            DWORD bytes = 0;
            EXPECT_EQ(Ask(filter_, &p, sizeof p, &counts, sizeof counts, &bytes), 0u);
            EXPECT_LE(counts.CurrentCount, 1u);
        }
    });
    std::vector<std::thread> makers;
    std::atomic<int> made{0};
    for (int t = 0; t < 3; ++t)
        makers.emplace_back([&] {
            for (int i = 0; i < 30; ++i) {
                HANDLE pin = nullptr;
                if (Create(Connect(i % 2), &pin) == 0) {
                    ++made;
                    EXPECT_EQ(SetState(pin, KSSTATE_RUN), 0u);
                    CloseHandle(pin);
                }
            }
        });
    for (auto& t : makers)
        t.join();
    stop = true;
    asker.join();
    EXPECT_GT(made.load(), 0);
    EXPECT_EQ(standin::KsOpenPinCount(), 0u);
}
