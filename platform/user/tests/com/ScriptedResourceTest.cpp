// A module whose table the resource compiler wrote from its script: the dialog template found by
// number and the dialog made from it (its size in fixed base units, WM_INITDIALOG after its controls,
// its radio group and drop-down list used with the pointer), strings through LoadStringA and LoadStringW (truncation, the read-only pointer, a missing
// id leaving the buffer alone), the bitmap without its file header and the user types.
#include "ComTestMachine.h"
#include "standin/windowing.h"

#include <cstring>
#include <string>
#include <vector>

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

struct DialogRecord {
    std::vector<std::string> events;
    int childrenAtInit = 0;
    std::vector<WPARAM> commands;
};
DialogRecord* g_dialog = nullptr;

INT_PTR PageProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            ++g_dialog->childrenAtInit;
        PostMessageW(dialog, WM_APP, 0, 0);
        g_dialog->events.push_back("init returns");
        return TRUE;
    case WM_APP:
        g_dialog->events.push_back("posted");
        return TRUE;
    case WM_COMMAND:
        g_dialog->commands.push_back(wParam);
        return TRUE;
    default:
        return FALSE;
    }
}

void Click(HWND hwnd, int x, int y)
{
    POINT at{x, y};
    ClientToScreen(hwnd, &at);
    standin::MovePointer(at.x, at.y);
    standin::PressButton(VK_LBUTTON);
    standin::PumpUntilIdle();
    standin::ReleaseButton(VK_LBUTTON);
    standin::PumpUntilIdle();
}

TEST_F(ScriptedResourceTest, TheDialogMadeFromTheScriptIsUsedWithThePointer)
{
    standin::ResetInput();
    DialogRecord record;
    g_dialog = &record;
    HWND sheet = CreateWindowExW(0, u"Static", u"sheet", WS_POPUP | WS_VISIBLE, 50, 50, 600, 600, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(sheet, nullptr);
    HWND page = CreateDialogParamA(module, MAKEINTRESOURCEA(114), sheet, PageProcedure, 0);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(record.childrenAtInit, 6);
    ShowWindow(page, SW_SHOW);
    RECT client{};
    GetClientRect(page, &client);
    EXPECT_EQ(client.right, 384);
    EXPECT_EQ(client.bottom, 380);
    standin::PumpUntilIdle();
    EXPECT_EQ(record.events, (std::vector<std::string>{"init returns", "posted"}));

    // The sorted drop-down list: CB_SETCURSEL is silent, the user's choice of line 1 is not.
    HWND sources = GetDlgItem(page, 1910);
    for (const char* line : {"2: Tuner", "0: Composite", "1: S-Video"})
        SendMessageA(sources, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    EXPECT_EQ(SendMessageW(sources, CB_SETCURSEL, 2, 0), 2);
    EXPECT_TRUE(record.commands.empty());
    Click(sources, 10, 10);
    Click(sources, 10, 21 + 1 + 13 + 6);
    EXPECT_EQ(SendMessageW(sources, CB_GETCURSEL, 0, 0), 1);
    ASSERT_FALSE(record.commands.empty());
    EXPECT_EQ(record.commands.back(), MAKEWPARAM(1910, CBN_SELCHANGE));

    // The automatic radio group 2502-2504.
    CheckRadioButton(page, 2502, 2504, 2503);
    SendDlgItemMessageW(page, 2502, BM_SETCHECK, BST_CHECKED, 0);
    record.commands.clear();
    Click(GetDlgItem(page, 2504), 5, 5);
    EXPECT_EQ(IsDlgButtonChecked(page, 2504), UINT(BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(page, 2503), UINT(BST_UNCHECKED));
    EXPECT_EQ(IsDlgButtonChecked(page, 2502), UINT(BST_UNCHECKED));
    // The press takes the focus from the list first.
    EXPECT_EQ(record.commands, (std::vector<WPARAM>{MAKEWPARAM(1910, CBN_KILLFOCUS), MAKEWPARAM(2504, BN_CLICKED)}));
    DestroyWindow(sheet);
    EXPECT_FALSE(IsWindow(page));
    standin::ResetInput();
    g_dialog = nullptr;
}

} // namespace
