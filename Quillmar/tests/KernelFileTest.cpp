// KernelFile on the machine's drives: create, write, query size and position, close, reopen and
// read back under "\DosDevices\C:\..." on a machine root of the test's own; the statuses and byte
// counts of short reads, failed opens and failed writes; names a counted string cannot hold; and
// the handle owned by the object.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/kernelfile.h"
#include "km/file.h"
#include "km/status.h"
#include "standin/drives.h"
#include "standin/filefaults.h"

namespace {

namespace fs = std::filesystem;

constexpr ACCESS_MASK kReadAccess = GENERIC_READ | SYNCHRONIZE;
constexpr ACCESS_MASK kWriteAccess = GENERIC_WRITE | SYNCHRONIZE;
constexpr ULONG kObjectFlags = OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE;
constexpr ULONG kFileOptions = FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE;

std::string HostRead(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

std::vector<UCHAR> Pattern(size_t size)
{
    std::vector<UCHAR> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<UCHAR>(i * 7 + 3);
    return bytes;
}

// Each test gets a machine root of its own with an empty drive C.
class KernelFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "kernelfile-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        fs::create_directory(root / "C");
        standin::SetMachineRoot(root.string());
    }
    void TearDown() override
    {
        standin::ClearFileFailures();
        standin::SetMachineRoot("");
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    NTSTATUS CreateForWriting(KernelFile& file, PCWSTR path, ULONG disposition = FILE_OVERWRITE_IF)
    {
        return file.Create(path, nullptr, kWriteAccess, kObjectFlags, FILE_ATTRIBUTE_NORMAL, 0, disposition,
                           kFileOptions, nullptr);
    }
    NTSTATUS OpenForReading(KernelFile& file, PCWSTR path)
    {
        return file.Create(path, nullptr, kReadAccess, kObjectFlags, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ,
                           FILE_OPEN, kFileOptions, nullptr);
    }
    NTSTATUS MakeFolder(PCWSTR path)
    {
        KernelFile folder;
        return folder.Create(path, nullptr, kReadAccess, kObjectFlags, 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             FILE_CREATE, FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, nullptr);
    }

    fs::path root;
};

} // namespace

