// MessageBoxA and MessageBoxW: a modal dialog built from a template in memory (the text, an icon
// when the type asks for one, the type's buttons), answered from the script a test sets.
#include "standin/dialogs.h"
#include "standin/verifier.h"
#include "text/AnsiText.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"
#include "um/winuser.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Script {
    std::mutex lock;
    std::deque<int> answers;
    std::vector<standin::MessageBoxRecord> records;
};

Script& TheScript()
{
    static Script script;
    return script;
}

std::vector<int> ButtonsOf(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OK: return {IDOK};
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {};
    }
}

const char16_t* LabelOf(int id)
{
    switch (id) {
    case IDOK: return u"OK";
    case IDCANCEL: return u"Cancel";
    case IDABORT: return u"&Abort";
    case IDRETRY: return u"&Retry";
    case IDIGNORE: return u"&Ignore";
    case IDYES: return u"&Yes";
    default: return u"&No";
    }
}

// The box's template, DWORD-aligned items as the resource compiler writes them.
class BoxTemplate {
public:
    explicit BoxTemplate(const std::u16string& caption, WORD items, short cx, short cy)
    {
        Word(1);
        Word(0xFFFF);
        Dword(0);
        Dword(0);
        Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_NOFAILCREATE | DS_SETFONT);
        Word(items);
        Word(0);
        Word(0);
        Word(static_cast<WORD>(cx));
        Word(static_cast<WORD>(cy));
        Word(0);
        Word(0);
        Text(caption);
        Word(8);
        Word(400);
        Word(0x100);
        Text(u"MS Shell Dlg");
    }
    void Item(WORD classOrdinal, DWORD id, DWORD style, short x, short y, short cx, short cy,
              const std::u16string& text)
    {
        bytes_.resize((bytes_.size() + 3) & ~size_t{3}, 0);
        Dword(0);
        Dword(0);
        Dword(style | WS_CHILD | WS_VISIBLE);
        for (short v : {x, y, cx, cy})
            Word(static_cast<WORD>(v));
        Dword(id);
        Word(0xFFFF);
        Word(classOrdinal);
        Text(text);
        Word(0);
    }
    const DLGTEMPLATE* Data()
    {
        aligned_.assign(bytes_.size() / 4 + 1, 0);
        std::memcpy(aligned_.data(), bytes_.data(), bytes_.size());
        return reinterpret_cast<const DLGTEMPLATE*>(aligned_.data());
    }

private:
    void Word(WORD v)
    {
        bytes_.push_back(static_cast<uint8_t>(v));
        bytes_.push_back(static_cast<uint8_t>(v >> 8));
    }
    void Dword(DWORD v)
    {
        Word(static_cast<WORD>(v));
        Word(static_cast<WORD>(v >> 16));
    }
    void Text(const std::u16string& text)
    {
        for (char16_t c : text)
            Word(c);
        Word(0);
    }
    std::vector<uint8_t> bytes_;
    std::vector<uint32_t> aligned_;
};

struct BoxState {
    std::vector<int> buttons;
    int press = 0;
};

INT_PTR BoxProcedure(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(box, DWLP_USER, lParam);
        const auto* state = reinterpret_cast<const BoxState*>(lParam);
        // The user's press: a click of the button, which notifies the box.
        PostMessageW(GetDlgItem(box, state->press), BM_CLICK, 0, 0);
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        const auto* state = reinterpret_cast<const BoxState*>(GetWindowLongPtrW(box, DWLP_USER));
        const int id = LOWORD(wParam);
        for (int button : state->buttons)
            if (button == id) {
                EndDialog(box, id);
                return TRUE;
            }
    }
    return FALSE;
}

} // namespace

