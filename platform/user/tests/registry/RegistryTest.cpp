// The registry through the Win32 calls, over the machine's one tree.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "km/registry.h"
#include "km/status.h"
#include "standin/registry.h"
#include "um/windows.h"

#ifndef USER_TESTS_DEFAULT_HIVE
#error "USER_TESTS_DEFAULT_HIVE names the machine's base registry file"
#endif

namespace {

const char16_t* const kServer = u"CLSID\\{6A4D2F10-0C1B-4E5A-9B77-1D2E3F405162}\\InprocServer32";

class Win32RegistryTest : public testing::Test {
protected:
    void SetUp() override
    {
        standin::ResetRegistry();
        standin::RegistryTextError error;
        ASSERT_TRUE(standin::ImportRegistryFile(USER_TESTS_DEFAULT_HIVE, &error)) << error.message;
    }
    void TearDown() override { standin::ResetRegistry(); }
};

TEST_F(Win32RegistryTest, TheBaseHiveHasTheMachinesClasses)
{
    EXPECT_TRUE(standin::RegistryKeyExists(u"\\Registry\\Machine\\SOFTWARE\\Classes"));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, nullptr, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(Win32RegistryTest, ServerKeyUnderClassesRoot)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, kServer, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    const char16_t both[] = u"Both";
    ASSERT_EQ(RegSetValueExW(key, u"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(both), sizeof both),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    // The kernel side reads the same value under the machine's classes.
    const auto value = standin::ReadRegistryString(
        u"\\Registry\\Machine\\SOFTWARE\\Classes\\CLSID\\{6A4D2F10-0C1B-4E5A-9B77-1D2E3F405162}\\InprocServer32",
        u"ThreadingModel");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, u"Both");
    UNICODE_STRING path;
    path.Buffer = const_cast<PWSTR>(
        u"\\Registry\\Machine\\SOFTWARE\\Classes\\CLSID\\{6A4D2F10-0C1B-4E5A-9B77-1D2E3F405162}\\InprocServer32");
    path.Length = path.MaximumLength = static_cast<USHORT>(std::char_traits<char16_t>::length(path.Buffer) * 2);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
    HANDLE kernelKey = nullptr;
    ASSERT_EQ(ZwOpenKey(&kernelKey, KEY_READ, &attributes), STATUS_SUCCESS);
    UNICODE_STRING name;
    name.Buffer = const_cast<PWSTR>(u"ThreadingModel");
    name.Length = name.MaximumLength = 28;
    UCHAR record[64];
    ULONG length = 0;
    ASSERT_EQ(ZwQueryValueKey(kernelKey, &name, KeyValuePartialInformation, record, sizeof record, &length),
              STATUS_SUCCESS);
    const auto* partial = reinterpret_cast<KEY_VALUE_PARTIAL_INFORMATION*>(record);
    EXPECT_EQ(partial->Type, ULONG(REG_SZ));
    EXPECT_EQ(partial->DataLength, 10u);
    EXPECT_EQ(std::memcmp(partial->Data, both, 10), 0);
    ZwClose(kernelKey);

    // A buffer too small gives the size needed.
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, kServer, 0, KEY_READ, &key), ERROR_SUCCESS);
    BYTE small[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    DWORD size = sizeof small;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"ThreadingModel", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(type, DWORD(REG_SZ));
    size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"threadingmodel", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 10u);
    char16_t text[8] = {};
    size = sizeof text;
    EXPECT_EQ(RegQueryValueExW(key, u"ThreadingModel", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(std::u16string(text), u"Both");
    EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExW(key, u"ThreadingModel", nullptr, &type, reinterpret_cast<BYTE*>(text), nullptr),
              ERROR_INVALID_PARAMETER);
    // Read access only: no writing through this handle.
    EXPECT_EQ(RegSetValueExW(key, u"Other", 0, REG_SZ, reinterpret_cast<const BYTE*>(both), sizeof both),
              ERROR_ACCESS_DENIED);
    RegCloseKey(key);

    // The key is in the saved text.
    std::string saved;
    ASSERT_TRUE(standin::ExportRegistryText(u"", &saved));
    EXPECT_NE(saved.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{6A4D2F10-0C1B-4E5A-9B77-1D2E3F405162}"
                         "\\InprocServer32]\n\"ThreadingModel\"=\"Both\""),
              std::string::npos);

