// The page library's test machine.
#include "PageLibraryMachine.h"

#include <stdlib.h>

#include "standin/drives.h"
#include "standin/registry.h"
#include "standin/userprocess.h"

namespace fs = std::filesystem;

void PageLibraryMachineTest::SetUp()
{
    std::string pattern = (fs::temp_directory_path() / "proppages-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
    const fs::path system32 = root / "C" / "Windows" / "System32";
    fs::create_directories(system32);
    fs::copy_file(PAGE_LIBRARY_FILE, system32 / "Talvexon_x86.ax");
    standin::SetMachineRoot(root.string());
    standin::ResetRegistry();
    standin::RegistryTextError error;
    ASSERT_TRUE(standin::ImportRegistryFile(PAGE_TESTS_DEFAULT_HIVE, &error)) << error.message;
}

void PageLibraryMachineTest::TearDown()
{
    if (library_)
        FreeLibrary(library_);
    library_ = nullptr;
    standin::ResetRegistry();
    standin::ResetCurrentDirectory();
    standin::SetMachineRoot("");
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

HMODULE PageLibraryMachineTest::Library()
{
    if (!library_)
        library_ = LoadLibraryA(kPageLibraryPath);
    EXPECT_NE(library_, nullptr) << "error " << GetLastError();
    return library_;
}

bool ClassesKeyExists(const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool ClassesValue(const std::string& path, const char* name, std::string* value)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char data[1024] = {};
    DWORD type = 0;
    DWORD size = sizeof(data) - 1;
    const LSTATUS status =
        RegQueryValueExA(key, *name ? name : nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return false;
    *value = data;
    return true;
}

std::vector<std::string> ClassesSubKeys(const std::string& path)
{
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}
