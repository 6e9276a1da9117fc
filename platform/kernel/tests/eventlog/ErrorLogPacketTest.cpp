// Error-log packets: the size cap at its boundaries, the objects an entry may be for, failure
// injection, what a written entry keeps, malformed packets, misuse, and concurrent writers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "../core/Breaches.h"
#include "EventLogTestSupport.h"
#include "km/irql.h"
#include "km/pool.h"
#include "standin/devices.h"
#include "standin/eventlog.h"
#include "standin/pool.h"
#include "standin/verifier.h"

using eventlogtest::EventLogTest;
using eventlogtest::FillPacket;
using eventlogtest::TestDriver;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

size_t CountRule(const std::vector<standin::VerifierViolation>& breaches, const std::string& rule)
{
    size_t n = 0;
    for (const auto& b : breaches)
        n += b.rule == rule;
    return n;
}

} // namespace

TEST_F(EventLogTest, EntrySizeIsCappedAtTheMaximumAndFloorsAtThePacket)
{
    TestDriver driver(u"\\Driver\\Framecap");
    for (UCHAR size : {UCHAR{48}, UCHAR{100}, UCHAR{ERROR_LOG_MAXIMUM_SIZE}}) {
        auto* entry = static_cast<unsigned char*>(IoAllocateErrorLogEntry(&driver.object, size));
        ASSERT_NE(entry, nullptr) << int(size);
        EXPECT_EQ(std::vector<unsigned char>(entry, entry + size), std::vector<unsigned char>(size, 0));
        IoFreeErrorLogEntry(entry);
    }
    EXPECT_EQ(IoAllocateErrorLogEntry(&driver.object, ERROR_LOG_MAXIMUM_SIZE + 1), nullptr);
    EXPECT_EQ(IoAllocateErrorLogEntry(&driver.object, 255), nullptr);

    QuietBreaches breaches;
    EXPECT_EQ(IoAllocateErrorLogEntry(&driver.object, sizeof(IO_ERROR_LOG_PACKET) - 1), nullptr);
    EXPECT_EQ(CountRule(breaches.Take(), "bad-argument"), 1u);
}

TEST_F(EventLogTest, AllocationRefusesMissingAndForeignObjects)
{
    QuietBreaches breaches;
    EXPECT_EQ(IoAllocateErrorLogEntry(nullptr, 64), nullptr);
    CSHORT notAnIoObject[8] = {7};
    EXPECT_EQ(IoAllocateErrorLogEntry(notAnIoObject, 64), nullptr);
    const auto taken = breaches.Take();
    EXPECT_EQ(CountRule(taken, "bad-argument"), 1u);
    EXPECT_EQ(CountRule(taken, "bad-object"), 1u);
}

TEST_F(EventLogTest, PoolFailureInjectionMakesTheAllocationFail)
{
    TestDriver driver(u"\\Driver\\Framecap");
    standin::PoolFailTag(standin::kErrorLogPoolTag);
    EXPECT_EQ(IoAllocateErrorLogEntry(&driver.object, 64), nullptr);
    standin::PoolClearFailures();
    standin::PoolFailNthAllocation(1);
    EXPECT_EQ(IoAllocateErrorLogEntry(&driver.object, 64), nullptr);
    void* entry = IoAllocateErrorLogEntry(&driver.object, 64);
    EXPECT_NE(entry, nullptr);
    IoFreeErrorLogEntry(entry);
    EXPECT_EQ(standin::EventLogCount(), 0u);
}

