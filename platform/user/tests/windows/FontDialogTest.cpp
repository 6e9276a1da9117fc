// The font dialog answered from the script: the LOGFONT, point size and font type filled, what the
// caller started from kept, choices the dialog does not offer passed over, Cancel, and the caller's
// bad records.
#include "standin/dialogs.h"
#include "standin/verifier.h"
#include "um/commdlg.h"
#include "um/windows.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class FontDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        standin::ResetFontDialogs();
        standin::VerifierTakeViolations();
    }
    void TearDown() override
    {
        standin::ResetFontDialogs();
        EXPECT_TRUE(standin::VerifierTakeViolations().empty());
    }
    CHOOSEFONTA Request(DWORD flags)
    {
        CHOOSEFONTA cf{};
        cf.lStructSize = sizeof cf;
        cf.hwndOwner = reinterpret_cast<HWND>(0x1234);
        cf.lpLogFont = &logFont;
        cf.Flags = flags;
        return cf;
    }
    LOGFONTA logFont{};
};

TEST_F(FontDialogTest, AChosenFaceStyleAndSizeFillTheCallersRecords)
{
    standin::ScriptFontAnswers({standin::FontChoice{"Liberation Sans", 700, false, 120}});
    CHOOSEFONTA cf = Request(CF_SCREENFONTS | CF_TTONLY);
    ASSERT_TRUE(ChooseFontA(&cf));
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    EXPECT_EQ(logFont.lfHeight, -16);
    EXPECT_EQ(logFont.lfWeight, 700);
    EXPECT_EQ(logFont.lfItalic, 0);
    EXPECT_STREQ(logFont.lfFaceName, "Liberation Sans");
    EXPECT_EQ(cf.iPointSize, 120);
    EXPECT_EQ(cf.nFontType, BOLD_FONTTYPE | SCREEN_FONTTYPE);
    // The LOGFONT makes the font the user saw.
    HFONT font = CreateFontIndirectA(&logFont);
    ASSERT_NE(font, nullptr);
    DeleteObject(font);

    const auto records = standin::TakeFontDialogRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].owner, cf.hwndOwner);
    EXPECT_EQ(records[0].flags, static_cast<DWORD>(CF_SCREENFONTS | CF_TTONLY));
    EXPECT_EQ(records[0].face, "Liberation Sans");
    EXPECT_EQ(records[0].pointSize, 120);
    EXPECT_TRUE(records[0].chosen);

    // Wide form, italic 8 points.
    LOGFONTW wide{};
    CHOOSEFONTW cw{};
    cw.lStructSize = sizeof cw;
    cw.lpLogFont = &wide;
    cw.Flags = CF_SCREENFONTS;
    standin::ScriptFontAnswers({standin::FontChoice{"Times New Roman", 400, true, 80}});
    ASSERT_TRUE(ChooseFontW(&cw));
    EXPECT_EQ(wide.lfHeight, -11);
    EXPECT_EQ(wide.lfItalic, 1);
    EXPECT_EQ(std::u16string(wide.lfFaceName), u"Times New Roman");
    EXPECT_EQ(cw.nFontType, REGULAR_FONTTYPE | ITALIC_FONTTYPE | SCREEN_FONTTYPE);
    standin::TakeFontDialogRecords();
}

TEST_F(FontDialogTest, TheDialogStartsFromTheCallersFontOnlyWhenAsked)
{
    std::strcpy(logFont.lfFaceName, "Courier New");
    logFont.lfHeight = -16;
    logFont.lfWeight = 700;
    logFont.lfUnderline = 1;
    // Only the size changes: the rest is what the caller gave.
    standin::ScriptFontAnswers({standin::FontChoice{std::nullopt, std::nullopt, std::nullopt, 100},
                                standin::FontChoice{std::nullopt, std::nullopt, std::nullopt, 100}});
    CHOOSEFONTA cf = Request(CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_EFFECTS);
    ASSERT_TRUE(ChooseFontA(&cf));
    EXPECT_STREQ(logFont.lfFaceName, "Courier New");
    EXPECT_EQ(logFont.lfWeight, 700);
    EXPECT_EQ(logFont.lfUnderline, 1);
    EXPECT_EQ(logFont.lfHeight, -MulDiv(100, 96, 720));
    EXPECT_EQ(logFont.lfPitchAndFamily & 3, FIXED_PITCH);
    // Without the flag the dialog shows "Arial", regular.
    cf = Request(CF_SCREENFONTS);
    ASSERT_TRUE(ChooseFontA(&cf));
    EXPECT_STREQ(logFont.lfFaceName, "Arial");
    EXPECT_EQ(logFont.lfWeight, 400);
    EXPECT_EQ(logFont.lfUnderline, 0);
    standin::TakeFontDialogRecords();
}

