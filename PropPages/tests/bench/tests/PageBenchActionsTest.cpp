// The bench's user actions on the test page, each seen where the page sees it: a click on the
// control, a slide with each scroll code, typed text, choices, spins, tabs, Apply, OK and Cancel, and
// the scripted answers of the message box and the file and font dialogs.
#include "BenchTestPage.h"
#include "BenchTestPageIds.h"
#include "PageBench.h"

#include "shared/guiddef.h"
#include "standin/windowing.h"
#include "um/commctrl.h"
#include "um/prsht.h"

#include <thread>

#include "privatesetguids.h" // after the platform's GUID

#include <gtest/gtest.h>

#include <memory>

namespace {

using pagebench::PageBench;

class PageBenchActions : public testing::Test {
protected:
    void SetUp() override
    {
        bench = std::make_unique<PageBench>();
        ASSERT_EQ(bench->BoardStatus(), STATUS_SUCCESS);
        ASSERT_EQ(bench->RegisterPageLibrary(BENCH_TEST_PAGES), S_OK);
        ASSERT_EQ(bench->OpenSheet(pagebench::kVideoFilter, {CLSID_BenchTestPage}), S_OK);
        ASSERT_NE(bench->Page(), nullptr);
    }
    void TearDown() override
    {
        if (bench) {
            EXPECT_EQ(bench->Shutdown().leaks, 0u);
        }
        bench.reset();
    }
    LRESULT Send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return SendMessageW(bench->Control(id), message, wParam, lParam);
    }
    // The scroll codes the page received from the slider, oldest first, and the log cleared.
    std::vector<UINT> TakeScrollCodes()
    {
        std::vector<UINT> codes;
        for (const standin::WindowMessage& message : standin::WindowMessageLog(bench->Page()))
            if (message.message == WM_HSCROLL && reinterpret_cast<HWND>(message.lParam) == bench->Control(IDC_BENCH_SLIDER))
                codes.push_back(LOWORD(message.wParam));
        standin::ClearWindowMessageLog(bench->Page());
        return codes;
    }
    int SliderPosition() { return static_cast<int>(Send(IDC_BENCH_SLIDER, TBM_GETPOS)); }

    std::unique_ptr<PageBench> bench;
};

TEST_F(PageBenchActions, AClickReachesTheControlAndApplyReachesThePage)
{
    EXPECT_EQ(IsDlgButtonChecked(bench->Page(), IDC_BENCH_ENABLED), static_cast<UINT>(BST_UNCHECKED));
    HWND apply = GetDlgItem(bench->Sheet(), ID_APPLY_NOW);
    ASSERT_NE(apply, nullptr);
    EXPECT_FALSE(IsWindowEnabled(apply));
    bench->Click(IDC_BENCH_ENABLED);
    EXPECT_EQ(IsDlgButtonChecked(bench->Page(), IDC_BENCH_ENABLED), static_cast<UINT>(BST_CHECKED));
    // The page made itself dirty, so the frame offers Apply; Apply reaches the page and clears it.
    EXPECT_TRUE(IsWindowEnabled(apply));
    ASSERT_TRUE(bench->PressApply());
    EXPECT_EQ(bench->Text(IDC_BENCH_APPLIED), "applied 1");
    EXPECT_FALSE(IsWindowEnabled(apply));
    EXPECT_FALSE(bench->PressApply()); // nothing to apply: the button is off
    bench->Click(IDC_BENCH_ENABLED);
    EXPECT_EQ(IsDlgButtonChecked(bench->Page(), IDC_BENCH_ENABLED), static_cast<UINT>(BST_UNCHECKED));
}