TEST_F(EventLogTest, WrittenEntryKeepsEveryFieldTheInsertsAndTheDumpDataInOrder)
{
    TestDriver driver(u"\\Driver\\Framecap");
    const size_t size = sizeof(IO_ERROR_LOG_PACKET) + 8 + 2 * (3 + 1) + 2 * (1 + 1) + 2;
    auto* packet = static_cast<PIO_ERROR_LOG_PACKET>(IoAllocateErrorLogEntry(&driver.object, UCHAR(size)));
    ASSERT_NE(packet, nullptr);
    packet->MajorFunctionCode = 0x0e;
    packet->RetryCount = 2;
    packet->EventCategory = 5;
    packet->ErrorCode = static_cast<NTSTATUS>(0xC0071019);
    packet->UniqueErrorValue = 0x1019;
    packet->FinalStatus = static_cast<NTSTATUS>(0xC0000034);
    packet->SequenceNumber = 77;
    packet->IoControlCode = 0x22600E;
    packet->DeviceOffset.QuadPart = -3;
    packet->DumpDataSize = 12; // the packet's own DumpData word plus 8 bytes after it
    auto* bytes = reinterpret_cast<unsigned char*>(packet);
    for (int i = 0; i < 12; ++i)
        bytes[40 + i] = static_cast<unsigned char>(0xA0 + i);
    packet->NumberOfStrings = 3;
    packet->StringOffset = 52;
    std::memcpy(bytes + 52, u"abc\0x\0", 12);
    bytes[64] = bytes[65] = 0; // the third insert is empty
    IoWriteErrorLogEntry(packet);

    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), 1u);
    const auto& e = entries[0];
    EXPECT_EQ(e.messageId, 0xC0071019u);
    EXPECT_EQ(e.uniqueErrorValue, 0x1019u);
    EXPECT_EQ(e.finalStatus, static_cast<NTSTATUS>(0xC0000034));
    EXPECT_EQ(e.majorFunctionCode, 0x0e);
    EXPECT_EQ(e.retryCount, 2);
    EXPECT_EQ(e.eventCategory, 5);
    EXPECT_EQ(e.sequenceNumber, 77u);
    EXPECT_EQ(e.ioControlCode, 0x22600Eu);
    EXPECT_EQ(e.deviceOffset, -3);
    EXPECT_THAT(e.inserts, ElementsAre(u"abc", u"x", u""));
    EXPECT_THAT(e.dumpData,
                ElementsAre(0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB));
    EXPECT_EQ(e.source, "Framecap");
    EXPECT_EQ(e.objectName, u"Framecap");
    EXPECT_FALSE(e.malformed);
    EXPECT_GT(e.timeWritten, 0);
}

TEST_F(EventLogTest, EntriesKeepTheirOrderAndNumbersAndADeviceGivesItsNameAndItsDriversSource)
{
    TestDriver driver(u"\\Driver\\Framecap");
    standin::PhysicalDeviceProperties properties;
    properties.physicalDeviceObjectName = u"\\Device\\NTPNP_PCI0042";
    PDEVICE_OBJECT pdo = standin::CreatePhysicalDeviceObject(properties, &driver.object);
    eventlogtest::Log(&driver.object, 0x40070000, {u"Framecap HD 1"});
    eventlogtest::Log(pdo, 0, {});
    standin::DeletePhysicalDeviceObject(pdo);

    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].messageId, 0x40070000u);
    EXPECT_EQ(entries[1].messageId, 0u);
    EXPECT_EQ(entries[1].recordNumber, entries[0].recordNumber + 1);
    EXPECT_LE(entries[0].timeWritten, entries[1].timeWritten);
    EXPECT_EQ(entries[1].source, "Framecap");
    EXPECT_EQ(entries[1].objectName, u"\\Device\\NTPNP_PCI0042");
    EXPECT_TRUE(entries[1].inserts.empty());
}

TEST_F(EventLogTest, MalformedPacketsAreLoggedWithWhatLiesInsideThemAndReported)
{
    TestDriver driver(u"\\Driver\\Framecap");
    QuietBreaches breaches;

    // An insert that runs to the end of the entry without its zero.
    auto* packet = static_cast<PIO_ERROR_LOG_PACKET>(IoAllocateErrorLogEntry(&driver.object, 56));
    ASSERT_NE(packet, nullptr);
    packet->NumberOfStrings = 2;
    packet->StringOffset = 48;
    std::memcpy(reinterpret_cast<char*>(packet) + 48, u"ab\0c", 8); // "ab", then "c" up to the end
    IoWriteErrorLogEntry(packet);

    // Dump data longer than the entry, strings that start past its end.
    packet = static_cast<PIO_ERROR_LOG_PACKET>(IoAllocateErrorLogEntry(&driver.object, 48));
    ASSERT_NE(packet, nullptr);
    packet->DumpDataSize = 0xFFFF;
    packet->NumberOfStrings = 1;
    packet->StringOffset = 0xFFFF;
    IoWriteErrorLogEntry(packet);

    // Strings inside the packet's fixed fields.
    packet = static_cast<PIO_ERROR_LOG_PACKET>(IoAllocateErrorLogEntry(&driver.object, 64));
    ASSERT_NE(packet, nullptr);
    packet->NumberOfStrings = 1;
    packet->StringOffset = 4;
    IoWriteErrorLogEntry(packet);

    EXPECT_EQ(CountRule(breaches.Take(), "error-log-packet"), 3u);
    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_TRUE(entries[0].malformed);
    EXPECT_THAT(entries[0].inserts, ElementsAre(u"ab", u"c"));
    EXPECT_EQ(entries[1].dumpData.size(), 8u);
    EXPECT_TRUE(entries[1].inserts.empty());
    EXPECT_TRUE(entries[2].malformed);
    EXPECT_TRUE(entries[2].inserts.empty());
}

