// ZwCreateFile: every disposition on a file that exists and one that does not, folders, the
// argument checks, share access, delete-on-close, and handles that are left open.
#include "FilesTestSupport.h"

#include "km/irql.h"
#include "standin/verifier.h"

using namespace filestest;

namespace {

struct DispositionCase {
    ULONG disposition;
    NTSTATUS whenMissing;
    ULONG_PTR informationWhenMissing;
    NTSTATUS whenPresent;
    ULONG_PTR informationWhenPresent;
    const char* contentAfter; // of the file that was present ("old"), or null when it was not opened
};

} // namespace

TEST_F(FilesTest, EachDispositionGivesItsStatusInformationAndContent)
{
    const DispositionCase cases[] = {
        {FILE_SUPERSEDE, STATUS_SUCCESS, FILE_CREATED, STATUS_SUCCESS, FILE_SUPERSEDED, ""},
        {FILE_OPEN, STATUS_OBJECT_NAME_NOT_FOUND, FILE_DOES_NOT_EXIST, STATUS_SUCCESS, FILE_OPENED, "old"},
        {FILE_CREATE, STATUS_SUCCESS, FILE_CREATED, STATUS_OBJECT_NAME_COLLISION, FILE_EXISTS, "old"},
        {FILE_OPEN_IF, STATUS_SUCCESS, FILE_CREATED, STATUS_SUCCESS, FILE_OPENED, "old"},
        {FILE_OVERWRITE, STATUS_OBJECT_NAME_NOT_FOUND, FILE_DOES_NOT_EXIST, STATUS_SUCCESS, FILE_OVERWRITTEN, ""},
        {FILE_OVERWRITE_IF, STATUS_SUCCESS, FILE_CREATED, STATUS_SUCCESS, FILE_OVERWRITTEN, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.disposition);
        fs::remove(C() / "d.bin");
        Opened missing = Create(u"C:\\d.bin", kWrite, c.disposition);
        EXPECT_EQ(missing.status, c.whenMissing);
        EXPECT_EQ(missing.information, c.informationWhenMissing);
        EXPECT_EQ(fs::exists(C() / "d.bin"), NT_SUCCESS(c.whenMissing));
        if (NT_SUCCESS(missing.status))
            ZwClose(missing.handle);

        HostWrite(C() / "d.bin", "old");
        Opened present = Create(u"C:\\D.BIN", kRead, c.disposition);
        EXPECT_EQ(present.status, c.whenPresent);
        EXPECT_EQ(present.information, c.informationWhenPresent);
        EXPECT_EQ(HostRead(C() / "d.bin"), c.contentAfter) << "a read-only handle may still overwrite";
        if (NT_SUCCESS(present.status))
            ZwClose(present.handle);
    }
    EXPECT_EQ(Create(u"C:\\d.bin", kWrite, FILE_OVERWRITE_IF + 1).status, STATUS_INVALID_PARAMETER);
}

TEST_F(FilesTest, FoldersAreCreatedOpenedAndKeptApartFromFiles)
{
    constexpr ULONG kFolder = FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT;
    Opened made = Create(u"C:\\logs", kRead, FILE_CREATE, kFolder);
    ASSERT_EQ(made.status, STATUS_SUCCESS);
    EXPECT_EQ(made.information, FILE_CREATED);
    EXPECT_TRUE(fs::is_directory(C() / "logs"));
    FILE_STANDARD_INFORMATION info = Standard(made.handle);
    EXPECT_TRUE(info.Directory);
    EXPECT_EQ(info.EndOfFile.QuadPart, 0);
    std::string bytes;
    EXPECT_EQ(Read(made.handle, &bytes, 4).status, STATUS_INVALID_DEVICE_REQUEST);
    ZwClose(made.handle);

    Opened again = Create(u"C:\\LOGS\\", kRead, FILE_OPEN_IF, kFolder);
    EXPECT_EQ(again.status, STATUS_SUCCESS);
    EXPECT_EQ(again.information, FILE_OPENED);
    ZwClose(again.handle);
    Opened plain = Create(u"C:\\logs", kRead, FILE_OPEN, FILE_SYNCHRONOUS_IO_NONALERT);
    EXPECT_EQ(plain.status, STATUS_SUCCESS) << "without either option a folder opens";
    ZwClose(plain.handle);
    Opened root = Create(u"\\??\\C:\\", kRead, FILE_OPEN, kFolder);
    EXPECT_EQ(root.status, STATUS_SUCCESS);
    ZwClose(root.handle);

    HostWrite(C() / "file", "f");
    EXPECT_EQ(Create(u"C:\\logs", kRead, FILE_OPEN).status, STATUS_FILE_IS_A_DIRECTORY);
    EXPECT_EQ(Create(u"C:\\logs", kWrite, FILE_OVERWRITE_IF, FILE_SYNCHRONOUS_IO_NONALERT).status,
              STATUS_FILE_IS_A_DIRECTORY);
    EXPECT_EQ(Create(u"C:\\logs", kRead, FILE_CREATE, kFolder).status, STATUS_OBJECT_NAME_COLLISION);
    EXPECT_EQ(Create(u"C:\\file", kRead, FILE_OPEN, kFolder).status, STATUS_NOT_A_DIRECTORY);
    EXPECT_EQ(Create(u"C:\\file\\", kRead, FILE_OPEN).status, STATUS_OBJECT_NAME_INVALID);
    EXPECT_EQ(Create(u"C:\\new\\", kWrite, FILE_OPEN_IF).status, STATUS_OBJECT_NAME_INVALID);
    EXPECT_EQ(Create(u"C:\\new", kRead, FILE_OVERWRITE_IF, kFolder).status, STATUS_INVALID_PARAMETER);
    EXPECT_FALSE(fs::exists(C() / "new"));
}