TEST_F(PageBenchActions, EachScrollCodeComesFromItsOwnInput)
{
    ASSERT_EQ(SliderPosition(), 50);
    TakeScrollCodes();
    struct Step {
        UINT code;
        int position;
    };
    // Line size 1, page size 10, range 0 to 100.
    const Step keys[] = {{TB_LINEUP, 49},  {TB_LINEDOWN, 50}, {TB_PAGEUP, 40},
                         {TB_PAGEDOWN, 50}, {TB_TOP, 0},       {TB_BOTTOM, 100}};
    for (const Step& step : keys) {
        ASSERT_TRUE(bench->Scroll(IDC_BENCH_SLIDER, step.code)) << step.code;
        EXPECT_EQ(SliderPosition(), step.position) << step.code;
        EXPECT_EQ(TakeScrollCodes(), (std::vector<UINT>{step.code, TB_ENDTRACK})) << step.code;
    }
    // The thumb dragged: tracking while it moves, its position at the release, then the end.
    ASSERT_TRUE(bench->Scroll(IDC_BENCH_SLIDER, TB_THUMBPOSITION, 30));
    EXPECT_NEAR(SliderPosition(), 30, 1);
    const std::vector<UINT> dragged = TakeScrollCodes();
    ASSERT_GE(dragged.size(), 3u);
    EXPECT_EQ(dragged[0], static_cast<UINT>(TB_THUMBTRACK));
    EXPECT_EQ(dragged[dragged.size() - 2], static_cast<UINT>(TB_THUMBPOSITION));
    EXPECT_EQ(dragged.back(), static_cast<UINT>(TB_ENDTRACK));
    ASSERT_TRUE(bench->Scroll(IDC_BENCH_SLIDER, TB_THUMBTRACK, 70));
    EXPECT_NEAR(SliderPosition(), 70, 1);
    EXPECT_EQ(TakeScrollCodes().front(), static_cast<UINT>(TB_THUMBTRACK));
    // TB_ENDTRACK has no input of its own, and a control that is no trackbar takes no scroll.
    EXPECT_FALSE(bench->Scroll(IDC_BENCH_SLIDER, TB_ENDTRACK));
    EXPECT_FALSE(bench->Scroll(IDC_BENCH_PATH, TB_LINEUP));
    EXPECT_TRUE(TakeScrollCodes().empty());
    // Slide drags the thumb as well.
    bench->Slide(IDC_BENCH_SLIDER, 10);
    EXPECT_NEAR(SliderPosition(), 10, 1);
    EXPECT_EQ(TakeScrollCodes().back(), static_cast<UINT>(TB_ENDTRACK));
}

TEST_F(PageBenchActions, TypingAPathLeavesExactlyThatText)
{
    bench->Type(IDC_BENCH_PATH, "C:\\logs\\t_1.log");
    EXPECT_EQ(bench->Text(IDC_BENCH_PATH), "C:\\logs\\t_1.log");
    // Typing again replaces the text.
    bench->Type(IDC_BENCH_PATH, "D:\\x y\\Z~(2).txt");
    EXPECT_EQ(bench->Text(IDC_BENCH_PATH), "D:\\x y\\Z~(2).txt");
}

TEST_F(PageBenchActions, AMessageBoxTakesTheScriptedAnswer)
{
    PageBench::AnswerMessageBoxes({IDNO, IDYES});
    bench->Click(IDC_BENCH_ASK);
    EXPECT_EQ(bench->Text(IDC_BENCH_ANSWER), "no");
    bench->Click(IDC_BENCH_ASK);
    EXPECT_EQ(bench->Text(IDC_BENCH_ANSWER), "yes");
    const auto boxes = PageBench::MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].owner, bench->Page());
    EXPECT_EQ(boxes[0].text, u"Keep the settings?");
    EXPECT_EQ(boxes[0].caption, u"Bench");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(boxes[0].answer, IDNO);
    EXPECT_EQ(boxes[1].answer, IDYES);
    EXPECT_TRUE(PageBench::MessageBoxes().empty());
}

