// Helpers shared by the file tests: a fixture with a machine root of its own (drive C present) that
// it removes afterwards, thin calls of the Zw functions, and host-side reads and writes.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "km/file.h"
#include "km/status.h"
#include "standin/drives.h"
#include "standin/filefaults.h"
#include "standin/verifier.h"

namespace filestest {

namespace fs = std::filesystem;

constexpr ACCESS_MASK kRead = GENERIC_READ | SYNCHRONIZE;
constexpr ACCESS_MASK kWrite = GENERIC_WRITE | SYNCHRONIZE;
constexpr ACCESS_MASK kReadWrite = GENERIC_READ | GENERIC_WRITE | SYNCHRONIZE;
constexpr ULONG kSync = FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct Opened {
    NTSTATUS status;
    HANDLE handle;
    ULONG_PTR information;
};

inline Opened Create(std::u16string name, ACCESS_MASK access, ULONG disposition, ULONG options = kSync,
                     ULONG share = FILE_SHARE_READ, ULONG attributes = OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE)
{
    UNICODE_STRING text{static_cast<USHORT>(name.size() * 2), static_cast<USHORT>(name.size() * 2), name.data()};
    OBJECT_ATTRIBUTES record;
    InitializeObjectAttributes(&record, &text, attributes, nullptr, nullptr);
    IO_STATUS_BLOCK io{};
    io.Information = 0xDEAD;
    HANDLE handle = reinterpret_cast<HANDLE>(0x1);
    const NTSTATUS status = ZwCreateFile(&handle, access, &record, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                                         disposition, options, nullptr, 0);
    EXPECT_EQ(io.Status, status);
    if (!NT_SUCCESS(status)) {
        EXPECT_EQ(handle, nullptr);
    }
    return Opened{status, handle, io.Information};
}

struct Moved {
    NTSTATUS status;
    ULONG_PTR count;
};

inline Moved Write(HANDLE handle, std::string_view bytes, PLARGE_INTEGER offset = nullptr)
{
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = ZwWriteFile(handle, nullptr, nullptr, nullptr, &io, const_cast<char*>(bytes.data()),
                                        static_cast<ULONG>(bytes.size()), offset, nullptr);
    EXPECT_EQ(io.Status, status);
    return Moved{status, io.Information};
}

inline Moved Read(HANDLE handle, std::string* bytes, ULONG length, PLARGE_INTEGER offset = nullptr)
{
    bytes->assign(length, '\0');
    IO_STATUS_BLOCK io{};
    const NTSTATUS status =
        ZwReadFile(handle, nullptr, nullptr, nullptr, &io, bytes->data(), length, offset, nullptr);
    EXPECT_EQ(io.Status, status);
    bytes->resize(io.Information);
    return Moved{status, io.Information};
}

inline LARGE_INTEGER At(LONGLONG offset)
{
    LARGE_INTEGER value;
    value.QuadPart = offset;
    return value;
}

inline LARGE_INTEGER Special(ULONG lowPart)
{
    LARGE_INTEGER value;
    value.u.LowPart = lowPart;
    value.u.HighPart = -1;
    return value;
}

inline FILE_STANDARD_INFORMATION Standard(HANDLE handle)
{
    FILE_STANDARD_INFORMATION info{};
    IO_STATUS_BLOCK io{};
    EXPECT_EQ(ZwQueryInformationFile(handle, &io, &info, sizeof info, FileStandardInformation), STATUS_SUCCESS);
    EXPECT_EQ(io.Information, sizeof info);
    return info;
}

inline LONGLONG Position(HANDLE handle)
{
    FILE_POSITION_INFORMATION info{};
    IO_STATUS_BLOCK io{};
    EXPECT_EQ(ZwQueryInformationFile(handle, &io, &info, sizeof info, FilePositionInformation), STATUS_SUCCESS);
    return info.CurrentByteOffset.QuadPart;
}

inline std::string HostRead(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

inline void HostWrite(const fs::path& path, std::string_view bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Each test gets a machine root of its own with an empty drive C.
class FilesTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "files-test-XXXXXX").string();
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
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(root, ignored);
    }

    fs::path C() const { return root / "C"; }
    fs::path root;
};

} // namespace filestest