TEST_F(KernelFileTest, WrittenFileReadsBackAfterReopen)
{
    const std::vector<UCHAR> bytes = Pattern(1000);
    KernelFile file;
    // The folder must exist first.
    EXPECT_EQ(CreateForWriting(file, u"\\DosDevices\\C:\\t\\a.bin"), STATUS_OBJECT_PATH_NOT_FOUND);
    EXPECT_EQ(file.Handle(), nullptr);
    ASSERT_EQ(MakeFolder(u"\\DosDevices\\C:\\t"), STATUS_SUCCESS);

    ASSERT_EQ(CreateForWriting(file, u"\\DosDevices\\C:\\t\\a.bin"), STATUS_SUCCESS);
    EXPECT_NE(file.Handle(), nullptr);
    EXPECT_EQ(file.IoStatus().Information, ULONG_PTR(FILE_CREATED));
    ULONG written = 0;
    ASSERT_EQ(file.Write(bytes.data(), 1000, &written), STATUS_SUCCESS);
    EXPECT_EQ(written, 1000u);
    EXPECT_EQ(file.IoStatus().Information, 1000u);

    FILE_POSITION_INFORMATION position{};
    ASSERT_EQ(file.QueryPosition(&position), STATUS_SUCCESS);
    EXPECT_EQ(position.CurrentByteOffset.QuadPart, 1000);
    FILE_STANDARD_INFORMATION standard{};
    ASSERT_EQ(file.QueryStandardInfo(&standard), STATUS_SUCCESS);
    EXPECT_EQ(standard.EndOfFile.QuadPart, 1000);
    EXPECT_EQ(standard.AllocationSize.QuadPart, 4096);
    EXPECT_EQ(standard.NumberOfLinks, 1u);
    EXPECT_FALSE(standard.Directory);
    EXPECT_FALSE(standard.DeletePending);
    EXPECT_EQ(file.Close(), STATUS_SUCCESS);
    EXPECT_EQ(file.Handle(), nullptr);
    EXPECT_EQ(file.Close(), STATUS_SUCCESS);
    EXPECT_EQ(HostRead(root / "C" / "t" / "a.bin"), std::string(bytes.begin(), bytes.end()));

    // The same object opens it again, and reads it whole, then nothing.
    ASSERT_EQ(OpenForReading(file, u"\\DosDevices\\C:\\T\\A.BIN"), STATUS_SUCCESS);
    EXPECT_EQ(file.IoStatus().Information, ULONG_PTR(FILE_OPENED));
    std::vector<UCHAR> back(1200, 0xEE);
    ULONG read = 0;
    ASSERT_EQ(file.Read(back.data(), 1200, &read), STATUS_SUCCESS);
    EXPECT_EQ(read, 1000u);
    EXPECT_EQ(std::vector<UCHAR>(back.begin(), back.begin() + 1000), bytes);
    EXPECT_EQ(back[1000], 0xEE);
    ASSERT_EQ(file.QueryPosition(&position), STATUS_SUCCESS);
    EXPECT_EQ(position.CurrentByteOffset.QuadPart, 1000);
    read = 77;
    EXPECT_EQ(file.Read(back.data(), 10, &read), STATUS_END_OF_FILE);
    EXPECT_EQ(read, 0u);

    // At an explicit offset: a short read of the last ten bytes, and the position follows.
    LARGE_INTEGER offset;
    offset.QuadPart = 990;
    ASSERT_EQ(file.Read(back.data(), 100, &read, &offset), STATUS_SUCCESS);
    EXPECT_EQ(read, 10u);
    EXPECT_EQ(std::vector<UCHAR>(back.begin(), back.begin() + 10),
              std::vector<UCHAR>(bytes.begin() + 990, bytes.end()));
    ASSERT_EQ(file.QueryStandardInfo(&standard), STATUS_SUCCESS);
    EXPECT_EQ(standard.EndOfFile.QuadPart, 1000);
}

TEST_F(KernelFileTest, WritesAtOffsetsAndWithoutACount)
{
    KernelFile file;
    ASSERT_EQ(CreateForWriting(file, u"\\DosDevices\\C:\\b.bin"), STATUS_SUCCESS);
    LARGE_INTEGER offset;
    offset.QuadPart = 6;
    ASSERT_EQ(file.Write("xyz", 3, nullptr, &offset), STATUS_SUCCESS);
    EXPECT_EQ(file.IoStatus().Information, 3u);
    FILE_POSITION_INFORMATION position{};
    ASSERT_EQ(file.QueryPosition(&position), STATUS_SUCCESS);
    EXPECT_EQ(position.CurrentByteOffset.QuadPart, 9);
    ASSERT_EQ(file.Write("ab", 2, nullptr), STATUS_SUCCESS);
    ASSERT_EQ(file.Close(), STATUS_SUCCESS);
    // The gap before the first write reads as zeros.
    EXPECT_EQ(HostRead(root / "C" / "b.bin"), std::string("\0\0\0\0\0\0xyzab", 11));

    // The three spellings of a name reach the same file; overwriting empties it.
    ASSERT_EQ(CreateForWriting(file, u"\\??\\c:\\B.bin", FILE_OVERWRITE), STATUS_SUCCESS);
    EXPECT_EQ(file.IoStatus().Information, ULONG_PTR(FILE_OVERWRITTEN));
    ASSERT_EQ(file.Write("q", 1, nullptr), STATUS_SUCCESS);
    ASSERT_EQ(OpenForReading(file, u"C:\\b.bin"), STATUS_SUCCESS);
    FILE_STANDARD_INFORMATION standard{};
    ASSERT_EQ(file.QueryStandardInfo(&standard), STATUS_SUCCESS);
    EXPECT_EQ(standard.EndOfFile.QuadPart, 1);
}