extern "C" int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType)
{
    BoxState state;
    state.buttons = ButtonsOf(uType);
    const size_t defaultIndex = (uType & MB_DEFMASK) >> 8;
    if (state.buttons.empty() || defaultIndex > 2 || (hWnd && !IsWindow(hWnd))) {
        SetLastError(state.buttons.empty() || defaultIndex > 2 ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    const int defaultButton = state.buttons[defaultIndex < state.buttons.size() ? defaultIndex : 0];
    const std::u16string text = lpText ? std::u16string(reinterpret_cast<const char16_t*>(lpText)) : u"";
    const std::u16string caption =
        lpCaption ? std::u16string(reinterpret_cast<const char16_t*>(lpCaption)) : std::u16string(u"Error");

    std::optional<int> scripted;
    {
        Script& script = TheScript();
        std::lock_guard<std::mutex> hold(script.lock);
        if (!script.answers.empty()) {
            scripted = script.answers.front();
            script.answers.pop_front();
        }
    }
    state.press = defaultButton;
    if (!scripted) {
        standin::VerifierReport("unscripted-dialog", "MessageBox \"" + user::AnsiFromWide(caption) + "\": \"" +
                                                         user::AnsiFromWide(text) + "\" answered with its default button");
    } else if (std::find(state.buttons.begin(), state.buttons.end(), *scripted) == state.buttons.end()) {
        standin::VerifierReport("message-box-answer", "MessageBox \"" + user::AnsiFromWide(caption) +
                                                          "\" has no button " + std::to_string(*scripted));
    } else {
        state.press = *scripted;
    }

    const bool icon = (uType & MB_ICONMASK) != 0;
    const short width = static_cast<short>(std::max<size_t>(60 * state.buttons.size() + 20, 180));
    BoxTemplate box(caption, static_cast<WORD>(1 + (icon ? 1 : 0) + state.buttons.size()), width, 70);
    const short textLeft = icon ? 38 : 10;
    if (icon)
        box.Item(0x82, 0xFFFF, 0x3 /* SS_ICON */, 10, 10, 21, 20, u"");
    box.Item(0x82, 0xFFFF, 0x80 /* SS_NOPREFIX */, textLeft, 10, static_cast<short>(width - textLeft - 10), 30, text);
    short x = static_cast<short>(width - 60 * static_cast<short>(state.buttons.size()) - 4);
    for (int button : state.buttons) {
        box.Item(0x80, static_cast<DWORD>(button), (button == defaultButton ? 1u : 0u) | WS_TABSTOP, x, 48, 54, 14,
                 LabelOf(button));
        x = static_cast<short>(x + 60);
    }
    const INT_PTR answer =
        DialogBoxIndirectParamW(nullptr, box.Data(), hWnd, BoxProcedure, reinterpret_cast<LPARAM>(&state));
    {
        Script& script = TheScript();
        std::lock_guard<std::mutex> hold(script.lock);
        script.records.push_back({hWnd, text, caption, uType, static_cast<int>(answer)});
    }
    return static_cast<int>(answer);
}

extern "C" int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    const std::u16string text = user::WideFromAnsi(lpText);
    const std::u16string caption = user::WideFromAnsi(lpCaption);
    return MessageBoxW(hWnd, lpText ? reinterpret_cast<LPCWSTR>(text.c_str()) : nullptr,
                       lpCaption ? reinterpret_cast<LPCWSTR>(caption.c_str()) : nullptr, uType);
}

namespace standin {

void ScriptMessageBoxAnswers(const std::vector<int>& answers)
{
    Script& script = TheScript();
    std::lock_guard<std::mutex> hold(script.lock);
    script.answers.insert(script.answers.end(), answers.begin(), answers.end());
}

std::vector<MessageBoxRecord> TakeMessageBoxRecords()
{
    Script& script = TheScript();
    std::lock_guard<std::mutex> hold(script.lock);
    std::vector<MessageBoxRecord> out;
    out.swap(script.records);
    return out;
}

void ResetMessageBoxes()
{
    Script& script = TheScript();
    std::lock_guard<std::mutex> hold(script.lock);
    script.answers.clear();
    script.records.clear();
}

} // namespace standin