    // A key with sub-keys does not go alone; the tree does.
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"CLSID\\{6A4D2F10-0C1B-4E5A-9B77-1D2E3F405162}"), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(standin::RegistryKeyExists(
        u"\\Registry\\Machine\\SOFTWARE\\Classes\\CLSID\\{6A4D2F10-0C1B-4E5A-9B77-1D2E3F405162}"));
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"CLSID\\{6A4D2F10-0C1B-4E5A-9B77-1D2E3F405162}"), ERROR_SUCCESS);
    EXPECT_FALSE(standin::RegistryKeyExists(
        u"\\Registry\\Machine\\SOFTWARE\\Classes\\CLSID\\{6A4D2F10-0C1B-4E5A-9B77-1D2E3F405162}"));
    EXPECT_TRUE(standin::RegistryKeyExists(u"\\Registry\\Machine\\SOFTWARE\\Classes\\CLSID"));
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, kServer, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(Win32RegistryTest, CreateOpensWhatExistsAndDeleteKeyRemovesALeaf)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Tool", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "software\\VENDOR\\tool", 0, nullptr, 0, KEY_READ, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);
    // Relative to an open key.
    HKEY vendor = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", 0, KEY_ALL_ACCESS, &vendor), ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExW(vendor, u"Other\\Deep", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_TRUE(standin::RegistryKeyExists(u"\\Registry\\Machine\\SOFTWARE\\Vendor\\Other\\Deep"));
    EXPECT_EQ(RegDeleteKeyA(vendor, "Other\\Deep"), ERROR_SUCCESS);
    EXPECT_FALSE(standin::RegistryKeyExists(u"\\Registry\\Machine\\SOFTWARE\\Vendor\\Other\\Deep"));
    EXPECT_EQ(RegDeleteKeyA(vendor, "Other\\Deep"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(vendor, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u""), ERROR_ACCESS_DENIED);
    RegCloseKey(vendor);
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\\\Bad", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_INVALID_NAME);
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, nullptr,
                              nullptr),
              ERROR_INVALID_PARAMETER);
}

