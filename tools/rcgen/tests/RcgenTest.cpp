// The resource compiler: the sample script's dialog as DLGTEMPLATEEX (header, font, every control
// with its default style, NOT and the predefined class ordinals), strings in blocks of 16 counted
// UTF-16 strings, bitmaps without the file header, user types and a name given as text; and the
// refusal of malformed scripts with an error naming file and line and no output.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "um/commctrl.h"
#include "um/resourcetable.h"
#include "um/windows.h"

extern "C" const standin::ResourceEntry StandinResourceTable[];
extern "C" const size_t StandinResourceTableCount;

namespace {

namespace fs = std::filesystem;

const standin::ResourceEntry* Find(WORD type, const char* typeName, WORD id, const char* name = nullptr)
{
    for (size_t i = 0; i < StandinResourceTableCount; ++i) {
        const standin::ResourceEntry& e = StandinResourceTable[i];
        const bool typeOk = typeName ? (e.typeName && std::strcmp(e.typeName, typeName) == 0)
                                     : (!e.typeName && e.typeId == type);
        const bool nameOk = name ? (e.name && std::strcmp(e.name, name) == 0) : (!e.name && e.nameId == id);
        if (typeOk && nameOk)
            return &e;
    }
    return nullptr;
}

struct Reader {
    const unsigned char* p;
    size_t at = 0;
    uint16_t Word() { uint16_t v; std::memcpy(&v, p + at, 2); at += 2; return v; }
    uint32_t Dword() { uint32_t v; std::memcpy(&v, p + at, 4); at += 4; return v; }
    std::u16string Text()
    {
        std::u16string s;
        for (uint16_t c = Word(); c; c = Word())
            s += static_cast<char16_t>(c);
        return s;
    }
    void Align() { at = (at + 3) & ~size_t{3}; }
};

struct Item {
    uint32_t exStyle, style, id;
    int16_t x, y, cx, cy;
    uint16_t classOrdinal;
    std::u16string className;
    uint16_t titleOrdinal;
    std::u16string title;
};

Item ReadItem(Reader& r)
{
    Item item{};
    r.Align();
    EXPECT_EQ(r.Dword(), 0u); // help id
    item.exStyle = r.Dword();
    item.style = r.Dword();
    item.x = static_cast<int16_t>(r.Word());
    item.y = static_cast<int16_t>(r.Word());
    item.cx = static_cast<int16_t>(r.Word());
    item.cy = static_cast<int16_t>(r.Word());
    item.id = r.Dword();
    if (r.Word() == 0xFFFF) {
        item.classOrdinal = r.Word();
    } else {
        r.at -= 2;
        item.className = r.Text();
    }
    if (r.Word() == 0xFFFF) {
        item.titleOrdinal = r.Word();
    } else {
        r.at -= 2;
        item.title = r.Text();
    }
    EXPECT_EQ(r.Word(), 0u); // no creation data
    return item;
}

TEST(Rcgen, WritesTheDialogAsAnExtendedTemplate)
{
    const standin::ResourceEntry* dialog = Find(5, nullptr, 114);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->language, 1033);
    Reader r{static_cast<const unsigned char*>(dialog->data)};
    EXPECT_EQ(r.Word(), 1u);
    EXPECT_EQ(r.Word(), 0xFFFFu);
    EXPECT_EQ(r.Dword(), 0u);
    EXPECT_EQ(r.Dword(), 0x10000u);                                 // WS_EX_CONTROLPARENT
    EXPECT_EQ(r.Dword(), 0x40000000u | 0x400u | 0x40u | 0xC00000u); // child, control, font, caption
    EXPECT_EQ(r.Word(), 8u);
    EXPECT_EQ(r.Word(), 0u);
    EXPECT_EQ(r.Word(), 0u);
    EXPECT_EQ(r.Word(), 256u);
    EXPECT_EQ(r.Word(), 234u);
    EXPECT_EQ(r.Word(), 0u); // no menu
    EXPECT_EQ(r.Word(), 0u); // the dialog class
    EXPECT_EQ(r.Text(), u"Sample \"page\"");
    EXPECT_EQ(r.Word(), 8u);
    EXPECT_EQ(r.Word(), 400u);
    EXPECT_EQ(r.Word(), 0x100u); // italic 0, character set 1
    EXPECT_EQ(r.Text(), u"MS Shell Dlg");