TEST_F(KernelFileTest, FailedOpensLeaveNoHandle)
{
    KernelFile file;
    EXPECT_EQ(OpenForReading(file, u"\\DosDevices\\C:\\missing.bin"), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(file.Handle(), nullptr);
    EXPECT_EQ(file.IoStatus().Status, STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(file.IoStatus().Information, ULONG_PTR(FILE_DOES_NOT_EXIST));
    EXPECT_EQ(OpenForReading(file, u"\\DosDevices\\Q:\\a.bin"), STATUS_OBJECT_PATH_NOT_FOUND);
    EXPECT_EQ(OpenForReading(file, nullptr), STATUS_OBJECT_NAME_INVALID);

    // A name longer than a counted string holds is refused, not opened cut short.
    std::u16string longName = u"\\DosDevices\\C:\\" + std::u16string(32767, u'n');
    EXPECT_EQ(CreateForWriting(file, longName.c_str()), STATUS_OBJECT_NAME_INVALID);
    EXPECT_EQ(file.Handle(), nullptr);

    standin::InjectOpenFailure(u"C:\\locked.bin", STATUS_ACCESS_DENIED);
    EXPECT_EQ(CreateForWriting(file, u"\\DosDevices\\C:\\locked.bin"), STATUS_ACCESS_DENIED);
    EXPECT_EQ(file.Handle(), nullptr);
    EXPECT_FALSE(fs::exists(root / "C" / "locked.bin"));

    // Without a handle every call answers the kernel's invalid-handle status.
    UCHAR buffer[4];
    ULONG count = 5;
    EXPECT_EQ(file.Read(buffer, 4, &count), STATUS_INVALID_HANDLE);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(file.Write(buffer, 4, &count), STATUS_INVALID_HANDLE);
    FILE_STANDARD_INFORMATION standard{};
    EXPECT_EQ(file.QueryStandardInfo(&standard), STATUS_INVALID_HANDLE);
    FILE_POSITION_INFORMATION position{};
    EXPECT_EQ(file.QueryPosition(&position), STATUS_INVALID_HANDLE);
}

TEST_F(KernelFileTest, FailedWriteCountsTheBytesItWrote)
{
    KernelFile file;
    ASSERT_EQ(CreateForWriting(file, u"\\DosDevices\\C:\\full.bin"), STATUS_SUCCESS);
    standin::InjectWriteFailure(u"C:\\full.bin", STATUS_DISK_FULL, 10);
    const std::vector<UCHAR> bytes = Pattern(100);
    ULONG written = 0;
    EXPECT_EQ(file.Write(bytes.data(), 100, &written), STATUS_DISK_FULL);
    EXPECT_EQ(written, 10u);
    EXPECT_EQ(file.IoStatus().Status, STATUS_DISK_FULL);
    EXPECT_EQ(file.Write(bytes.data(), 100, &written), STATUS_DISK_FULL);
    EXPECT_EQ(written, 0u);
    FILE_STANDARD_INFORMATION standard{};
    ASSERT_EQ(file.QueryStandardInfo(&standard), STATUS_SUCCESS);
    EXPECT_EQ(standard.EndOfFile.QuadPart, 10);
}

TEST_F(KernelFileTest, CreateOnAnOpenFileClosesItFirst)
{
    // The leak check after the test names any handle left; sharing shows the first one went.
    KernelFile file;
    ASSERT_EQ(file.Create(u"\\DosDevices\\C:\\one.bin", nullptr, kWriteAccess, kObjectFlags, 0, 0,
                          FILE_OVERWRITE_IF, kFileOptions, nullptr),
              STATUS_SUCCESS);
    ASSERT_EQ(CreateForWriting(file, u"\\DosDevices\\C:\\two.bin"), STATUS_SUCCESS);
    KernelFile other;
    EXPECT_EQ(CreateForWriting(other, u"\\DosDevices\\C:\\one.bin", FILE_OPEN), STATUS_SUCCESS);
    {
        KernelFile scoped;
        ASSERT_EQ(CreateForWriting(scoped, u"\\DosDevices\\C:\\three.bin"), STATUS_SUCCESS);
    }
    // The destructor closed its handle: a new open that shares nothing succeeds.
    EXPECT_EQ(CreateForWriting(other, u"\\DosDevices\\C:\\three.bin", FILE_OPEN), STATUS_SUCCESS);
}
