// The open-file dialog answered from the script: the path returned with its offsets, what the
// dialog was asked recorded, Cancel, the existence checks against the machine's drives, the
// current directory, and the caller's bad records.
#include "WindowTestSupport.h"
#include "standin/dialogs.h"
#include "standin/drives.h"
#include "standin/userprocess.h"
#include "um/commdlg.h"

#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>

using namespace windowtest;
namespace fs = std::filesystem;

namespace {

class FileDialogTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        std::string pattern = (fs::temp_directory_path() / "user-filedialog-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        fs::create_directories(root / "C" / "Pictures");
        std::ofstream(root / "C" / "logo.bmp") << "BM";
        std::ofstream(root / "C" / "Pictures" / "key.bmp") << "BM";
        standin::SetMachineRoot(root.string());
        standin::ResetFileDialogs();
    }
    void TearDown() override
    {
        standin::ResetFileDialogs();
        standin::ResetCurrentDirectory();
        standin::SetMachineRoot("");
        std::error_code ignored;
        fs::remove_all(root, ignored);
        WindowTest::TearDown();
    }
    OPENFILENAMEA Request(DWORD flags)
    {
        OPENFILENAMEA ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = owner;
        ofn.lpstrFilter = "Bitmaps (*.bmp)\0*.bmp\0All files\0*.*\0";
        ofn.lpstrFile = path;
        ofn.nMaxFile = sizeof path;
        ofn.lpstrFileTitle = title;
        ofn.nMaxFileTitle = sizeof title;
        ofn.lpstrInitialDir = "C:\\Pictures";
        ofn.lpstrTitle = "Watermark";
        ofn.lpstrDefExt = "bmp";
        ofn.Flags = flags;
        path[0] = 0;
        return ofn;
    }
    fs::path root;
    HWND owner = reinterpret_cast<HWND>(0x1234);
    char path[260] = "";
    char title[64] = "";
};

TEST_F(FileDialogTest, AChosenPathIsReturnedAndTheRequestRecorded)
{
    standin::ScriptOpenFileAnswers({"C:\\logo.bmp"});
    OPENFILENAMEA ofn = Request(0x1818);
    EXPECT_TRUE(GetOpenFileNameA(&ofn));
    EXPECT_STREQ(path, "C:\\logo.bmp");
    EXPECT_STREQ(title, "logo.bmp");
    EXPECT_EQ(ofn.nFileOffset, 3);
    EXPECT_EQ(ofn.nFileExtension, 8);
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    const auto records = standin::TakeFileDialogRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].owner, owner);
    EXPECT_EQ(records[0].flags, 0x1818u);
    EXPECT_EQ(records[0].filter, "Bitmaps (*.bmp)|*.bmp|All files|*.*");
    EXPECT_EQ(records[0].initialDir, "C:\\Pictures");
    EXPECT_EQ(records[0].title, "Watermark");
    EXPECT_EQ(records[0].defaultExtension, "bmp");
    EXPECT_EQ(records[0].path, "C:\\logo.bmp");

    standin::ScriptOpenFileAnswers({std::nullopt});
    ofn = Request(0x1818);
    EXPECT_FALSE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    EXPECT_EQ(standin::TakeFileDialogRecords().at(0).path, "");
}

TEST_F(FileDialogTest, MissingFilesAndFoldersAreRefusedAndTheUserChoosesAgain)
{
    standin::ScriptOpenFileAnswers({"C:\\none.bmp", "C:\\Nowhere\\x.bmp", "C:\\Pictures\\key.bmp"});
    OPENFILENAMEA ofn = Request(OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
    EXPECT_TRUE(GetOpenFileNameA(&ofn));
    EXPECT_STREQ(path, "C:\\Pictures\\key.bmp");
    char current[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, current);
    EXPECT_STREQ(current, "C:\\Pictures"); // no OFN_NOCHANGEDIR

    // Without the checks a new name is taken as it is.
    standin::ScriptOpenFileAnswers({"C:\\new.bmp"});
    ofn = Request(OFN_NOCHANGEDIR);
    EXPECT_TRUE(GetOpenFileNameA(&ofn));
    EXPECT_STREQ(path, "C:\\new.bmp");
    GetCurrentDirectoryA(MAX_PATH, current);
    EXPECT_STREQ(current, "C:\\Pictures");

    // Nothing scripted: a breach, and Cancel.
    ofn = Request(0);
    EXPECT_FALSE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(TakeBreaches("unscripted-dialog"), 1u);
}

TEST_F(FileDialogTest, BadRecordsAndShortBuffers)
{
    OPENFILENAMEA ofn = Request(0);
    ofn.lStructSize = 12;
    EXPECT_FALSE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), DWORD(CDERR_STRUCTSIZE));
    ofn = Request(0);
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A; // the older record is accepted
    standin::ScriptOpenFileAnswers({"C:\\logo.bmp"});
    EXPECT_TRUE(GetOpenFileNameA(&ofn));
    ofn = Request(0);
    ofn.nMaxFile = 5;
    standin::ScriptOpenFileAnswers({"C:\\logo.bmp"});
    EXPECT_FALSE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), DWORD(FNERR_BUFFERTOOSMALL));
    WORD needed = 0;
    std::memcpy(&needed, path, sizeof needed);
    EXPECT_EQ(needed, 12);

    char16_t wide[MAX_PATH];
    OPENFILENAMEW ofnW{};
    ofnW.lStructSize = sizeof ofnW;
    ofnW.lpstrFile = wide;
    ofnW.nMaxFile = MAX_PATH;
    ofnW.Flags = OFN_FILEMUSTEXIST;
    standin::ScriptOpenFileAnswers({"C:\\logo.bmp"});
    EXPECT_TRUE(GetOpenFileNameW(&ofnW));
    EXPECT_EQ(std::u16string(wide), u"C:\\logo.bmp");
}

} // namespace