TEST_F(PageBenchActions, TheFileAndFontDialogsTakeTheScriptedChoices)
{
    PageBench::AnswerOpenFileDialogs({std::string("C:\\Windows\\bench.log"), std::nullopt});
    bench->Click(IDC_BENCH_BROWSE);
    EXPECT_EQ(bench->Text(IDC_BENCH_PATH), "C:\\Windows\\bench.log");
    bench->Click(IDC_BENCH_BROWSE); // cancelled: the text stays
    EXPECT_EQ(bench->Text(IDC_BENCH_PATH), "C:\\Windows\\bench.log");
    const auto files = PageBench::OpenFileDialogs();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].title, "Log file");
    EXPECT_EQ(files[0].filter, "Log files (*.log)|*.log|All files|*.*");
    EXPECT_EQ(files[1].path, "");

    standin::FontChoice choice;
    choice.face = "Times New Roman";
    choice.pointSize = 120;
    PageBench::AnswerFontDialogs({choice});
    bench->Click(IDC_BENCH_FONT);
    EXPECT_EQ(bench->Text(IDC_BENCH_ANSWER), "Times New Roman 120");
    const auto fonts = PageBench::FontDialogs();
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_TRUE(fonts[0].chosen);
}

TEST_F(PageBenchActions, ChoicesSpinsTabsOkAndCancel)
{
    ASSERT_TRUE(bench->Select(IDC_BENCH_CHOICE, 2));
    EXPECT_EQ(Send(IDC_BENCH_CHOICE, CB_GETCURSEL), 2);
    EXPECT_FALSE(bench->Select(IDC_BENCH_CHOICE, 3));
    bench->Spin(IDC_BENCH_COUNT_SPIN, 3);
    EXPECT_EQ(bench->Text(IDC_BENCH_COUNT), "8");
    bench->Spin(IDC_BENCH_COUNT_SPIN, -2);
    EXPECT_EQ(bench->Text(IDC_BENCH_COUNT), "6");

    // Two tabs: picking the second shows a page of its own.
    ASSERT_EQ(bench->OpenSheet(pagebench::kVideoFilter, {CLSID_BenchTestPage, CLSID_BenchTestPage}), S_OK);
    ASSERT_EQ(bench->TabCount(), 2);
    HWND first = bench->Page();
    ASSERT_TRUE(bench->PickTab(1));
    EXPECT_NE(bench->Page(), first);
    EXPECT_NE(bench->Page(), nullptr);
    EXPECT_FALSE(bench->PickTab(2));

    // OK applies the dirty page (its SET on the wire) and closes the frame; Cancel closes it
    // without applying.
    auto sets = [] {
        size_t count = 0;
        for (const auto& request : PageBench::Requests())
            count += request.flags == KSPROPERTY_TYPE_SET && IsEqualGUID(request.set, PROPSETID_BREVICOR_DEVICE_CONFIG);
        return count;
    };
    bench->Click(IDC_BENCH_ENABLED);
    PageBench::ClearRequests();
    ASSERT_TRUE(bench->PressOk());
    EXPECT_FALSE(bench->SheetOpen());
    EXPECT_EQ(sets(), 1u);
    ASSERT_EQ(bench->OpenSheet(pagebench::kVideoFilter, {CLSID_BenchTestPage}), S_OK);
    bench->Click(IDC_BENCH_ENABLED);
    PageBench::ClearRequests();
    ASSERT_TRUE(bench->PressCancel());
    EXPECT_FALSE(bench->SheetOpen());
    EXPECT_EQ(sets(), 0u);
    EXPECT_FALSE(bench->PressOk());
    EXPECT_FALSE(bench->PressApply());
}

TEST_F(PageBenchActions, WaitUntilPumpsWhileItWaitsForAnotherThread)
{
    // A message posted from another thread reaches the page only through the pump.
    HWND page = bench->Page();
    standin::ClearWindowMessageLog(page);
    std::thread poster([page] { PostMessageW(page, WM_APP + 7, 1, 2); });
    poster.join();
    EXPECT_TRUE(PageBench::WaitUntil([&] {
        for (const auto& message : standin::WindowMessageLog(page))
            if (message.message == WM_APP + 7)
                return true;
        return false;
    }));
}

} // namespace