TEST_F(FontDialogTest, ChoicesTheDialogDoesNotOfferArePassedOverAndCancelReturnsFalse)
{
    // The raster face under CF_TTONLY, a proportional face under CF_FIXEDPITCHONLY, a face that is
    // not there, a size beyond the limits: each takes the next answer.
    standin::ScriptFontAnswers({standin::FontChoice{"MS Sans Serif", 400, false, 80},
                                standin::FontChoice{"Arial", 400, false, 80},
                                standin::FontChoice{"Nowhere Sans", 400, false, 80},
                                standin::FontChoice{"Courier New", 400, false, 400},
                                standin::FontChoice{"courier new", 400, false, 90}});
    CHOOSEFONTA cf = Request(CF_SCREENFONTS | CF_TTONLY | CF_FIXEDPITCHONLY | CF_LIMITSIZE);
    cf.nSizeMin = 8;
    cf.nSizeMax = 24;
    ASSERT_TRUE(ChooseFontA(&cf));
    EXPECT_STREQ(logFont.lfFaceName, "Courier New");
    EXPECT_EQ(cf.iPointSize, 90);
    // Without CF_TTONLY the raster face is offered.
    standin::ScriptFontAnswers({standin::FontChoice{"MS Sans Serif", 400, false, 80}});
    cf = Request(CF_SCREENFONTS);
    ASSERT_TRUE(ChooseFontA(&cf));
    EXPECT_STREQ(logFont.lfFaceName, "MS Sans Serif");

    // Cancel: FALSE, no error, the caller's record untouched.
    standin::ScriptFontAnswers({std::nullopt});
    logFont.lfHeight = 5;
    cf = Request(CF_SCREENFONTS);
    cf.iPointSize = 77;
    EXPECT_FALSE(ChooseFontA(&cf));
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    EXPECT_EQ(logFont.lfHeight, 5);
    EXPECT_EQ(cf.iPointSize, 77);
    const auto records = standin::TakeFontDialogRecords();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_FALSE(records[2].chosen);
    EXPECT_EQ(records[2].face, "");

    // No answer left: a breach, and Cancel.
    cf = Request(CF_SCREENFONTS);
    EXPECT_FALSE(ChooseFontA(&cf));
    const auto violations = standin::VerifierTakeViolations();
    ASSERT_EQ(violations.size(), 1u);
    EXPECT_EQ(violations[0].rule, "unscripted-dialog");
    standin::TakeFontDialogRecords();
}

TEST_F(FontDialogTest, BadRecordsFailWithTheirErrors)
{
    standin::ScriptFontAnswers({standin::FontChoice{"Arial", 400, false, 80}});
    CHOOSEFONTA cf = Request(CF_SCREENFONTS);
    cf.lStructSize = 60; // the record's size on a 32-bit system
    EXPECT_FALSE(ChooseFontA(&cf));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
    EXPECT_FALSE(ChooseFontA(nullptr));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
    cf = Request(CF_SCREENFONTS);
    cf.lpLogFont = nullptr;
    EXPECT_FALSE(ChooseFontA(&cf));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_INITIALIZATION));
    cf = Request(CF_PRINTERFONTS);
    EXPECT_FALSE(ChooseFontA(&cf));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CFERR_NOFONTS));
    cf = Request(CF_SCREENFONTS | CF_LIMITSIZE);
    cf.nSizeMin = 20;
    cf.nSizeMax = 10;
    EXPECT_FALSE(ChooseFontA(&cf));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CFERR_MAXLESSTHANMIN));
    // None of these asked the user: the answer is still there.
    cf = Request(CF_SCREENFONTS);
    EXPECT_TRUE(ChooseFontA(&cf));
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    EXPECT_EQ(standin::TakeFontDialogRecords().size(), 1u);
}

} // namespace
