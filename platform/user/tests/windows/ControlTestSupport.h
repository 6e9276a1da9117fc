// The controls' tests share a page window that records the commands, scrolls and notifications
// its controls send, and a hand that clicks and presses keys.
#pragma once
#include "WindowTestSupport.h"
#include "um/commctrl.h"

#include <functional>
#include <vector>

namespace windowtest {

struct Command {
    int id;
    int code;
    bool operator==(const Command& other) const { return id == other.id && code == other.code; }
};

// WM_HSCROLL or WM_VSCROLL as the page received it: the code, the position of the high word
// (signed), the control.
struct Scroll {
    UINT message;
    int code;
    int position;
    HWND control;
    bool operator==(const Scroll& other) const
    {
        return message == other.message && code == other.code && position == other.position && control == other.control;
    }
};

class ControlsTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        commands_.clear();
        scrolls_.clear();
        onNotify = nullptr;
        page = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 640, 480, nullptr,
                    [this](HWND, UINT message, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
                        if (message == WM_COMMAND)
                            commands_.push_back({LOWORD(wParam), HIWORD(wParam)});
                        if (message == WM_HSCROLL || message == WM_VSCROLL)
                            scrolls_.push_back({message, LOWORD(wParam), static_cast<short>(HIWORD(wParam)),
                                                reinterpret_cast<HWND>(lParam)});
                        if (message == WM_NOTIFY && onNotify)
                            return onNotify(reinterpret_cast<NMHDR*>(lParam));
                        return std::nullopt;
                    });
        ASSERT_NE(page, nullptr);
    }
    void TearDown() override
    {
        onNotify = nullptr; // it may hold the test's locals; the controls notify as they go
        DestroyWindow(page);
        standin::PumpUntilIdle();
        WindowTest::TearDown();
    }
    HWND Control(const char16_t* cls, int id, DWORD style, int x, int y, int cx, int cy, const char16_t* title = u"",
                 DWORD exStyle = 0)
    {
        return CreateWindowExW(exStyle, cls, title, style | WS_CHILD | WS_VISIBLE, x, y, cx, cy, page,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }
    // A press and release of the left button at a client point of the window.
    static void Click(HWND hwnd, int x, int y)
    {
        POINT at{x, y};
        ClientToScreen(hwnd, &at);
        standin::MovePointer(at.x, at.y);
        standin::PressButton(VK_LBUTTON);
        standin::PumpUntilIdle();
        standin::ReleaseButton(VK_LBUTTON);
        standin::PumpUntilIdle();
    }
    static void ClickCentre(HWND hwnd)
    {
        RECT client{};
        GetClientRect(hwnd, &client);
        Click(hwnd, client.right / 2, client.bottom / 2);
    }
    static void Key(UINT vk)
    {
        standin::PressKey(vk);
        standin::PumpUntilIdle();
        standin::ReleaseKey(vk);
        standin::PumpUntilIdle();
    }
    std::vector<Command> TakeCommands()
    {
        std::vector<Command> taken;
        taken.swap(commands_);
        return taken;
    }
    std::vector<Scroll> TakeScrolls()
    {
        std::vector<Scroll> taken;
        taken.swap(scrolls_);
        return taken;
    }
    HWND page = nullptr;
    // The page's answer to WM_NOTIFY (the default procedure's when unset).
    std::function<std::optional<LRESULT>(NMHDR*)> onNotify;

private:
    std::vector<Command> commands_;
    std::vector<Scroll> scrolls_;
};

} // namespace windowtest
