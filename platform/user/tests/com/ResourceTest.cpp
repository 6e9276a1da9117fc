// Resources of a module: the table it exports, found by type, name and language.
#include "ComTestMachine.h"

#include <cstring>
#include <string>

namespace {

class ResourceTest : public ComMachineTest {
protected:
    void SetUp() override
    {
        ComMachineTest::SetUp();
        module = LoadLibraryA(kLoudProbePath);
        ASSERT_NE(module, nullptr);
    }
    void TearDown() override
    {
        FreeLibrary(module);
        ComMachineTest::TearDown();
    }
    std::string Bytes(HRSRC resource)
    {
        const auto* data = static_cast<const char*>(LockResource(LoadResource(module, resource)));
        return data ? std::string(data, SizeofResource(module, resource)) : std::string("(none)");
    }
    HMODULE module = nullptr;
};

TEST_F(ResourceTest, ByNumberAndByNameIgnoringCase)
{
    HRSRC script = FindResourceA(module, MAKEINTRESOURCEA(101), "REGISTRY");
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(Bytes(script), "HKCR { ProbeKey = s 'from the probe' }");
    EXPECT_EQ(FindResourceA(module, "#101", "registry"), script);
    EXPECT_EQ(FindResourceW(module, MAKEINTRESOURCEW(101), u"Registry"), script);

    HRSRC named = FindResourceA(module, "IDR_NAMED", "TEXT");
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(Bytes(named), "named");
    EXPECT_EQ(FindResourceW(module, u"idr_named", u"text"), named);
    FreeResource(LoadResource(module, named));
}

TEST_F(ResourceTest, LanguagesUsEnglishThenNeutralThenAny)
{
    const auto bitmap = MAKEINTRESOURCEA(2);
    EXPECT_EQ(Bytes(FindResourceA(module, MAKEINTRESOURCEA(206), bitmap)), std::string("\1\2\3\4", 4));
    EXPECT_EQ(Bytes(FindResourceExA(module, bitmap, MAKEINTRESOURCEA(206), 1033)),
              std::string("\1\2\3\4", 4));
    EXPECT_EQ(Bytes(FindResourceExA(module, bitmap, MAKEINTRESOURCEA(206), 1031)),
              std::string("\7\10\11", 3));
    // French is missing: the neutral one.
    EXPECT_EQ(Bytes(FindResourceExA(module, bitmap, MAKEINTRESOURCEA(206), 1036)), std::string("\5\6", 2));
    EXPECT_EQ(Bytes(FindResourceExW(module, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(206), 1031)),
              std::string("\7\10\11", 3));
    // Only German: FindResource still finds it, an explicit other language does not.
    EXPECT_EQ(Bytes(FindResourceA(module, MAKEINTRESOURCEA(207), bitmap)), std::string("\7\10\11", 3));
    EXPECT_EQ(FindResourceExA(module, bitmap, MAKEINTRESOURCEA(207), 1033), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_LANG_NOT_FOUND));
}

TEST_F(ResourceTest, WhatIsMissingSaysWhich)
{
    EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(101), "TYPELIB"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(102), "REGISTRY"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    // A number never matches a name, nor "#x" a number.
    EXPECT_EQ(FindResourceA(module, "101", "REGISTRY"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindResourceA(module, "#1x1", "REGISTRY"), nullptr);
    EXPECT_EQ(FindResourceA(module, nullptr, "REGISTRY"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    // The process's own module carries no table.
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(101), "REGISTRY"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));
}

TEST_F(ResourceTest, AResourceHandleBelongsToItsModule)
{
    HRSRC script = FindResourceA(module, MAKEINTRESOURCEA(101), "REGISTRY");
    ASSERT_NE(script, nullptr);
    HMODULE other = LoadLibraryA(kQuietProbePath);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(LoadResource(other, script), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(SizeofResource(other, script), 0u);
    int notAResource = 0;
    EXPECT_EQ(LoadResource(module, reinterpret_cast<HRSRC>(&notAResource)), nullptr);
    EXPECT_TRUE(FreeLibrary(other));
}

} // namespace