TEST_F(FilesTest, ArgumentChecksComeBeforeTheNameIsLookedAt)
{
    const struct {
        ACCESS_MASK access;
        ULONG options;
        NTSTATUS status;
    } cases[] = {
        {GENERIC_READ, FILE_SYNCHRONOUS_IO_NONALERT, STATUS_SUCCESS}, // generic read maps to SYNCHRONIZE
        {FILE_READ_DATA, FILE_SYNCHRONOUS_IO_NONALERT, STATUS_INVALID_PARAMETER},
        {kRead, FILE_SYNCHRONOUS_IO_ALERT | FILE_SYNCHRONOUS_IO_NONALERT, STATUS_INVALID_PARAMETER},
        {kRead, FILE_DIRECTORY_FILE | FILE_NON_DIRECTORY_FILE, STATUS_INVALID_PARAMETER},
        {kRead, kSync | FILE_DELETE_ON_CLOSE, STATUS_INVALID_PARAMETER},
        {FILE_APPEND_DATA | SYNCHRONIZE, kSync | FILE_NO_INTERMEDIATE_BUFFERING, STATUS_INVALID_PARAMETER},
        {kWrite, kSync | FILE_NO_INTERMEDIATE_BUFFERING | FILE_WRITE_THROUGH | FILE_RANDOM_ACCESS, STATUS_SUCCESS},
        {kRead, 0x01000000, STATUS_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        Opened file = Create(u"C:\\args.bin", c.access, FILE_OPEN_IF, c.options);
        EXPECT_EQ(file.status, c.status) << std::hex << c.access << " " << c.options;
        if (NT_SUCCESS(file.status))
            ZwClose(file.handle);
    }
    EXPECT_EQ(Create(u"C:\\args.bin", kRead, FILE_OPEN, kSync, 0x8).status, STATUS_INVALID_PARAMETER);

    std::u16string name = u"C:\\args.bin";
    UNICODE_STRING text{static_cast<USHORT>(name.size() * 2), static_cast<USHORT>(name.size() * 2), name.data()};
    OBJECT_ATTRIBUTES attributes;
    IO_STATUS_BLOCK io{};
    HANDLE handle = nullptr;
    InitializeObjectAttributes(&attributes, &text, OBJ_KERNEL_HANDLE, reinterpret_cast<HANDLE>(0x4), nullptr);
    EXPECT_EQ(ZwCreateFile(&handle, kRead, &attributes, &io, nullptr, 0, 0, FILE_OPEN, kSync, nullptr, 0),
              STATUS_INVALID_PARAMETER)
        << "no opens relative to a root directory";
    InitializeObjectAttributes(&attributes, &text, OBJ_KERNEL_HANDLE, nullptr, nullptr);
    char ea[8] = {};
    EXPECT_EQ(ZwCreateFile(&handle, kRead, &attributes, &io, nullptr, 0, 0, FILE_OPEN, kSync, ea, sizeof ea),
              STATUS_EAS_NOT_SUPPORTED);
    text.Length = 3;
    EXPECT_EQ(ZwCreateFile(&handle, kRead, &attributes, &io, nullptr, 0, 0, FILE_OPEN, kSync, nullptr, 0),
              STATUS_OBJECT_NAME_INVALID);
    EXPECT_EQ(ZwCreateFile(&handle, kRead, nullptr, &io, nullptr, 0, 0, FILE_OPEN, kSync, nullptr, 0),
              STATUS_INVALID_PARAMETER);
}

TEST_F(FilesTest, ShareModesDecideBetweenOpenHandles)
{
    Opened reader = Create(u"C:\\s.bin", kRead, FILE_OPEN_IF, kSync, FILE_SHARE_READ);
    ASSERT_EQ(reader.status, STATUS_SUCCESS);
    Opened second = Create(u"C:\\s.bin", kRead, FILE_OPEN, kSync, FILE_SHARE_READ);
    EXPECT_EQ(second.status, STATUS_SUCCESS);
    Opened writer = Create(u"C:\\S.BIN", kWrite, FILE_OPEN, kSync, kShareAll);
    EXPECT_EQ(writer.status, STATUS_SHARING_VIOLATION) << "the readers do not share writing";
    EXPECT_EQ(writer.information, 0u);
    EXPECT_EQ(Create(u"C:\\s.bin", kRead, FILE_OPEN, kSync, FILE_SHARE_WRITE).status, STATUS_SHARING_VIOLATION)
        << "a new open must share the reading others do";
    HostWrite(C() / "s.bin", "keep");
    EXPECT_EQ(Create(u"C:\\s.bin", kRead, FILE_OVERWRITE, kSync, kShareAll).status, STATUS_SHARING_VIOLATION)
        << "overwriting implies writing";
    EXPECT_EQ(HostRead(C() / "s.bin"), "keep");
    Opened attributesOnly = Create(u"C:\\s.bin", FILE_READ_ATTRIBUTES | SYNCHRONIZE, FILE_OPEN, kSync, 0);
    EXPECT_EQ(attributesOnly.status, STATUS_SUCCESS) << "no data access takes no part in sharing";
    EXPECT_EQ(Standard(attributesOnly.handle).EndOfFile.QuadPart, 4);
    ZwClose(attributesOnly.handle);

    ZwClose(reader.handle);
    ZwClose(second.handle);
    writer = Create(u"C:\\s.bin", kWrite, FILE_OPEN, kSync, 0);
    EXPECT_EQ(writer.status, STATUS_SUCCESS) << "the closed handles share nothing any more";
    EXPECT_EQ(Create(u"C:\\s.bin", kRead, FILE_OPEN, kSync, kShareAll).status, STATUS_SHARING_VIOLATION);
    ZwClose(writer.handle);
}

TEST_F(FilesTest, DeleteOnCloseRemovesTheFileWhenItsLastOpenCloses)
{
    constexpr ACCESS_MASK kDelete = kReadWrite | DELETE;
    Opened temporary = Create(u"C:\\tmp.bin", kDelete, FILE_CREATE, kSync | FILE_DELETE_ON_CLOSE, kShareAll);
    ASSERT_EQ(temporary.status, STATUS_SUCCESS);
    Opened other = Create(u"C:\\tmp.bin", kRead, FILE_OPEN, kSync, kShareAll);
    ASSERT_EQ(other.status, STATUS_SUCCESS);
    EXPECT_FALSE(Standard(other.handle).DeletePending);
    ZwClose(temporary.handle);
    EXPECT_TRUE(fs::exists(C() / "tmp.bin"));
    EXPECT_TRUE(Standard(other.handle).DeletePending);
    EXPECT_EQ(Create(u"C:\\tmp.bin", kRead, FILE_OPEN_IF, kSync, kShareAll).status, STATUS_DELETE_PENDING);
    ZwClose(other.handle);
    EXPECT_FALSE(fs::exists(C() / "tmp.bin"));

    EXPECT_EQ(Create(u"C:\\", kDelete, FILE_OPEN, FILE_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE).status,
              STATUS_CANNOT_DELETE);
    EXPECT_TRUE(fs::exists(C()));
}

TEST_F(FilesTest, AnOpenHandleIsReportedAsALeakUntilClosed)
{
    Opened file = Create(u"C:\\leak.bin", kWrite, FILE_OPEN_IF);
    ASSERT_EQ(file.status, STATUS_SUCCESS);
    standin::VerifierSetEcho(false);
    EXPECT_EQ(standin::VerifierCheckLeaks(), 1u);
    auto breaches = standin::VerifierTakeViolations();
    standin::VerifierSetEcho(true);
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_EQ(breaches[0].rule, "leak");
    EXPECT_NE(breaches[0].detail.find("File object"), std::string::npos) << breaches[0].detail;
    EXPECT_NE(breaches[0].detail.find("C:\\leak.bin"), std::string::npos) << breaches[0].detail;

    IO_STATUS_BLOCK io{};
    EXPECT_EQ(ZwClose(file.handle), STATUS_SUCCESS);
    EXPECT_EQ(ZwWriteFile(file.handle, nullptr, nullptr, nullptr, &io, nullptr, 0, nullptr, nullptr),
              STATUS_INVALID_HANDLE);
    EXPECT_EQ(standin::VerifierCheckLeaks(), 0u);
}

TEST_F(FilesTest, OpeningAbovePassiveLevelIsABreach)
{
    standin::VerifierSetEcho(false);
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    Opened file = Create(u"C:\\irql.bin", kWrite, FILE_OPEN_IF);
    KeLowerIrql(old);
    auto breaches = standin::VerifierTakeViolations();
    standin::VerifierSetEcho(true);
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_EQ(breaches[0].rule, "irql");
    EXPECT_NE(breaches[0].detail.find("ZwCreateFile"), std::string::npos);
    if (NT_SUCCESS(file.status))
        ZwClose(file.handle);
}
