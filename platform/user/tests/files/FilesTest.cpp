// Files on the machine's drives through the Win32 calls, seen from the kernel side and the host.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "km/file.h"
#include "km/object.h"
#include "km/status.h"
#include "km/string.h"
#include "standin/drives.h"
#include "standin/userprocess.h"
#include "um/windows.h"

namespace fs = std::filesystem;

namespace {

class Win32FilesTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "user-files-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        fs::create_directories(root / "C" / "Windows");
        fs::create_directories(root / "C" / "Temp");
        standin::SetMachineRoot(root.string());
    }
    void TearDown() override
    {
        standin::ResetCurrentDirectory();
        standin::SetMachineRoot("");
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    fs::path root;
};

HANDLE Create(const char* name, DWORD access, DWORD share, DWORD disposition)
{
    return CreateFileA(name, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST_F(Win32FilesTest, GlyphFileWrittenHereIsTheOneTheDriverOpens)
{
    std::vector<BYTE> bytes(32928);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<BYTE>(i * 7 + 3);
    HANDLE file = Create("C:\\Windows\\Arial_8pt.gph", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    EXPECT_EQ(written, 32928u);

    // No sharing: a second open meanwhile fails.
    SetLastError(0);
    EXPECT_EQ(Create("c:\\windows\\ARIAL_8PT.GPH", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_EQ(fs::file_size(root / "C" / "Windows" / "Arial_8pt.gph"), 32928u);

    UNICODE_STRING name;
    RtlInitUnicodeString(&name, u"\\DosDevices\\C:\\Windows\\Arial_8pt.gph");
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
    HANDLE kernel = nullptr;
    IO_STATUS_BLOCK io{};
    ASSERT_EQ(ZwCreateFile(&kernel, GENERIC_READ, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ,
                           FILE_OPEN, FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, nullptr, 0),
              STATUS_SUCCESS);
    std::vector<BYTE> back(40000);
    ASSERT_EQ(ZwReadFile(kernel, nullptr, nullptr, nullptr, &io, back.data(), static_cast<ULONG>(back.size()),
                         nullptr, nullptr),
              STATUS_SUCCESS);
    EXPECT_EQ(io.Information, 32928u);
    back.resize(io.Information);
    EXPECT_EQ(back, bytes);
    ZwClose(kernel);
}

TEST_F(Win32FilesTest, MissingFileAndMissingFolder)
{
    SetLastError(0);
    EXPECT_EQ(Create("C:\\Windows\\none.gph", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Create("C:\\Nowhere\\none.gph", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Create("Q:\\x.bin", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Create("C:\\Temp\\a|b", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME));
    EXPECT_EQ(Create("\\\\server\\share\\x", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_NETPATH));
    EXPECT_EQ(Create("", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Create("C:\\Temp", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
}

TEST_F(Win32FilesTest, DispositionResults)
{
    HANDLE file = Create("C:\\Temp\\d.bin", GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "abc", 3, &written, nullptr));
    CloseHandle(file);

    EXPECT_EQ(Create("C:\\Temp\\d.bin", GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));

    file = Create("C:\\Temp\\d.bin", GENERIC_READ, 0, OPEN_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    CloseHandle(file);
    EXPECT_EQ(fs::file_size(root / "C" / "Temp" / "d.bin"), 3u);

    file = Create("C:\\Temp\\d.bin", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    CloseHandle(file);
    EXPECT_EQ(fs::file_size(root / "C" / "Temp" / "d.bin"), 0u);

    file = Create("C:\\Temp\\new.bin", GENERIC_WRITE, 0, OPEN_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
    CloseHandle(file);

    EXPECT_EQ(Create("C:\\Temp\\gone.bin", GENERIC_WRITE, 0, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Create("C:\\Temp\\d.bin", GENERIC_READ, 0, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Create("C:\\Temp\\d.bin", GENERIC_READ, 0, 9), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(CreateFileA("C:\\Temp\\d.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));
}

TEST_F(Win32FilesTest, ReadsToTheEndAndRefusals)
{
    HANDLE file = Create("C:\\Temp\\r.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD count = 0;
    ASSERT_TRUE(WriteFile(file, "0123456789", 10, &count, nullptr));
    CloseHandle(file);

    file = Create("C:\\Temp\\r.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[8] = {};
    ASSERT_TRUE(ReadFile(file, buffer, 6, &count, nullptr));
    EXPECT_EQ(count, 6u);
    EXPECT_EQ(std::string(buffer, 6), "012345");
    ASSERT_TRUE(ReadFile(file, buffer, 8, &count, nullptr));
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    count = 99;
    EXPECT_TRUE(ReadFile(file, buffer, 8, &count, nullptr));
    EXPECT_EQ(count, 0u);

    OVERLAPPED overlapped{};
    SetLastError(0);
    EXPECT_FALSE(ReadFile(file, buffer, 8, &count, &overlapped));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));
    EXPECT_FALSE(WriteFile(file, buffer, 8, &count, &overlapped));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));
    EXPECT_FALSE(ReadFile(file, buffer, 8, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(ReadFile(file, nullptr, 8, &count, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOACCESS));
    // Read access only: a write is refused.
    EXPECT_FALSE(WriteFile(file, "x", 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(count, 0u);
    CloseHandle(file);

    EXPECT_FALSE(ReadFile(file, buffer, 8, &count, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(Win32FilesTest, CurrentDirectoryRelativeNamesAndDeletion)
{
    char buffer[64];
    EXPECT_EQ(GetCurrentDirectoryA(sizeof buffer, buffer), 3u);
    EXPECT_STREQ(buffer, "C:\\");
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\Temp"));
    EXPECT_EQ(GetCurrentDirectoryA(sizeof buffer, buffer), 7u);
    EXPECT_STREQ(buffer, "C:\\Temp");
    EXPECT_EQ(GetCurrentDirectoryA(7, buffer), 8u);

    HANDLE file = Create("0012abcd.bmp", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(fs::exists(root / "C" / "Temp" / "0012abcd.bmp"));
    ASSERT_TRUE(DeleteFileA("0012abcd.bmp"));
    EXPECT_FALSE(fs::exists(root / "C" / "Temp" / "0012abcd.bmp"));
    SetLastError(0);
    EXPECT_FALSE(DeleteFileA("0012abcd.bmp"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

    // Steps and forward slashes are made whole; ".." stops at the root.
    file = Create("..\\..\\Windows/./x.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(fs::exists(root / "C" / "Windows" / "x.txt"));
    file = Create("\\Temp\\rooted.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(fs::exists(root / "C" / "Temp" / "rooted.txt"));
    file = CreateFileW(u"\\\\?\\C:\\Temp\\verbatim.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(fs::exists(root / "C" / "Temp" / "verbatim.txt"));

    SetLastError(0);
    EXPECT_FALSE(SetCurrentDirectoryA("C:\\Temp\\rooted.txt"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DIRECTORY));
    EXPECT_FALSE(SetCurrentDirectoryA("C:\\Missing\\Deeper"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetCurrentDirectoryA(sizeof buffer, buffer), 7u);
    ASSERT_TRUE(SetCurrentDirectoryW(u".."));
    WCHAR wide[16];
    EXPECT_EQ(GetCurrentDirectoryW(16, wide), 3u);
    EXPECT_EQ(std::u16string(wide), u"C:\\");
}

TEST_F(Win32FilesTest, DeleteRespectsOpenHandlesAndFolders)
{
    HANDLE file = Create("C:\\Temp\\held.bin", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetLastError(0);
    EXPECT_FALSE(DeleteFileA("C:\\Temp\\held.bin"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    CloseHandle(file);
    EXPECT_TRUE(DeleteFileW(u"C:\\TEMP\\HELD.BIN"));
    EXPECT_FALSE(DeleteFileA("C:\\Temp"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(fs::is_directory(root / "C" / "Temp"));
    EXPECT_FALSE(DeleteFileA(nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(Win32FilesTest, DeleteOnCloseFlag)
{
    HANDLE file = CreateFileA("C:\\Temp\\scratch.tmp", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(fs::exists(root / "C" / "Temp" / "scratch.tmp"));
    CloseHandle(file);
    EXPECT_FALSE(fs::exists(root / "C" / "Temp" / "scratch.tmp"));
}

TEST(WindowsDirectory, LengthAndSizeNeeded)
{
    char buffer[512];
    EXPECT_EQ(GetWindowsDirectoryA(buffer, 512), 10u);
    EXPECT_STREQ(buffer, "C:\\Windows");
    char small[5] = {'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(GetWindowsDirectoryA(small, 5), 11u);
    EXPECT_EQ(small[0], 'x');
    EXPECT_EQ(GetWindowsDirectoryA(buffer, 11), 10u);
    EXPECT_EQ(GetWindowsDirectoryA(buffer, 10), 11u);
    WCHAR wide[16];
    EXPECT_EQ(GetWindowsDirectoryW(wide, 16), 10u);
    EXPECT_EQ(std::u16string(wide), u"C:\\Windows");
    EXPECT_EQ(GetWindowsDirectoryW(nullptr, 0), 11u);
}

} // namespace