    constexpr uint32_t kChild = 0x50000000;
    const Item label = ReadItem(r);
    EXPECT_EQ(label.classOrdinal, 0x82);
    EXPECT_EQ(label.style, kChild | 0x20000u);
    EXPECT_EQ(label.id, 0xFFFFFFFFu);
    EXPECT_EQ(label.title, u"Name:");
    EXPECT_EQ(label.cx, 40);
    const Item edit = ReadItem(r);
    EXPECT_EQ(edit.classOrdinal, 0x81);
    EXPECT_EQ(edit.style, kChild | 0x10000u | 0x2000u); // the border taken away
    EXPECT_EQ(edit.id, 1001u);
    const Item first = ReadItem(r);
    EXPECT_EQ(first.style, kChild | 0x10000u | 0x20000u | 9u);
    const Item second = ReadItem(r);
    EXPECT_EQ(second.id, 2503u);
    EXPECT_EQ(second.style, kChild | 0x10000u | 9u);
    const Item ok = ReadItem(r);
    EXPECT_EQ(ok.classOrdinal, 0x80);
    EXPECT_EQ(ok.style, kChild | 0x10000u | 1u);
    EXPECT_EQ(ok.id, 1u);
    const Item combo = ReadItem(r);
    EXPECT_EQ(combo.classOrdinal, 0x85);
    EXPECT_EQ(combo.style, kChild | 0x10000u | 0x200000u | 0x103u);
    const Item bitmap = ReadItem(r);
    EXPECT_EQ(bitmap.classOrdinal, 0x82);
    EXPECT_EQ(bitmap.titleOrdinal, 206);
    EXPECT_EQ(bitmap.style, kChild | 0xEu | 0x1000u);
    EXPECT_EQ(bitmap.exStyle, 0x20000u);
    EXPECT_EQ(bitmap.cx, 161);
    const Item custom = ReadItem(r);
    EXPECT_EQ(custom.className, u"TrackBar32");
    EXPECT_EQ(custom.title, u"Custom");
    EXPECT_EQ(r.at, dialog->size);
}

INT_PTR QuietProcedure(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// The common controls by their class names, with their own styles, as dialogs of the pages use
// them: a trackbar with ticks on both sides, an up-down that writes its buddy's number, a tree
// view and a tab control; the controls the dialog creates carry the classes and the styles.
TEST(Rcgen, BuildsDialogsOfTheCommonControls)
{
    const standin::ResourceEntry* entry = Find(5, nullptr, 131);
    ASSERT_NE(entry, nullptr);
    HWND dialog = CreateDialogIndirectParamW(nullptr, static_cast<LPCDLGTEMPLATEW>(entry->data), nullptr,
                                             QuietProcedure, 0);
    ASSERT_NE(dialog, nullptr);
    struct Expected {
        int id;
        const char16_t* className;
        DWORD styles;
    };
    const Expected controls[] = {
        {2409, u"msctls_trackbar32", TBS_AUTOTICKS | TBS_BOTH | WS_TABSTOP},
        {1202, u"msctls_updown32", UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS},
        {1400, u"SysTreeView32", TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | WS_BORDER},
        {1401, u"SysTabControl32", TCS_MULTILINE | TCS_FOCUSNEVER},
    };
    for (const Expected& expected : controls) {
        HWND control = GetDlgItem(dialog, expected.id);
        ASSERT_NE(control, nullptr) << expected.id;
        WCHAR name[64] = {};
        GetClassNameW(control, name, 64);
        EXPECT_EQ(std::u16string(name), expected.className) << expected.id;
        const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE));
        EXPECT_EQ(style & expected.styles, expected.styles) << expected.id << " " << std::hex << style;
        EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE), DWORD(WS_CHILD | WS_VISIBLE)) << expected.id;
    }
    // No bit beyond those given: TBS_BOTH is not TBS_VERT, nor UDS_SETBUDDYINT UDS_WRAP.
    EXPECT_EQ(GetWindowLongPtrW(GetDlgItem(dialog, 2409), GWL_STYLE) & 0xFFFF, TBS_AUTOTICKS | TBS_BOTH);
    EXPECT_EQ(GetWindowLongPtrW(GetDlgItem(dialog, 1202), GWL_STYLE) & 0xFFFF,
              UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS);
    DestroyWindow(dialog);
}

TEST(Rcgen, WritesStringsInBlocksOfSixteen)
{
    const standin::ResourceEntry* block = Find(6, nullptr, 115 / 16 + 1);
    ASSERT_NE(block, nullptr);
    Reader r{static_cast<const unsigned char*>(block->data)};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(r.Word(), 0u);
    EXPECT_EQ(r.Word(), 6u);
    std::u16string text;
    for (int i = 0; i < 6; ++i)
        text += static_cast<char16_t>(r.Word());
    EXPECT_EQ(text, u"Device");
    for (int i = 4; i < 16; ++i)
        EXPECT_EQ(r.Word(), 0u);
    EXPECT_EQ(r.at, block->size);

    const standin::ResourceEntry* other = Find(6, nullptr, 2);
    ASSERT_NE(other, nullptr);
    Reader o{static_cast<const unsigned char*>(other->data)};
    EXPECT_EQ(o.Word(), 0u);
    EXPECT_EQ(o.Word(), 6u);
    std::u16string cafe;
    for (int i = 0; i < 6; ++i)
        cafe += static_cast<char16_t>(o.Word());
    EXPECT_EQ(cafe, u"Caf\u00E9 \u2713");
}

