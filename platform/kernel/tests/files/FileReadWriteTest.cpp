// ZwReadFile, ZwWriteFile, ZwQueryInformationFile and ZwSetInformationFile: offsets and the file
// pointer, appending, the end of the file, access, and the information records.
#include "FilesTestSupport.h"
#include "standin/verifier.h"

#include <thread>
#include <vector>

using namespace filestest;

TEST_F(FilesTest, ReadsAndWritesGoToExplicitOffsetsOrTheFilePointer)
{
    Opened file = Create(u"C:\\rw.bin", kReadWrite, FILE_OVERWRITE_IF);
    ASSERT_EQ(file.status, STATUS_SUCCESS);
    EXPECT_EQ(Write(file.handle, "0123456789").count, 10u);
    EXPECT_EQ(Position(file.handle), 10);
    LARGE_INTEGER at = At(4);
    EXPECT_EQ(Write(file.handle, "ab", &at).count, 2u);
    EXPECT_EQ(Position(file.handle), 6) << "an explicit offset moves a synchronous handle's pointer too";
    LARGE_INTEGER pointer = Special(FILE_USE_FILE_POINTER_POSITION);
    EXPECT_EQ(Write(file.handle, "XY", &pointer).count, 2u);
    LARGE_INTEGER end = Special(FILE_WRITE_TO_END_OF_FILE);
    EXPECT_EQ(Write(file.handle, "!", &end).count, 1u);
    EXPECT_EQ(Position(file.handle), 11);
    LARGE_INTEGER beyond = At(14);
    EXPECT_EQ(Write(file.handle, "z", &beyond).count, 1u);
    EXPECT_EQ(HostRead(C() / "rw.bin"), std::string("0123abXY89!\0\0\0z", 15));

    std::string bytes;
    LARGE_INTEGER start = At(2);
    Moved read = Read(file.handle, &bytes, 4, &start);
    EXPECT_EQ(read.status, STATUS_SUCCESS);
    EXPECT_EQ(bytes, "23ab");
    read = Read(file.handle, &bytes, 100);
    EXPECT_EQ(read.status, STATUS_SUCCESS) << "a short read succeeds with what there was";
    EXPECT_EQ(bytes, std::string("XY89!\0\0\0z", 9));
    read = Read(file.handle, &bytes, 100);
    EXPECT_EQ(read.status, STATUS_END_OF_FILE);
    EXPECT_EQ(read.count, 0u);
    LARGE_INTEGER past = At(1000);
    EXPECT_EQ(Read(file.handle, &bytes, 1, &past).status, STATUS_END_OF_FILE);
    EXPECT_EQ(Read(file.handle, &bytes, 0, &past).status, STATUS_SUCCESS) << "nothing asked, nothing to miss";

    LARGE_INTEGER negative = At(-5);
    EXPECT_EQ(Read(file.handle, &bytes, 1, &negative).status, STATUS_INVALID_PARAMETER);
    LARGE_INTEGER toEnd = Special(FILE_WRITE_TO_END_OF_FILE);
    EXPECT_EQ(Read(file.handle, &bytes, 1, &toEnd).status, STATUS_INVALID_PARAMETER);
    ZwClose(file.handle);
}

TEST_F(FilesTest, AHandleThatMayOnlyAppendWritesAtTheEndWhateverTheOffset)
{
    HostWrite(C() / "log.txt", "*****");
    Opened append = Create(u"\\DosDevices\\C:\\log.txt", FILE_APPEND_DATA | SYNCHRONIZE, FILE_OPEN, kSync,
                           FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_EQ(append.status, STATUS_SUCCESS);
    LARGE_INTEGER start = At(0);
    EXPECT_EQ(Write(append.handle, "line1\r\n", &start).count, 7u);
    EXPECT_EQ(Write(append.handle, "line2\r\n").count, 7u);
    EXPECT_EQ(Position(append.handle), 19);
    std::string bytes;
    EXPECT_EQ(Read(append.handle, &bytes, 5).status, STATUS_ACCESS_DENIED);
    ZwClose(append.handle);
    EXPECT_EQ(HostRead(C() / "log.txt"), "*****line1\r\nline2\r\n");

    Opened reader = Create(u"C:\\log.txt", FILE_READ_DATA | SYNCHRONIZE, FILE_OPEN, kSync, kShareAll);
    ASSERT_EQ(reader.status, STATUS_SUCCESS);
    EXPECT_EQ(Write(reader.handle, "x").status, STATUS_ACCESS_DENIED);
    ZwClose(reader.handle);
}

TEST_F(FilesTest, AppendsThroughSeveralHandlesNeverOverwriteEachOther)
{
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            Opened file = Create(u"C:\\shared.log", FILE_APPEND_DATA | SYNCHRONIZE, FILE_OPEN_IF, kSync,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE);
            ASSERT_EQ(file.status, STATUS_SUCCESS);
            const std::string line = "thread " + std::to_string(t) + "\n";
            for (int i = 0; i < kLines; ++i)
                EXPECT_EQ(Write(file.handle, line).count, line.size());
            ZwClose(file.handle);
        });
    }
    for (auto& thread : threads)
        thread.join();
    const std::string all = HostRead(C() / "shared.log");
    EXPECT_EQ(all.size(), size_t{kThreads} * kLines * 9);
    for (int t = 0; t < kThreads; ++t) {
        const std::string line = "thread " + std::to_string(t) + "\n";
        size_t count = 0;
        for (size_t at = all.find(line); at != std::string::npos; at = all.find(line, at + 1))
            ++count;
        EXPECT_EQ(count, size_t{kLines});
    }
}

