// File names on the machine's drives: the three forms of a name, case-blind lookups, the names that
// are refused, links that would lead out of a drive, and the machine root.
#include "FilesTestSupport.h"
#include "standin/drives.h"
#include "standin/verifier.h"

#include <unistd.h>

using namespace filestest;

TEST_F(FilesTest, AFileWrittenThroughDosDevicesIsInTheDriveFolderAndTheOtherFormsNameIt)
{
    fs::create_directory(C() / "t");
    Opened file = Create(u"\\DosDevices\\C:\\t\\a.bin", kWrite, FILE_OVERWRITE_IF);
    ASSERT_EQ(file.status, STATUS_SUCCESS);
    EXPECT_EQ(file.information, FILE_CREATED);
    EXPECT_EQ(Write(file.handle, "issue").count, 5u);
    EXPECT_EQ(ZwClose(file.handle), STATUS_SUCCESS);
    EXPECT_EQ(HostRead(C() / "t" / "a.bin"), "issue");

    std::string bytes;
    for (std::u16string name : {u"\\??\\c:\\T\\A.BIN", u"C:\\t\\a.bin", u"\\dosdevices\\C:\\t\\A.bin"}) {
        Opened same = Create(name, kRead, FILE_OPEN);
        ASSERT_EQ(same.status, STATUS_SUCCESS);
        EXPECT_EQ(same.information, FILE_OPENED);
        EXPECT_EQ(Read(same.handle, &bytes, 100).count, 5u);
        EXPECT_EQ(bytes, "issue");
        ZwClose(same.handle);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(C() / "t"), fs::directory_iterator()), 1);
}