TEST(Rcgen, WritesBitmapsAndUserTypesFromTheirFiles)
{
    const standin::ResourceEntry* bitmap = Find(2, nullptr, 206);
    ASSERT_NE(bitmap, nullptr);
    ASSERT_EQ(bitmap->size, 6u);
    EXPECT_EQ(std::memcmp(bitmap->data, "PIXELS", 6), 0);
    const standin::ResourceEntry* registry = Find(0, "REGISTRY", 118);
    ASSERT_NE(registry, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(registry->data), registry->size), "HKCR { Sample = s 'x' }");
    const standin::ResourceEntry* typelib = Find(0, "TYPELIB", 1);
    ASSERT_NE(typelib, nullptr);
    ASSERT_EQ(typelib->size, 6u);
    EXPECT_EQ(std::memcmp(typelib->data, "TLB\0\1\2", 6), 0);
    EXPECT_NE(Find(0, "REGISTRY", 0, "IDR_CPERFORMANCEPROPPAGE"), nullptr);
}

struct Refusal {
    const char* script;
    int line;
};

class RcgenRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(RcgenRefusal, NamesFileAndLineAndWritesNothing)
{
    const fs::path dir = fs::temp_directory_path() / ("rcgen-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        std::ofstream rc(dir / "bad.rc", std::ios::binary);
        rc << GetParam().script;
    }
    const std::string command = std::string(RCGEN_PYTHON) + " " + RCGEN_SCRIPT + " " + (dir / "bad.rc").string() +
                                " --source " + (dir / "bad.cpp").string() + " 2>" + (dir / "err.txt").string();
    EXPECT_NE(std::system(command.c_str()), 0);
    EXPECT_FALSE(fs::exists(dir / "bad.cpp"));
    std::ifstream err(dir / "err.txt");
    std::string first;
    std::getline(err, first);
    const std::string expected = (dir / "bad.rc").string() + ":" + std::to_string(GetParam().line) + ": error:";
    EXPECT_EQ(first.rfind(expected, 0), 0u) << first;
    fs::remove_all(dir);
}

// A character that does not print reaches the error line as an escape: the refusal stays one
// line of text however the script is damaged (a NUL, a control code, a byte of no code page).
TEST(Rcgen, WritesCharactersThatDoNotPrintAsEscapes)
{
    const fs::path dir = fs::temp_directory_path() / ("rcgen-escape-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const struct {
        std::string script;
        std::string error;
    } cases[] = {
        {std::string("\n\0\n", 3), ":2: error: unexpected character '\\x00'"},
        {"\x01", ":1: error: unexpected character '\\x01'"},
        {std::string("#en\0dif\n", 8), ":1: error: unknown directive '#en\\x00dif'"},
    };
    for (const auto& c : cases) {
        std::ofstream(dir / "bad.rc", std::ios::binary) << c.script;
        const std::string command = std::string(RCGEN_PYTHON) + " " + RCGEN_SCRIPT + " " + (dir / "bad.rc").string() +
                                    " --source " + (dir / "bad.cpp").string() + " 2>" + (dir / "err.txt").string();
        EXPECT_NE(std::system(command.c_str()), 0);
        std::ifstream err(dir / "err.txt", std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(err)), {});
        EXPECT_EQ(text, (dir / "bad.rc").string() + c.error + "\n");
    }
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    MalformedScripts, RcgenRefusal,
    testing::Values(Refusal{"1 DIALOGEX 0, 0, 10, 10\nBEGIN\n  SLIDER 1, 2, 3, 4, 5\nEND\n", 3}, // unknown
                    Refusal{"\n\n7 WIDGET 3\n", 3},                                           // unknown statement
                    Refusal{"STRINGTABLE\nBEGIN\n 1 \"a\"\n 1 \"b\"\nEND\n", 4},              // twice
                    Refusal{"STRINGTABLE\nBEGIN\n 1 \"open\nEND\n", 3},                       // string not closed
                    Refusal{"#include \"missing.h\"\n", 1},                                  // no header
                    Refusal{"\n1 BITMAP \"missing.bmp\"\n", 2},                               // no file
                    Refusal{"1 DIALOGEX 0, 0, 10\nBEGIN\nEND\n", 2},                          // too few numbers
                    Refusal{"1 DIALOGEX 0, 0, 10, 10\nSTYLE WS_NOSUCH\nBEGIN\nEND\n", 2},     // unknown name
                    Refusal{"1 DIALOGEX 0, 0, 10, 10\nBEGIN\n LTEXT \"x\", 1, 0, 0, 99999, 8\nEND\n", 3},
                    Refusal{"#bogus\n", 1},                                                   // directive
                    Refusal{"\n#if \n#endif\n", 2},                                          // no condition
                    Refusal{"1 DIALOGEX 0, 0, 10, 10\nBEGIN\n", 0},                           // no END
                    Refusal{"/* never closed\n", 1}));

} // namespace