TEST_F(FilesTest, CallsRefuseWhatTheHandleOrTheArgumentsDoNotAllow)
{
    Opened async = Create(u"C:\\a.bin", GENERIC_READ | GENERIC_WRITE, FILE_OVERWRITE_IF, FILE_NON_DIRECTORY_FILE);
    ASSERT_EQ(async.status, STATUS_SUCCESS);
    EXPECT_EQ(Write(async.handle, "abc").status, STATUS_INVALID_PARAMETER) << "no pointer without synchronous I/O";
    LARGE_INTEGER zero = At(0);
    EXPECT_EQ(Write(async.handle, "abc", &zero).count, 3u);
    std::string bytes;
    EXPECT_EQ(Read(async.handle, &bytes, 3, &zero).count, 3u);
    EXPECT_EQ(Position(async.handle), 0) << "only synchronous handles keep a pointer";

    IO_STATUS_BLOCK io{};
    char buffer[4];
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    EXPECT_EQ(ZwReadFile(async.handle, &event, nullptr, nullptr, &io, buffer, 4, &zero, nullptr),
              STATUS_INVALID_PARAMETER);

    standin::VerifierSetEcho(false);
    EXPECT_EQ(ZwReadFile(async.handle, nullptr, nullptr, nullptr, &io, nullptr, 4, &zero, nullptr),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(ZwWriteFile(async.handle, nullptr, nullptr, nullptr, nullptr, buffer, 4, &zero, nullptr),
              STATUS_INVALID_PARAMETER);
    auto breaches = standin::VerifierTakeViolations();
    standin::VerifierSetEcho(true);
    ASSERT_EQ(breaches.size(), 2u);
    EXPECT_EQ(breaches[0].rule, "bad-argument");

    EXPECT_EQ(ZwReadFile(nullptr, nullptr, nullptr, nullptr, &io, buffer, 4, &zero, nullptr), STATUS_INVALID_HANDLE);
    ZwClose(async.handle);
}

TEST_F(FilesTest, InformationRecordsReportSizePositionAndTheirOwnStatuses)
{
    Opened file = Create(u"C:\\info.bin", kReadWrite, FILE_OVERWRITE_IF);
    ASSERT_EQ(file.status, STATUS_SUCCESS);
    FILE_STANDARD_INFORMATION info = Standard(file.handle);
    EXPECT_EQ(info.EndOfFile.QuadPart, 0);
    EXPECT_EQ(info.AllocationSize.QuadPart, 0);
    EXPECT_EQ(info.NumberOfLinks, 1u);
    EXPECT_FALSE(info.DeletePending);
    EXPECT_FALSE(info.Directory);
    for (auto [size, allocation] : {std::pair{1, 4096}, {4096, 4096}, {4097, 8192}}) {
        LARGE_INTEGER at = At(size - 1);
        Write(file.handle, "x", &at);
        info = Standard(file.handle);
        EXPECT_EQ(info.EndOfFile.QuadPart, size);
        EXPECT_EQ(info.AllocationSize.QuadPart, allocation);
    }

    IO_STATUS_BLOCK io{};
    io.Information = 77;
    EXPECT_EQ(ZwQueryInformationFile(file.handle, &io, &info, sizeof info - 1, FileStandardInformation),
              STATUS_INFO_LENGTH_MISMATCH);
    EXPECT_EQ(io.Information, 0u);
    FILE_POSITION_INFORMATION position{};
    EXPECT_EQ(ZwQueryInformationFile(file.handle, &io, &position, 7, FilePositionInformation),
              STATUS_INFO_LENGTH_MISMATCH);
    char big[256];
    EXPECT_EQ(ZwQueryInformationFile(file.handle, &io, big, sizeof big, FileBasicInformation),
              STATUS_INVALID_INFO_CLASS);
    EXPECT_EQ(ZwQueryInformationFile(file.handle, &io, big, 1, FileEndOfFileInformation), STATUS_INVALID_INFO_CLASS)
        << "the class is judged before the length";

    position.CurrentByteOffset.QuadPart = 2;
    EXPECT_EQ(ZwSetInformationFile(file.handle, &io, &position, sizeof position, FilePositionInformation),
              STATUS_SUCCESS);
    EXPECT_EQ(Position(file.handle), 2);
    std::string bytes;
    EXPECT_EQ(Read(file.handle, &bytes, 1).count, 1u);
    EXPECT_EQ(Position(file.handle), 3);
    position.CurrentByteOffset.QuadPart = -1;
    EXPECT_EQ(ZwSetInformationFile(file.handle, &io, &position, sizeof position, FilePositionInformation),
              STATUS_INVALID_PARAMETER);

    FILE_END_OF_FILE_INFORMATION end{};
    end.EndOfFile.QuadPart = 10;
    EXPECT_EQ(ZwSetInformationFile(file.handle, &io, &end, sizeof end, FileEndOfFileInformation), STATUS_SUCCESS);
    EXPECT_EQ(fs::file_size(C() / "info.bin"), 10u);
    EXPECT_EQ(ZwSetInformationFile(file.handle, &io, &end, sizeof end, FileStandardInformation),
              STATUS_INVALID_INFO_CLASS);
    ZwClose(file.handle);

    Opened reader = Create(u"C:\\info.bin", kRead, FILE_OPEN, kSync, kShareAll);
    ASSERT_EQ(reader.status, STATUS_SUCCESS);
    EXPECT_EQ(ZwSetInformationFile(reader.handle, &io, &end, sizeof end, FileEndOfFileInformation),
              STATUS_ACCESS_DENIED);
    ZwClose(reader.handle);
}
