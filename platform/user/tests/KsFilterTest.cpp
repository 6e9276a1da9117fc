// Kernel streaming through the user side: the test minidriver's filter found by category with its
// friendly name, opened by path, and asked through DeviceIoControl and KsSynchronousDeviceControl
// for properties (every dispatch status at its boundary, basic support, node and topology answers)
// and buffered events; filters' bags and own descriptors; surprise removal with a filter open.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include <cstring>
#include <vector>

#include "KsMinidriver.h"
#include "KsMinidriverFixture.h"
#include "um/cfgmgr32.h"
#include "um/ks.h"
#include "um/windows.h"
#include "standin/ks.h"
#include "standin/verifier.h"

namespace {

using kstest::Interfaces;
using kstest::Pnp;
using kstest::Property;

// The 1,124-byte block a notification client enables with: its KSEVENTDATA, then room for a record.
struct NotificationBlock {
    KSEVENTDATA data;
    UCHAR record[kstest::kNotifyRecordSize];
};
static_assert(sizeof(NotificationBlock) == kstest::kNotifyEnableSize && offsetof(NotificationBlock, record) == 16);

} // namespace

class KsFilterTest : public kstest::MinidriverTest {
protected:
    HANDLE Open() const { return OpenCapture(); }
};

TEST_F(KsFilterTest, TheInterfaceIsFoundByEachCategoryWithItsFriendlyNameAndReferenceString)
{
    const auto video = Interfaces(KSCATEGORY_VIDEO);
    ASSERT_EQ(video.size(), 1u);
    EXPECT_EQ(path_,
              u"\\\\?\\PCI#VEN_1172&DEV_0004&SUBSYS_00041172&REV_01#4&1&0&0020#"
              u"{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\{13637B79-A9F8-4CE5-8AB7-4C9C15CC4834}");
    EXPECT_EQ(video.front(),
              u"\\\\?\\PCI#VEN_1172&DEV_0004&SUBSYS_00041172&REV_01#4&1&0&0020#"
              u"{6994ad05-93ef-11d0-a3cc-00a0c9223196}\\{13637B79-A9F8-4CE5-8AB7-4C9C15CC4834}");
    EXPECT_TRUE(Interfaces(KSCATEGORY_AUDIO).empty());
    for (const auto& path : {path_, video.front()}) {
        DEVPROPTYPE type = 0;
        std::vector<BYTE> buffer(256);
        ULONG size = ULONG(buffer.size());
        ASSERT_EQ(CM_Get_Device_Interface_PropertyW(path.c_str(), &DEVPKEY_DeviceInterface_FriendlyName, &type,
                                                    buffer.data(), &size, 0),
                  CR_SUCCESS);
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(buffer.data())), kstest::kFriendlyName);
    }
    // Any other name under the device is not a filter.
    const std::u16string wrong = path_.substr(0, path_.rfind(u'\\')) + u"\\{00000000-0000-0000-0000-000000000000}";
    EXPECT_EQ(CreateFileW(wrong.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
}

TEST_F(KsFilterTest, PropertyLengthsAreCheckedBeforeTheHandlerAtEachBoundary)
{
    HANDLE filter = Open();
    ASSERT_NE(filter, INVALID_HANDLE_VALUE);
    DWORD bytes = 0;
    UCHAR request[32] = {};
    KSPROPERTY wide = Property(kstest::kTestPropertySet, kstest::kWideRecord, KSPROPERTY_TYPE_GET);
    std::memcpy(request, &wide, sizeof wide);
    ULONG data[4] = {};

    // Request one byte short of MinProperty (28): refused before the handler.
    EXPECT_EQ(Ask(filter, request, 27, data, 8, &bytes), DWORD(ERROR_INVALID_USER_BUFFER));
    // Shorter than a property header at all.
    EXPECT_EQ(Ask(filter, request, 23, data, 8, &bytes), DWORD(ERROR_INVALID_USER_BUFFER));
    // Data one byte short of MinData (8).
    EXPECT_EQ(Ask(filter, request, 28, data, 7, &bytes), DWORD(ERROR_INSUFFICIENT_BUFFER));
    // No data: the size the caller needs.
    EXPECT_EQ(Ask(filter, request, 28, nullptr, 0, &bytes), DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(bytes, 8u);
    EXPECT_EQ(kstest::Seen().handlerCalls, 0);
    // At both minimums the handler runs.
    EXPECT_EQ(Ask(filter, request, 28, data, 8, &bytes), 0u);
    EXPECT_EQ(bytes, 8u);
    EXPECT_EQ(data[0], kstest::kWideRecord);
    EXPECT_EQ(data[1], 0xABCDu);
    EXPECT_EQ(kstest::Seen().handlerCalls, 1);

    // The same boundaries as HRESULTs.
    ULONG returned = 0;
    EXPECT_EQ(KsSynchronousDeviceControl(filter, IOCTL_KS_PROPERTY, request, 27, data, 8, &returned),
              HRESULT_FROM_WIN32(ERROR_INVALID_USER_BUFFER));
    EXPECT_EQ(KsSynchronousDeviceControl(filter, IOCTL_KS_PROPERTY, request, 28, data, 7, &returned),
              HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(KsSynchronousDeviceControl(filter, IOCTL_KS_PROPERTY, request, 28, nullptr, 0, &returned),
              HRESULT_FROM_WIN32(ERROR_MORE_DATA));
    EXPECT_EQ(returned, 8u);
    EXPECT_EQ(KsSynchronousDeviceControl(filter, IOCTL_KS_PROPERTY, request, 28, data, 16, &returned), S_OK);
    EXPECT_EQ(returned, 8u);
    EXPECT_TRUE(CloseHandle(filter));
}

TEST_F(KsFilterTest, UnknownSetsItemsAndOperationsAreNotFoundWithoutReachingAHandler)
{
    HANDLE filter = Open();
    ASSERT_NE(filter, INVALID_HANDLE_VALUE);
    DWORD bytes = 0;
    ULONG value = 0;
    const GUID unknownSet = {0x01020304, 5, 6, {7, 8, 9, 10, 11, 12, 13, 14}};
    KSPROPERTY request = Property(unknownSet, kstest::kLevel, KSPROPERTY_TYPE_GET);
    EXPECT_EQ(Ask(filter, &request, sizeof request, &value, 4, &bytes), DWORD(ERROR_NOT_FOUND));
    request = Property(kstest::kTestPropertySet, 77, KSPROPERTY_TYPE_GET);
    EXPECT_EQ(Ask(filter, &request, sizeof request, &value, 4, &bytes), DWORD(ERROR_NOT_FOUND));
    request = Property(kstest::kTestPropertySet, kstest::kWideRecord, KSPROPERTY_TYPE_SET); // get only
    UCHAR wide[28] = {};
    std::memcpy(wide, &request, sizeof request);
    ULONG two[2] = {};
    EXPECT_EQ(Ask(filter, wide, 28, two, 8, &bytes), DWORD(ERROR_NOT_FOUND));
    // The general set is the driver's to supply; this one does not.
    request = Property(KSPROPSETID_General, KSPROPERTY_GENERAL_COMPONENTID, KSPROPERTY_TYPE_GET);
    EXPECT_EQ(Ask(filter, &request, sizeof request, &value, 4, &bytes), DWORD(ERROR_NOT_FOUND));
    EXPECT_EQ(kstest::Seen().handlerCalls, 0);

    // Get and set reach their handlers, and a handler's failure comes back as its error.
    request = Property(kstest::kTestPropertySet, kstest::kLevel, KSPROPERTY_TYPE_SET);
    value = 35;
    EXPECT_EQ(Ask(filter, &request, sizeof request, &value, 4, &bytes), 0u);
    value = 101;
    EXPECT_EQ(Ask(filter, &request, sizeof request, &value, 4, &bytes), DWORD(ERROR_INVALID_PARAMETER));
    request.Flags = KSPROPERTY_TYPE_GET;
    value = 0;
    EXPECT_EQ(Ask(filter, &request, sizeof request, &value, 4, &bytes), 0u);
    EXPECT_EQ(value, 35u);
    EXPECT_EQ(bytes, 4u);
    CloseHandle(filter);
}

TEST_F(KsFilterTest, BasicSupportAnswersFromTheValuesTable)
{
    HANDLE filter = Open();
    ASSERT_NE(filter, INVALID_HANDLE_VALUE);
    KSPROPERTY request = Property(kstest::kTestPropertySet, kstest::kLevel, KSPROPERTY_TYPE_BASICSUPPORT);
    DWORD bytes = 0;
    const ULONG whole = sizeof(KSPROPERTY_DESCRIPTION) + 2 * sizeof(KSPROPERTY_MEMBERSHEADER) +
                        sizeof(KSPROPERTY_STEPPING_LONG) + sizeof(ULONG);
    EXPECT_EQ(Ask(filter, &request, sizeof request, nullptr, 0, &bytes), DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(bytes, whole);

    ULONG access = 0;
    EXPECT_EQ(Ask(filter, &request, sizeof request, &access, 4, &bytes), 0u);
    EXPECT_EQ(access, ULONG(KSPROPERTY_TYPE_BASICSUPPORT | KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_SET));

    KSPROPERTY_DESCRIPTION description{};
    EXPECT_EQ(Ask(filter, &request, sizeof request, &description, sizeof description, &bytes), 0u);
    EXPECT_EQ(bytes, sizeof description);
    EXPECT_EQ(description.DescriptionSize, whole);
    EXPECT_EQ(description.MembersListCount, 2u);
    EXPECT_EQ(description.PropTypeSet.Id, 19u);

    std::vector<UCHAR> all(whole);
    EXPECT_EQ(Ask(filter, &request, sizeof request, all.data(), whole, &bytes), 0u);
    EXPECT_EQ(bytes, whole);
    KSPROPERTY_MEMBERSHEADER header{};
    std::memcpy(&header, all.data() + 40, sizeof header);
    EXPECT_EQ(header.MembersFlags, ULONG(KSPROPERTY_MEMBER_STEPPEDRANGES));
    KSPROPERTY_STEPPING_LONG steps{};
    std::memcpy(&steps, all.data() + 56, sizeof steps);
    EXPECT_EQ(steps.SteppingDelta, 5u);
    EXPECT_EQ(steps.Bounds.SignedMinimum, 0);
    EXPECT_EQ(steps.Bounds.SignedMaximum, 100);
    std::memcpy(&header, all.data() + 72, sizeof header);
    EXPECT_EQ(header.Flags, ULONG(KSPROPERTY_MEMBER_FLAG_DEFAULT));
    ULONG defaultValue = 0;
    std::memcpy(&defaultValue, all.data() + 88, 4);
    EXPECT_EQ(defaultValue, 50u);
    EXPECT_EQ(kstest::Seen().handlerCalls, 0);
    CloseHandle(filter);
}

TEST_F(KsFilterTest, NodePropertiesAndTheTopologySet)
{
    HANDLE filter = Open();
    ASSERT_NE(filter, INVALID_HANDLE_VALUE);
    KSP_NODE node{};
    node.Property = Property(kstest::kNodePropertySet, kstest::kNodeValue,
                             KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_TOPOLOGY);
    node.NodeId = 1;
    ULONG value = 0;
    DWORD bytes = 0;
    EXPECT_EQ(Ask(filter, &node, sizeof node, &value, 4, &bytes), 0u);
    EXPECT_EQ(value, 0x1001u);
    node.NodeId = 2; // beyond the nodes
    EXPECT_EQ(Ask(filter, &node, sizeof node, &value, 4, &bytes), DWORD(ERROR_NOT_FOUND));
    EXPECT_EQ(Ask(filter, &node, 24, &value, 4, &bytes), DWORD(ERROR_INVALID_USER_BUFFER));
    // The node's set is not the filter's.
    KSPROPERTY plain = Property(kstest::kNodePropertySet, kstest::kNodeValue, KSPROPERTY_TYPE_GET);
    EXPECT_EQ(Ask(filter, &plain, sizeof plain, &value, 4, &bytes), DWORD(ERROR_NOT_FOUND));

    KSPROPERTY topology = Property(KSPROPSETID_Topology, KSPROPERTY_TOPOLOGY_CATEGORIES, KSPROPERTY_TYPE_GET);
    EXPECT_EQ(Ask(filter, &topology, sizeof topology, nullptr, 0, &bytes), DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(bytes, 8u + 2 * 16);
    std::vector<UCHAR> answer(40);
    EXPECT_EQ(Ask(filter, &topology, sizeof topology, answer.data(), 39, &bytes), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(Ask(filter, &topology, sizeof topology, answer.data(), 40, &bytes), 0u);
    KSMULTIPLE_ITEM head{};
    std::memcpy(&head, answer.data(), 8);
    EXPECT_EQ(head.Size, 40u);
    EXPECT_EQ(head.Count, 2u);
    GUID second{};
    std::memcpy(&second, answer.data() + 24, 16);
    EXPECT_EQ(second, KSCATEGORY_VIDEO);
    topology.Id = KSPROPERTY_TOPOLOGY_CONNECTIONS;
    answer.assign(8 + 2 * sizeof(KSTOPOLOGY_CONNECTION), 0);
    EXPECT_EQ(Ask(filter, &topology, sizeof topology, answer.data(), DWORD(answer.size()), &bytes), 0u);
    KSTOPOLOGY_CONNECTION first{};
    std::memcpy(&first, answer.data() + 8, sizeof first);
    EXPECT_EQ(first.FromNode, KSFILTER_NODE);
    EXPECT_EQ(first.ToNodePin, 1u);
    CloseHandle(filter);
}

TEST_F(KsFilterTest, SetSupportNamingNoSetListsTheSetsTheFilterAndItsNodesAnswer)
{
    HANDLE filter = Open();
    ASSERT_NE(filter, INVALID_HANDLE_VALUE);
    KSPROPERTY request = Property(GUID_NULL, 0, KSPROPERTY_TYPE_SETSUPPORT);
    DWORD bytes = 0;
    EXPECT_EQ(Ask(filter, &request, sizeof request, nullptr, 0, &bytes), DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(bytes, 3u * 16);
    std::vector<GUID> sets(3);
    EXPECT_EQ(Ask(filter, &request, sizeof request, sets.data(), 3 * 16 - 1, &bytes),
              DWORD(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_EQ(Ask(filter, &request, sizeof request, sets.data(), 3 * 16, &bytes), 0u);
    EXPECT_EQ(bytes, 3u * 16);
    // The table's set first, then the framework's own.
    EXPECT_EQ(sets[0], kstest::kTestPropertySet);
    EXPECT_EQ(sets[1], KSPROPSETID_Pin);
    EXPECT_EQ(sets[2], KSPROPSETID_Topology);
    EXPECT_EQ(kstest::Seen().handlerCalls, 0);

    // A node lists its own table's sets.
    KSP_NODE node{};
    node.Property = Property(GUID_NULL, 0, KSPROPERTY_TYPE_SETSUPPORT | KSPROPERTY_TYPE_TOPOLOGY);
    node.NodeId = 1;
    GUID nodeSets[2] = {};
    ASSERT_EQ(Ask(filter, &node, sizeof node, nodeSets, sizeof nodeSets, &bytes), 0u);
    EXPECT_EQ(bytes, 16u);
    EXPECT_EQ(nodeSets[0], kstest::kNodePropertySet);
    CloseHandle(filter);
}

TEST_F(KsFilterTest, ABufferedEventRaisedTwiceOnOneOfTwoFiltersIsReadBackInOrderOnlyThere)
{
    HANDLE first = Open(), second = Open();
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    HANDLE notify1 = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE notify2 = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(notify1, nullptr);
    NotificationBlock block1{}, block2{};
    block1.data = {KSEVENTF_EVENT_HANDLE, ULONG(reinterpret_cast<uintptr_t>(notify1)), {0, 0}};
    block2.data = {KSEVENTF_EVENT_HANDLE, ULONG(reinterpret_cast<uintptr_t>(notify2)), {0, 0}};
    KSEVENT enable = Property(kstest::kNotificationSet, 0, KSEVENT_TYPE_ENABLEBUFFERED);
    ULONG bytes = 0;
    // Enable data one byte short of the item's 1,124.
    EXPECT_EQ(KsSynchronousDeviceControl(first, IOCTL_KS_ENABLE_EVENT, &enable, sizeof enable, &block1,
                                         kstest::kNotifyEnableSize - 1, &bytes),
              HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_EQ(KsSynchronousDeviceControl(first, IOCTL_KS_ENABLE_EVENT, &enable, sizeof enable, &block1,
                                         sizeof block1, &bytes),
              S_OK);
    ASSERT_EQ(KsSynchronousDeviceControl(second, IOCTL_KS_ENABLE_EVENT, &enable, sizeof enable, &block2,
                                         sizeof block2, &bytes),
              S_OK);

    KSQUERYBUFFER query{};
    query.Event = Property(kstest::kNotificationSet, 0, KSEVENT_TYPE_QUERYBUFFER);
    query.EventData = standin::KsEventDataCookie(&block1);
    ASSERT_NE(query.EventData, 0u);
    // An empty queue: a failure the notification thread ignores.
    HRESULT empty = KsSynchronousDeviceControl(first, IOCTL_KS_ENABLE_EVENT, &query, sizeof query, block1.record,
                                               sizeof block1.record, &bytes);
    EXPECT_LT(empty, 0);
    EXPECT_EQ(empty, HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS));

    std::vector<UCHAR> record(kstest::kNotifyRecordSize);
    for (UCHAR mark : {UCHAR(0x11), UCHAR(0x22)}) {
        record.assign(record.size(), mark);
        DWORD none = 0;
        ASSERT_TRUE(DeviceIoControl(first, kstest::kRaiseNotification, record.data(), DWORD(record.size()), nullptr,
                                    0, &none, nullptr));
    }
    EXPECT_EQ(WaitForSingleObject(notify1, 0), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(notify2, 0), DWORD(WAIT_TIMEOUT));
    for (UCHAR mark : {UCHAR(0x11), UCHAR(0x22)}) {
        std::memset(block1.record, 0, sizeof block1.record);
        ASSERT_EQ(KsSynchronousDeviceControl(first, IOCTL_KS_ENABLE_EVENT, &query, sizeof query, block1.record,
                                             sizeof block1.record, &bytes),
                  S_OK);
        EXPECT_EQ(bytes, kstest::kNotifyRecordSize);
        EXPECT_EQ(block1.record[0], mark);
        EXPECT_EQ(block1.record[kstest::kNotifyRecordSize - 1], mark);
    }
    EXPECT_LT(KsSynchronousDeviceControl(first, IOCTL_KS_ENABLE_EVENT, &query, sizeof query, block1.record,
                                         sizeof block1.record, &bytes),
              0);
    // The other filter's entry got nothing.
    KSQUERYBUFFER other = query;
    other.EventData = standin::KsEventDataCookie(&block2);
    EXPECT_EQ(KsSynchronousDeviceControl(second, IOCTL_KS_ENABLE_EVENT, &other, sizeof other, block2.record,
                                         sizeof block2.record, &bytes),
              HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS));
    // Another filter's cookie names nothing here.
    EXPECT_EQ(KsSynchronousDeviceControl(second, IOCTL_KS_ENABLE_EVENT, &query, sizeof query, block2.record,
                                         sizeof block2.record, &bytes),
              HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER));

    // Disabling by the enabling data; a second disable finds nothing.
    EXPECT_EQ(KsSynchronousDeviceControl(first, IOCTL_KS_DISABLE_EVENT, &block1, sizeof block1, nullptr, 0, &bytes),
              S_OK);
    EXPECT_EQ(standin::KsEventDataCookie(&block1), 0u);
    EXPECT_LT(KsSynchronousDeviceControl(first, IOCTL_KS_DISABLE_EVENT, &block1, sizeof block1, nullptr, 0, &bytes),
              0);
    CloseHandle(first); // the second filter's entry goes with its close
    CloseHandle(second);
    EXPECT_EQ(standin::KsEventDataCookie(&block2), 0u);
    CloseHandle(notify1);
    CloseHandle(notify2);
}

TEST_F(KsFilterTest, TheBufferKeepsTheNewest64Records)
{
    HANDLE filter = Open();
    HANDLE notify = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    NotificationBlock block{};
    block.data = {KSEVENTF_EVENT_HANDLE, ULONG(reinterpret_cast<uintptr_t>(notify)), {0, 0}};
    KSEVENT enable = Property(kstest::kNotificationSet, 0, KSEVENT_TYPE_ENABLEBUFFERED);
    ULONG bytes = 0;
    ASSERT_EQ(KsSynchronousDeviceControl(filter, IOCTL_KS_ENABLE_EVENT, &enable, sizeof enable, &block,
                                         sizeof block, &bytes),
              S_OK);
    for (ULONG i = 0; i < 70; ++i) {
        DWORD none = 0;
        ASSERT_TRUE(DeviceIoControl(filter, kstest::kRaiseNotification, &i, 4, nullptr, 0, &none, nullptr));
    }
    KSQUERYBUFFER query{};
    query.Event = Property(kstest::kNotificationSet, 0, KSEVENT_TYPE_QUERYBUFFER);
    query.EventData = standin::KsEventDataCookie(&block);
    ULONG value = 0;
    // Too small a buffer keeps the record.
    EXPECT_EQ(KsSynchronousDeviceControl(filter, IOCTL_KS_ENABLE_EVENT, &query, sizeof query, &value, 3, &bytes),
              HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
    for (ULONG expected = 6; expected < 70; ++expected) {
        ASSERT_EQ(KsSynchronousDeviceControl(filter, IOCTL_KS_ENABLE_EVENT, &query, sizeof query, &value, 4, &bytes),
                  S_OK);
        EXPECT_EQ(value, expected);
    }
    EXPECT_LT(KsSynchronousDeviceControl(filter, IOCTL_KS_ENABLE_EVENT, &query, sizeof query, &value, 4, &bytes), 0);
    CloseHandle(filter);
    CloseHandle(notify);
}

TEST_F(KsFilterTest, EachFilterEditsItsOwnDescriptorAndClosingFreesItsBag)
{
    HANDLE first = Open(), second = Open();
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_EQ(kstest::Seen().creates, 2);
    KSPROPERTY request = Property(kstest::kTestPropertySet, kstest::kEditFlags, KSPROPERTY_TYPE_SET);
    ULONG flags[2] = {7, 0};
    DWORD bytes = 0;
    EXPECT_EQ(Ask(first, &request, sizeof request, flags, 8, &bytes), 0u);
    flags[0] = 9;
    EXPECT_EQ(Ask(second, &request, sizeof request, flags, 8, &bytes), 0u);
    flags[0] = 11; // a second edit of the same filter keeps its copy
    EXPECT_EQ(Ask(second, &request, sizeof request, flags, 8, &bytes), 0u);
    request.Flags = KSPROPERTY_TYPE_GET;
    ULONG seen[2] = {};
    EXPECT_EQ(Ask(first, &request, sizeof request, seen, 8, &bytes), 0u);
    EXPECT_EQ(seen[0], 7u);
    EXPECT_EQ(seen[1], 1u);
    EXPECT_EQ(Ask(second, &request, sizeof request, seen, 8, &bytes), 0u);
    EXPECT_EQ(seen[0], 11u);
    EXPECT_EQ(kstest::TemplateDescriptor().Flags, 0u);

    EXPECT_EQ(kstest::Seen().bagItemsFreed, 0);
    CloseHandle(first);
    EXPECT_EQ(kstest::Seen().closes, 1);
    EXPECT_EQ(kstest::Seen().bagItemsFreed, 1);
    CloseHandle(second);
    EXPECT_EQ(kstest::Seen().bagItemsFreed, 2);
    EXPECT_EQ(standin::KsOpenFilterCount(), 0u);
}

TEST_F(KsFilterTest, TheWalksAndTheOpeningProcess)
{
    HANDLE first = Open(), second = Open();
    PKSDEVICE device = KsGetDeviceForDeviceObject(pdo_->AttachedDevice);
    ASSERT_NE(device, nullptr);
    auto* factory = static_cast<PKSFILTERFACTORY>(KsGetFirstChild(device));
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->FilterDescriptor, &kstest::TemplateDescriptor());
    EXPECT_EQ(KsGetNextSibling(factory), nullptr);
    auto* filter1 = static_cast<PKSFILTER>(KsGetFirstChild(factory));
    ASSERT_NE(filter1, nullptr);
    auto* filter2 = static_cast<PKSFILTER>(KsGetNextSibling(filter1));
    ASSERT_NE(filter2, nullptr);
    EXPECT_EQ(KsGetNextSibling(filter2), nullptr);
    EXPECT_EQ(KsGetDevice(filter2), device);
    EXPECT_EQ(KsFilterGetParentFilterFactory(filter1), factory);
    EXPECT_EQ(KsFilterGetFirstChildPin(filter1, 0), nullptr);
    // Recursive for their owner.
    KsAcquireDevice(device);
    KsAcquireDevice(device);
    KsReleaseDevice(device);
    KsReleaseDevice(device);
    KsAcquireControl(filter1);
    KsAcquireControl(filter1);
    KsReleaseControl(filter1);
    KsReleaseControl(filter1);

    PEPROCESS process = nullptr;
    DWORD bytes = 0;
    ASSERT_TRUE(DeviceIoControl(first, kstest::kOpeningProcess, nullptr, 0, &process, sizeof process, &bytes, nullptr));
    EXPECT_EQ(process, IoGetCurrentProcess());
    CloseHandle(first);
    EXPECT_EQ(KsGetFirstChild(factory), filter2);
    CloseHandle(second);
    EXPECT_EQ(KsGetFirstChild(factory), nullptr);
}

TEST_F(KsFilterTest, TheVerifierReportsTheControlMutexTakenAfterTheDeviceMutex)
{
    HANDLE first = Open(), second = Open();
    PKSDEVICE device = KsGetDeviceForDeviceObject(pdo_->AttachedDevice);
    auto* factory = static_cast<PKSFILTERFACTORY>(KsGetFirstChild(device));
    auto* filter1 = static_cast<PKSFILTER>(KsGetFirstChild(factory));
    auto* filter2 = static_cast<PKSFILTER>(KsGetNextSibling(filter1));
    ASSERT_NE(filter2, nullptr);
    standin::VerifierSetEcho(false);
    auto rules = [] {
        std::vector<std::string> taken;
        for (const auto& v : standin::VerifierTakeViolations())
            taken.push_back(v.rule);
        return taken;
    };

    // Control, device, control again (already held): the framework's order, no breach.
    KsAcquireControl(filter1);
    KsAcquireDevice(device);
    KsAcquireControl(filter1);
    KsReleaseControl(filter1);
    KsReleaseDevice(device);
    KsReleaseControl(filter1);
    EXPECT_TRUE(rules().empty());

    // Device, then a control mutex: one breach, and the mutexes still work.
    KsAcquireDevice(device);
    KsAcquireControl(filter2);
    KsReleaseControl(filter2);
    KsReleaseDevice(device);
    EXPECT_EQ(rules(), std::vector<std::string>{"ks-lock-order"});

    // Two control mutexes against an order used before, on another thread.
    KsAcquireControl(filter1);
    KsAcquireControl(filter2);
    KsReleaseControl(filter2);
    KsReleaseControl(filter1);
    std::thread([&] {
        KsAcquireControl(filter2);
        KsAcquireControl(filter1);
        KsReleaseControl(filter1);
        KsReleaseControl(filter2);
    }).join();
    EXPECT_EQ(rules(), std::vector<std::string>{"ks-lock-order"});
    standin::VerifierSetEcho(true);
    CloseHandle(first);
    CloseHandle(second);
}

TEST_F(KsFilterTest, SurpriseRemovalWithAFilterOpen)
{
    HANDLE filter = Open();
    ASSERT_NE(filter, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Pnp(pdo_, IRP_MN_SURPRISE_REMOVAL), STATUS_SUCCESS);
    EXPECT_EQ(kstest::Seen().surpriseRemovals, 1);
    // The device is no longer found nor opened, the open filter still answers until it closes.
    EXPECT_TRUE(Interfaces(KSCATEGORY_CAPTURE).empty());
    EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
    KSPROPERTY request = Property(kstest::kTestPropertySet, kstest::kLevel, KSPROPERTY_TYPE_GET);
    ULONG value = 0;
    DWORD bytes = 0;
    EXPECT_EQ(Ask(filter, &request, sizeof request, &value, 4, &bytes), 0u);
    EXPECT_EQ(value, 50u);
    EXPECT_TRUE(CloseHandle(filter));
    EXPECT_EQ(kstest::Seen().bagItemsFreed, 1);
    EXPECT_EQ(Pnp(pdo_, IRP_MN_REMOVE_DEVICE), STATUS_SUCCESS);
    EXPECT_EQ(pdo_->AttachedDevice, nullptr);
}

TEST_F(KsFilterTest, AFilterWithoutKsPinsIsDescribedOnEachInterfaceOfItsClass)
{
    int directions[2] = {0, 1};
    KSPIN_MEDIUM mediums[2] = {{KSMEDIUMSETID_Standard, 0, 0}, {KSMEDIUMSETID_Standard, 7, 0}};
    GUID categories[2] = {GUID_NULL, PINNAME_VIDEO_ANALOGVIDEOIN};
    EXPECT_EQ(KsRegisterFilterWithNoKSPins(pdo_, &KSCATEGORY_CROSSBAR, 2, directions, mediums, categories),
              STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(KsRegisterFilterWithNoKSPins(pdo_, &KSCATEGORY_CAPTURE, 0, directions, mediums, categories),
              STATUS_INVALID_PARAMETER);
    ASSERT_EQ(KsRegisterFilterWithNoKSPins(pdo_, &KSCATEGORY_CAPTURE, 2, directions, mediums, categories),
              STATUS_SUCCESS);
    std::u16string link = u"\\??\\" + path_.substr(4);
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, link.c_str());
    HANDLE key = nullptr;
    ASSERT_EQ(IoOpenDeviceInterfaceRegistryKey(&name, KEY_QUERY_VALUE, &key), STATUS_SUCCESS);
    UNICODE_STRING value;
    RtlInitUnicodeString(&value, u"FilterData");
    std::vector<UCHAR> buffer(256);
    ULONG length = 0;
    ASSERT_EQ(ZwQueryValueKey(key, &value, KeyValuePartialInformation, buffer.data(), ULONG(buffer.size()), &length),
              STATUS_SUCCESS);
    ZwClose(key);
    auto* info = reinterpret_cast<KEY_VALUE_PARTIAL_INFORMATION*>(buffer.data());
    EXPECT_EQ(info->Type, ULONG(REG_BINARY));
    ASSERT_EQ(info->DataLength, 4u + 2 * (4 + 24 + 16));
    ULONG count = 0, direction = 0;
    KSPIN_MEDIUM medium{};
    GUID category{};
    std::memcpy(&count, info->Data, 4);
    std::memcpy(&direction, info->Data + 48, 4);
    std::memcpy(&medium, info->Data + 52, sizeof medium);
    std::memcpy(&category, info->Data + 76, sizeof category);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(direction, 1u);
    EXPECT_EQ(medium.Id, 7u);
    EXPECT_EQ(category, PINNAME_VIDEO_ANALOGVIDEOIN);
}
