// A module whose table the resource compiler wrote from its script: the dialog template found by
// number, strings through LoadStringA and LoadStringW (truncation, the read-only pointer, a missing
// id leaving the buffer alone), the bitmap without its file header and the user types.
#include "ComTestMachine.h"

#include <cstring>
#include <string>

namespace {

class ScriptedResourceTest : public ComMachineTest {
protected:
    void SetUp() override
    {
        ComMachineTest::SetUp();
        module = LoadLibraryA(kScriptedResourcesPath);
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

TEST_F(ScriptedResourceTest, TheDialogIsAnExtendedTemplate)
{
    HRSRC dialog = FindResourceA(module, MAKEINTRESOURCEA(114), RT_DIALOG);
    ASSERT_NE(dialog, nullptr);
    const std::string bytes = Bytes(dialog);
    ASSERT_GE(bytes.size(), 26u);
    WORD version = 0, signature = 0, count = 0, cx = 0, cy = 0;
    std::memcpy(&version, bytes.data(), 2);
    std::memcpy(&signature, bytes.data() + 2, 2);
    std::memcpy(&count, bytes.data() + 16, 2);
    std::memcpy(&cx, bytes.data() + 22, 2);
    std::memcpy(&cy, bytes.data() + 24, 2);
    EXPECT_EQ(version, 1);
    EXPECT_EQ(signature, 0xFFFF);
    EXPECT_EQ(count, 6);
    EXPECT_EQ(cx, 256);
    EXPECT_EQ(cy, 234);
    EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(114), reinterpret_cast<LPCWSTR>(RT_DIALOG)), nullptr);
}

TEST_F(ScriptedResourceTest, LoadStringCopiesTheString)
{
    char buffer[260];
    EXPECT_EQ(LoadStringA(module, 115, buffer, 260), 6);
    EXPECT_STREQ(buffer, "Device");
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(LoadStringA(module, 115, small, 4), 3);
    EXPECT_STREQ(small, "Dev");

    WCHAR wide[16];
    EXPECT_EQ(LoadStringW(module, 115, wide, 16), 6);
    EXPECT_EQ(std::u16string(wide), u"Device");
    const WCHAR* inModule = nullptr;
    EXPECT_EQ(LoadStringW(module, 115, reinterpret_cast<LPWSTR>(&inModule), 0), 6);
    ASSERT_NE(inModule, nullptr);
    EXPECT_EQ(std::u16string(inModule, 6), u"Device");
}

TEST_F(ScriptedResourceTest, AMissingStringLeavesTheBufferAlone)
{
    char buffer[8] = "keep";
    EXPECT_EQ(LoadStringA(module, 116, buffer, 8), 0); // in 115's block, not there
    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(LoadStringA(module, 4000, buffer, 8), 0); // no block at all
    EXPECT_STREQ(buffer, "keep");
    WCHAR wide[8] = u"keep";
    EXPECT_EQ(LoadStringW(module, 70000, wide, 8), 0);
    EXPECT_EQ(std::u16string(wide), u"keep");
    EXPECT_EQ(LoadStringA(module, 115, buffer, 0), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_STREQ(buffer, "keep");
}

TEST_F(ScriptedResourceTest, BitmapsAndUserTypesFromTheirFiles)
{
    EXPECT_EQ(Bytes(FindResourceA(module, MAKEINTRESOURCEA(206), RT_BITMAP)), "LOGO");
    EXPECT_EQ(Bytes(FindResourceA(module, MAKEINTRESOURCEA(118), "REGISTRY")), "HKCR { ScriptedPage = s 'page' }");
    EXPECT_EQ(Bytes(FindResourceA(module, MAKEINTRESOURCEA(1), "TYPELIB")), "TLB!");
}

} // namespace