TEST_F(EventLogTest, UnknownDoubleAndFreedEntriesAreRefused)
{
    TestDriver driver(u"\\Driver\\Framecap");
    QuietBreaches breaches;
    unsigned char stranger[64] = {};
    IoWriteErrorLogEntry(stranger);
    IoFreeErrorLogEntry(nullptr);
    void* entry = IoAllocateErrorLogEntry(&driver.object, 48);
    ASSERT_NE(entry, nullptr);
    IoWriteErrorLogEntry(entry);
    IoWriteErrorLogEntry(entry);
    IoFreeErrorLogEntry(entry);
    EXPECT_EQ(CountRule(breaches.Take(), "bad-argument"), 4u);
    EXPECT_EQ(standin::EventLogCount(), 1u);
}

TEST_F(EventLogTest, AnEntryNeitherWrittenNorFreedIsALeak)
{
    TestDriver driver(u"\\Driver\\Framecap");
    void* entry = IoAllocateErrorLogEntry(&driver.object, 64);
    ASSERT_NE(entry, nullptr);
    QuietBreaches breaches;
    standin::VerifierCheckLeaks();
    const auto taken = breaches.Take();
    bool named = false;
    for (const auto& b : taken)
        named |= b.detail.find("error-log-entries: entry") != std::string::npos &&
                 b.detail.find("for Framecap allocated and neither written nor freed") != std::string::npos;
    EXPECT_TRUE(named);
    IoFreeErrorLogEntry(entry);
}

TEST_F(EventLogTest, WorksAtDispatchLevelAndReportsAboveIt)
{
    TestDriver driver(u"\\Driver\\Framecap");
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    eventlogtest::Log(&driver.object, 0xC0071000, {});
    KeLowerIrql(old);
    EXPECT_EQ(standin::EventLogCount(), 1u);

    QuietBreaches breaches;
    KeRaiseIrql(DISPATCH_LEVEL + 1, &old);
    void* entry = IoAllocateErrorLogEntry(&driver.object, 48);
    IoFreeErrorLogEntry(entry);
    KeLowerIrql(old);
    size_t named = 0;
    for (const auto& b : breaches.Take())
        named += b.rule == "irql" && (b.detail.rfind("IoAllocateErrorLogEntry", 0) == 0 ||
                                      b.detail.rfind("IoFreeErrorLogEntry", 0) == 0);
    EXPECT_EQ(named, 2u);
}

TEST_F(EventLogTest, TheLogKeepsTheNewestEntriesAndCountsTheDropped)
{
    TestDriver driver(u"\\Driver\\Framecap");
    standin::SetEventLogCapacity(3);
    for (ULONG id = 1; id <= 5; ++id)
        eventlogtest::Log(&driver.object, id, {});
    standin::SetEventLogCapacity(standin::kEventLogCapacity);
    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].messageId, 3u);
    EXPECT_EQ(entries[2].messageId, 5u);
    EXPECT_EQ(standin::EventLogDropped(), 2u);
    standin::EventLogClear();
    EXPECT_EQ(standin::EventLogDropped(), 0u);
}

TEST_F(EventLogTest, ConcurrentWritersLoseNothingAndKeepEachWritersOrder)
{
    constexpr int kThreads = 8;
    constexpr int kPerThread = 200;
    TestDriver driver(u"\\Driver\\Framecap");
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&driver, t] {
            for (int i = 0; i < kPerThread; ++i) {
                const std::u16string insert(1, static_cast<char16_t>(u'A' + t));
                eventlogtest::Log(&driver.object, static_cast<ULONG>(t << 16 | i), {insert});
            }
        });
    }
    for (auto& w : writers)
        w.join();
    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), size_t{kThreads * kPerThread});
    std::vector<int> next(kThreads, 0);
    for (size_t i = 0; i < entries.size(); ++i) {
        const int t = static_cast<int>(entries[i].messageId >> 16);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(static_cast<int>(entries[i].messageId & 0xFFFF), next[t]++);
        EXPECT_EQ(entries[i].inserts, std::vector<std::u16string>{std::u16string(1, char16_t(u'A' + t))});
        if (i > 0) {
            EXPECT_EQ(entries[i].recordNumber, entries[i - 1].recordNumber + 1);
        }
    }
}