TEST_F(FilesTest, ResolveFileNameFollowsExistingSpellingAndKeepsTheCallersForNewEntries)
{
    HostWrite(C() / "Data" / "Old.txt", "x");
    std::string host;
    EXPECT_EQ(standin::ResolveFileName(u"\\??\\C:\\DATA\\old.TXT", &host), STATUS_SUCCESS);
    EXPECT_EQ(host, (C() / "Data" / "Old.txt").string());
    EXPECT_EQ(standin::ResolveFileName(u"C:\\data\\New.Txt", &host), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(host, (C() / "Data" / "New.Txt").string());
    EXPECT_EQ(standin::ResolveFileName(u"C:\\nowhere\\New.Txt", &host), STATUS_OBJECT_PATH_NOT_FOUND);
    EXPECT_EQ(host, "");

    Opened made = Create(u"C:\\DATA\\New.Txt", kWrite, FILE_CREATE);
    ASSERT_EQ(made.status, STATUS_SUCCESS);
    ZwClose(made.handle);
    EXPECT_TRUE(fs::exists(C() / "Data" / "New.Txt")) << "created with the caller's case in the existing folder";
}

TEST_F(FilesTest, ExactSpellingWinsAmongEntriesThatDifferOnlyInCase)
{
    HostWrite(C() / "b.txt", "lower");
    HostWrite(C() / "B.txt", "upper");
    std::string bytes;
    for (auto [name, expected] : {std::pair{u"C:\\b.txt", "lower"}, {u"C:\\B.txt", "upper"}, {u"C:\\B.TXT", "upper"}}) {
        Opened file = Create(name, kRead, FILE_OPEN);
        ASSERT_EQ(file.status, STATUS_SUCCESS);
        Read(file.handle, &bytes, 10);
        EXPECT_EQ(bytes, expected) << "byte order puts \"B.txt\" first when neither is exact";
        ZwClose(file.handle);
    }
}

TEST_F(FilesTest, DriveFoldersAreFoundInEitherCaseAndUnknownDrivesAreMissingPaths)
{
    fs::create_directory(root / "d");
    HostWrite(root / "d" / "x.bin", "d");
    EXPECT_EQ(standin::DriveFolder('D'), (root / "d").string());
    EXPECT_EQ(standin::DriveFolder('c'), (root / "C").string());
    EXPECT_EQ(standin::DriveFolder('1'), "");
    Opened file = Create(u"\\??\\D:\\X.BIN", kRead, FILE_OPEN);
    EXPECT_EQ(file.status, STATUS_SUCCESS);
    ZwClose(file.handle);
    EXPECT_EQ(Create(u"\\??\\E:\\x.bin", kWrite, FILE_OPEN_IF).status, STATUS_OBJECT_PATH_NOT_FOUND);
    EXPECT_FALSE(fs::exists(root / "E"));
}

TEST_F(FilesTest, MissingFilesAndFoldersHaveTheirOwnStatuses)
{
    HostWrite(C() / "plain", "file, not folder");
    Opened missing = Create(u"C:\\none.bin", kRead, FILE_OPEN);
    EXPECT_EQ(missing.status, STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(missing.information, FILE_DOES_NOT_EXIST);
    EXPECT_EQ(Create(u"C:\\none\\a.bin", kWrite, FILE_OPEN_IF).status, STATUS_OBJECT_PATH_NOT_FOUND);
    EXPECT_EQ(Create(u"C:\\plain\\a.bin", kWrite, FILE_OPEN_IF).status, STATUS_OBJECT_PATH_NOT_FOUND);
    EXPECT_FALSE(fs::exists(C() / "none"));
}

TEST_F(FilesTest, MalformedAndForeignNamesAreRefusedWithWindowsStatuses)
{
    const std::pair<std::u16string, NTSTATUS> cases[] = {
        {u"", STATUS_OBJECT_NAME_INVALID},
        {u"C:\\t\\..\\..\\escape", STATUS_OBJECT_NAME_INVALID},
        {u"C:\\..", STATUS_OBJECT_NAME_INVALID},
        {u"C:\\.\\a", STATUS_OBJECT_NAME_INVALID},
        {u"C:\\a\\\\b", STATUS_OBJECT_NAME_INVALID},
        {u"C:\\\\", STATUS_OBJECT_NAME_INVALID},
        {u"C:\\a/../../b", STATUS_OBJECT_NAME_INVALID},
        {u"C:\\a?b", STATUS_OBJECT_NAME_INVALID},
        {u"C:\\a*", STATUS_OBJECT_NAME_INVALID},
        {u"C:\\a<b>", STATUS_OBJECT_NAME_INVALID},
        {u"C:\\a|b", STATUS_OBJECT_NAME_INVALID},
        {u"C:\\a\"b", STATUS_OBJECT_NAME_INVALID},
        {u"C:\\a:stream", STATUS_OBJECT_NAME_INVALID},
        {u"C:\\tab\there", STATUS_OBJECT_NAME_INVALID},
        {std::u16string(u"C:\\nul\0x", 8), STATUS_OBJECT_NAME_INVALID},
        {u"C:\\" + std::u16string(256, u'n'), STATUS_OBJECT_NAME_INVALID},
        {u"C:\\half\xD800", STATUS_OBJECT_NAME_INVALID},
        {u"\\??\\C:", STATUS_OBJECT_NAME_INVALID},
        {u"\\??\\C:relative", STATUS_OBJECT_NAME_NOT_FOUND},
        {u"\\??\\C:relative\\x", STATUS_OBJECT_PATH_NOT_FOUND},
        {u"\\Device\\HarddiskVolume1\\x", STATUS_OBJECT_PATH_NOT_FOUND},
        {u"relative\\x.bin", STATUS_OBJECT_PATH_SYNTAX_BAD},
    };
    for (const auto& [name, status] : cases) {
        Opened file = Create(name, kWrite, FILE_OPEN_IF);
        EXPECT_EQ(file.status, status) << std::string(name.begin(), name.end());
        if (NT_SUCCESS(file.status))
            ZwClose(file.handle);
    }
    EXPECT_TRUE(fs::is_empty(C()));
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 1);

    Opened longest = Create(u"C:\\" + std::u16string(255, u'n'), kWrite, FILE_CREATE);
    EXPECT_EQ(longest.status, STATUS_SUCCESS);
    ZwClose(longest.handle);
}

TEST_F(FilesTest, LinksAreNeverFollowedSoNoNameLeavesItsDrive)
{
    const fs::path outside = root.parent_path() / (root.filename().string() + "-outside");
    fs::create_directory(outside);
    HostWrite(outside / "secret", "outside");
    fs::create_directory_symlink(outside, C() / "out");
    fs::create_symlink(outside / "secret", C() / "secret");
    fs::create_symlink(outside / "absent", C() / "dangling");
    ::mkfifo((C() / "pipe").c_str(), 0600);

    EXPECT_EQ(Create(u"C:\\out\\secret", kRead, FILE_OPEN).status, STATUS_ACCESS_DENIED);
    EXPECT_EQ(Create(u"C:\\OUT\\new", kWrite, FILE_OPEN_IF).status, STATUS_ACCESS_DENIED);
    EXPECT_EQ(Create(u"C:\\secret", kRead, FILE_OPEN).status, STATUS_ACCESS_DENIED);
    EXPECT_EQ(Create(u"C:\\Secret", kWrite, FILE_OVERWRITE_IF).status, STATUS_ACCESS_DENIED);
    EXPECT_EQ(Create(u"C:\\dangling", kWrite, FILE_OPEN_IF).status, STATUS_ACCESS_DENIED);
    EXPECT_EQ(Create(u"C:\\pipe", kRead, FILE_OPEN).status, STATUS_ACCESS_DENIED) << "and does not block";
    EXPECT_EQ(HostRead(outside / "secret"), "outside");
    EXPECT_FALSE(fs::exists(outside / "new"));
    EXPECT_FALSE(fs::exists(outside / "absent"));

    fs::create_directory_symlink(outside, root / "Q");
    EXPECT_EQ(Create(u"Q:\\secret", kRead, FILE_OPEN).status, STATUS_ACCESS_DENIED);
    fs::remove_all(outside);
}

TEST_F(FilesTest, WithoutAMachineRootEveryOpenFailsWithABreach)
{
    standin::VerifierSetEcho(false);
    standin::SetMachineRoot("");
    EXPECT_EQ(Create(u"C:\\a.bin", kWrite, FILE_OPEN_IF).status, STATUS_OBJECT_PATH_NOT_FOUND);
    standin::SetMachineRoot((root / "gone").string());
    EXPECT_EQ(Create(u"C:\\a.bin", kWrite, FILE_OPEN_IF).status, STATUS_OBJECT_PATH_NOT_FOUND);
    auto breaches = standin::VerifierTakeViolations();
    standin::VerifierSetEcho(true);
    ASSERT_EQ(breaches.size(), 2u);
    EXPECT_EQ(breaches[0].rule, "machine-root");
    EXPECT_NE(breaches[0].detail.find("C:\\a.bin"), std::string::npos);
    EXPECT_NE(breaches[1].detail.find("gone"), std::string::npos);

    standin::SetMachineRoot(root.string() + "///");
    EXPECT_EQ(standin::MachineRoot(), root.string());
}
