// Injected file failures: opens that fail, writes that fail after a number of bytes, writes that
// stall until another thread releases them, and the record of each.
#include "FilesTestSupport.h"
#include "standin/filefaults.h"

#include <chrono>
#include <thread>

using namespace filestest;
using standin::FileFailureKind;

namespace {
constexpr auto kPatience = std::chrono::seconds(30);
}

TEST_F(FilesTest, AnInjectedOpenFailureFailsTheMatchingOpensItCountsAndTouchesNothing)
{
    standin::InjectOpenFailure(u"\\DosDevices\\C:\\logs\\*.LOG", STATUS_ACCESS_DENIED, 2);
    fs::create_directory(C() / "logs");
    Opened unmatched = Create(u"C:\\logs\\other.txt", kWrite, FILE_OPEN_IF);
    EXPECT_EQ(unmatched.status, STATUS_SUCCESS) << "no match";
    ZwClose(unmatched.handle);
    Opened failed = Create(u"\\??\\c:\\LOGS\\a.log", kWrite, FILE_OVERWRITE_IF);
    EXPECT_EQ(failed.status, STATUS_ACCESS_DENIED);
    EXPECT_EQ(failed.information, 0u);
    EXPECT_FALSE(fs::exists(C() / "logs" / "a.log"));
    EXPECT_EQ(Create(u"C:\\logs\\b.log", kWrite, FILE_OPEN_IF).status, STATUS_ACCESS_DENIED);
    Opened third = Create(u"C:\\logs\\a.log", kWrite, FILE_OPEN_IF);
    EXPECT_EQ(third.status, STATUS_SUCCESS) << "the rule was used up";

    auto records = standin::TakeInjectedFileFailures();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].kind, FileFailureKind::Open);
    EXPECT_EQ(records[0].name, u"C:\\LOGS\\a.log");
    EXPECT_EQ(records[0].status, STATUS_ACCESS_DENIED);
    EXPECT_EQ(records[1].name, u"C:\\logs\\b.log");
    EXPECT_TRUE(standin::TakeInjectedFileFailures().empty());

    standin::InjectOpenFailure(u"C:\\logs\\a.log", STATUS_OBJECT_NAME_NOT_FOUND, standin::kEveryOpen);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Create(u"C:\\logs\\a.log", kRead, FILE_OPEN).status, STATUS_OBJECT_NAME_NOT_FOUND);
    standin::ClearFileFailures();
    Opened after = Create(u"C:\\logs\\a.log", kRead, FILE_OPEN, kSync, kShareAll);
    EXPECT_EQ(after.status, STATUS_SUCCESS);
    ZwClose(after.handle);
    ZwClose(third.handle);
}

TEST_F(FilesTest, AnInjectedWriteFailureWritesUpToItsLimitThenFails)
{
    Opened file = Create(u"C:\\disk.bin", kWrite, FILE_OVERWRITE_IF);
    ASSERT_EQ(file.status, STATUS_SUCCESS);
    standin::InjectWriteFailure(u"C:\\DISK.BIN", STATUS_DISK_FULL, 6);
    EXPECT_EQ(Write(file.handle, "abcd").status, STATUS_SUCCESS);
    Moved partial = Write(file.handle, "efgh");
    EXPECT_EQ(partial.status, STATUS_DISK_FULL);
    EXPECT_EQ(partial.count, 2u);
    EXPECT_EQ(Position(file.handle), 6);
    Moved none = Write(file.handle, "ijkl");
    EXPECT_EQ(none.status, STATUS_DISK_FULL);
    EXPECT_EQ(none.count, 0u);
    EXPECT_EQ(Write(file.handle, "").status, STATUS_SUCCESS) << "an empty write moves nothing to refuse";
    EXPECT_EQ(HostRead(C() / "disk.bin"), "abcdef");

    auto records = standin::TakeInjectedFileFailures();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].kind, FileFailureKind::Write);
    EXPECT_EQ(records[0].status, STATUS_DISK_FULL);
    standin::ClearFileFailures();
    EXPECT_EQ(Write(file.handle, "gh").count, 2u);
    ZwClose(file.handle);
}

TEST_F(FilesTest, AStalledWriteWaitsUntilAnotherThreadReleasesIt)
{
    Opened file = Create(u"C:\\slow.log", FILE_APPEND_DATA | SYNCHRONIZE, FILE_OVERWRITE_IF, kSync);
    ASSERT_EQ(file.status, STATUS_SUCCESS);
    standin::StallWrites(u"*slow.log");
    Moved stalled{};
    std::thread writer([&] { stalled = Write(file.handle, "late"); });
    ASSERT_TRUE(standin::WaitForStalledWrites(1, kPatience));
    EXPECT_EQ(standin::StalledWriteCount(), 1u);
    EXPECT_EQ(HostRead(C() / "slow.log"), "") << "nothing is written while stalled";

    Opened other = Create(u"C:\\other.log", kWrite, FILE_OVERWRITE_IF);
    EXPECT_EQ(Write(other.handle, "free").count, 4u) << "other files are not held up";
    ZwClose(other.handle);

    standin::ReleaseStalledWrites();
    writer.join();
    EXPECT_EQ(stalled.status, STATUS_SUCCESS);
    EXPECT_EQ(stalled.count, 4u);
    EXPECT_EQ(standin::StalledWriteCount(), 0u);
    EXPECT_EQ(HostRead(C() / "slow.log"), "late");
    auto records = standin::TakeInjectedFileFailures();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].kind, FileFailureKind::Stall);
    EXPECT_EQ(records[0].name, u"C:\\slow.log");

    standin::StallWrites(u"C:\\slow.log");
    std::thread second([&] { stalled = Write(file.handle, "!"); });
    ASSERT_TRUE(standin::WaitForStalledWrites(1, kPatience));
    standin::ClearFileFailures();
    second.join();
    EXPECT_EQ(stalled.status, STATUS_SUCCESS) << "clearing the rules releases the stalled write too";
    EXPECT_EQ(HostRead(C() / "slow.log"), "late!");
    ZwClose(file.handle);
}