TEST_F(Win32RegistryTest, UnsupportedAndBadKeys)
{
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegOpenKeyExW(HKEY_USERS, nullptr, 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 1, KEY_READ, &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueExW(HKEY_CURRENT_CONFIG, u"x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExW(nullptr, u"x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    // An event's handle is no key.
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(RegQueryValueExW(static_cast<HKEY>(event), u"x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(static_cast<HKEY>(event)), ERROR_INVALID_HANDLE);
    CloseHandle(event);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(Win32RegistryTest, AnsiFormsConvertNamesAndText)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Caf\xE9", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    const char text[] = "\x80 5";
    ASSERT_EQ(RegSetValueExA(key, "Pr\xEEx", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
              ERROR_SUCCESS);
    const DWORD number = 0x12345678;
    ASSERT_EQ(RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number),
              ERROR_SUCCESS);
    // Stored as UTF-16.
    const auto wide = standin::ReadRegistryValue(u"\\Registry\\Machine\\SOFTWARE\\Caf\x00E9", u"Pr\x00EEx");
    ASSERT_TRUE(wide.has_value());
    EXPECT_EQ(wide->data.size(), 8u);
    EXPECT_EQ(wide->data[0], 0xAC);
    EXPECT_EQ(wide->data[1], 0x20);
    EXPECT_EQ(standin::ReadRegistryDword(u"\\Registry\\Machine\\SOFTWARE\\Caf\x00E9", u"Count"), 0x12345678u);

    char back[8] = {};
    DWORD size = 3;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "PR\xCEX", nullptr, &type, reinterpret_cast<BYTE*>(back), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    size = sizeof back;
    EXPECT_EQ(RegQueryValueExA(key, "pr\xEEx", nullptr, &type, reinterpret_cast<BYTE*>(back), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_STREQ(back, "\x80 5");
    DWORD read = 0;
    size = sizeof read;
    EXPECT_EQ(RegQueryValueExA(key, "Count", nullptr, &type, reinterpret_cast<BYTE*>(&read), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(read, number);

    EXPECT_EQ(RegDeleteValueA(key, "Count"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "Count"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegSetValueExA(key, "Null", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(Win32RegistryTest, EnumerationOrderSizesAndEnd)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Enum", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    for (const char16_t* name : {u"beta", u"Alpha", u"gamma"}) {
        HKEY child = nullptr;
        ASSERT_EQ(RegCreateKeyExW(key, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr), ERROR_SUCCESS);
        RegCloseKey(child);
    }
    const DWORD one = 1;
    const char16_t longer[] = u"text value";
    ASSERT_EQ(RegSetValueExW(key, u"Zed", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"Abc", 0, REG_SZ, reinterpret_cast<const BYTE*>(longer), sizeof longer),
              ERROR_SUCCESS);

    WCHAR name[16];
    DWORD length = 16;
    FILETIME written{};
    ASSERT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, &written), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"Alpha");
    EXPECT_EQ(length, 5u);
    EXPECT_NE(written.dwLowDateTime | written.dwHighDateTime, 0u);
    length = 16;
    ASSERT_EQ(RegEnumKeyExW(key, 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"beta");
    char narrow[16];
    length = 5;
    EXPECT_EQ(RegEnumKeyExA(key, 2, narrow, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    length = 6;
    ASSERT_EQ(RegEnumKeyExA(key, 2, narrow, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(narrow, "gamma");
    length = 16;
    EXPECT_EQ(RegEnumKeyExW(key, 3, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

    // Values in the order they were set.
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    length = 16;
    ASSERT_EQ(RegEnumValueW(key, 0, name, &length, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"Zed");
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(value, 1u);
    BYTE data[8];
    size = sizeof data;
    length = 16;
    EXPECT_EQ(RegEnumValueW(key, 1, name, &length, nullptr, &type, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, DWORD(sizeof longer));
    char text[16];
    size = sizeof text;
    length = 16;
    ASSERT_EQ(RegEnumValueA(key, 1, narrow, &length, nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(narrow, "Abc");
    EXPECT_EQ(size, 11u);
    EXPECT_STREQ(text, "text value");
    length = 16;
    EXPECT_EQ(RegEnumValueW(key, 2, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

    // RegDeleteTree without a sub-key empties the key and keeps it.
    EXPECT_EQ(RegDeleteTreeW(key, nullptr), ERROR_SUCCESS);
    length = 16;
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    length = 16;
    EXPECT_EQ(RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_TRUE(standin::RegistryKeyExists(u"\\Registry\\Machine\\SOFTWARE\\Enum"));
    RegCloseKey(key);
}

TEST_F(Win32RegistryTest, PredefinedKeysServeValueCallsAndClassesAndVolatileKeysKeepTheirRules)
{
    const DWORD seven = 7;
    ASSERT_EQ(RegSetValueExW(HKEY_CLASSES_ROOT, u"Marker", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven), 4),
              ERROR_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(u"\\Registry\\Machine\\SOFTWARE\\Classes", u"Marker"), 7u);
    DWORD read = 0;
    DWORD size = sizeof read;
    EXPECT_EQ(RegQueryValueExA(HKEY_CLASSES_ROOT, "marker", nullptr, nullptr, reinterpret_cast<BYTE*>(&read), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(read, 7u);
    EXPECT_EQ(RegDeleteValueW(HKEY_CLASSES_ROOT, u"Marker"), ERROR_SUCCESS);

    HKEY key = nullptr;
    WCHAR keyClass[] = u"Filters";
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classed\\Leaf", 0, keyClass, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classed", 0, KEY_READ, &key), ERROR_SUCCESS);
    WCHAR name[8];
    DWORD nameLength = 8;
    WCHAR readClass[16];
    DWORD classLength = 16;
    ASSERT_EQ(RegEnumKeyExW(key, 0, name, &nameLength, nullptr, readClass, &classLength, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"Leaf");
    EXPECT_EQ(std::u16string(readClass), u"Filters");
    EXPECT_EQ(classLength, 7u);
    RegCloseKey(key);

    // Below a volatile key only volatile keys; volatile keys are not saved.
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Passing", 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExW(key, u"Lasting", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &child,
                              nullptr),
              ERROR_CHILD_MUST_BE_VOLATILE);
    RegCloseKey(key);
    std::string saved;
    ASSERT_TRUE(standin::ExportRegistryText(u"", &saved));
    EXPECT_EQ(saved.find("Passing"), std::string::npos);
    EXPECT_NE(saved.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classed\\Leaf]"), std::string::npos);
}

TEST_F(Win32RegistryTest, DeleteTreeTakesADeepTreeWithValuesAtEveryLevel)
{
    std::u16string path = u"SOFTWARE\\Deep";
    const std::u16string longName(16383, u'v');
    const DWORD one = 1;
    for (int level = 0; level < 40; ++level) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, longName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, u"", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), ERROR_SUCCESS);
        RegCloseKey(key);
        path += u"\\L" + std::u16string(1, static_cast<char16_t>(u'a' + level % 26));
    }
    HKEY top = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Deep", 0, KEY_ALL_ACCESS, &top), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeW(top, nullptr), ERROR_SUCCESS);
    const auto left = standin::RegistrySubKeyNames(u"\\Registry\\Machine\\SOFTWARE\\Deep");
    ASSERT_TRUE(left.has_value());
    EXPECT_TRUE(left->empty());
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(top, longName.c_str(), nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(top);
    EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Deep"), ERROR_SUCCESS);
    EXPECT_FALSE(standin::RegistryKeyExists(u"\\Registry\\Machine\\SOFTWARE\\Deep"));
    EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Deep"), ERROR_FILE_NOT_FOUND);
}

} // namespace
