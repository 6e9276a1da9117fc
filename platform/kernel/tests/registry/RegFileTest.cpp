// ".reg" text: the exact export, the round trip of every value type through text, the encodings and
// line ends accepted, deletion lines, malformed text refused with its line and no change, the names
// text cannot hold, volatile keys, and saving to and loading from files.
#include "RegistryTestSupport.h"
#include "standin/registry.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace regtest;

namespace {

const std::u16string kVendor = u"\\Registry\\Machine\\Software\\Vendor";
constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00\n";

std::string Crlf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

std::string Utf16Le(const std::string& utf8)
{
    std::u16string wide;
    for (size_t i = 0; i < utf8.size();) { // the test texts hold one- to three-byte characters
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            wide += c, i += 1;
        } else if (c < 0xE0) {
            wide += char16_t((c & 0x1F) << 6 | (utf8[i + 1] & 0x3F)), i += 2;
        } else {
            wide += char16_t((c & 0x0F) << 12 | (utf8[i + 1] & 0x3F) << 6 | (utf8[i + 2] & 0x3F)), i += 3;
        }
    }
    std::string out = "\xFF\xFE";
    for (char16_t c : wide) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

// A vendor key with one value of every form the writer knows.
void BuildVendorKey()
{
    Key software, vendor, a, b, temp;
    ASSERT_EQ(Create(&software, u"\\Registry\\Machine\\Software"), STATUS_SUCCESS);
    ASSERT_EQ(Create(&vendor, kVendor), STATUS_SUCCESS);
    ASSERT_EQ(Create(&b, u"b", nullptr, 0, vendor.get()), STATUS_SUCCESS);
    ASSERT_EQ(Create(&a, u"A", nullptr, 0, vendor.get()), STATUS_SUCCESS);
    ASSERT_EQ(Create(&temp, u"Temp", nullptr, REG_OPTION_VOLATILE, vendor.get()), STATUS_SUCCESS);
    ASSERT_EQ(SetDword(temp.get(), u"Lost", 1), STATUS_SUCCESS);
    std::vector<UCHAR> table(60);
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<UCHAR>(i);
    const std::vector<UCHAR> none;
    const HANDLE k = vendor.get();
    ASSERT_EQ(SetString(k, u"", u"Default"), STATUS_SUCCESS);
    ASSERT_EQ(SetString(k, u"Path", u"C:\\Drivers\\\"x\""), STATUS_SUCCESS);
    ASSERT_EQ(SetString(k, u"Unicode", u"Gr\u00FC\u00DFe \u20AC"), STATUS_SUCCESS);
    ASSERT_EQ(SetDword(k, u"Count", 0x1F), STATUS_SUCCESS);
    ASSERT_EQ(SetValue(k, u"Table", REG_BINARY, table.data(), 60), STATUS_SUCCESS);
    ASSERT_EQ(SetValue(k, u"Expand", REG_EXPAND_SZ, u"%A%", 8), STATUS_SUCCESS);
    ASSERT_EQ(SetValue(k, u"Multi", REG_MULTI_SZ, u"a\0b\0", 10), STATUS_SUCCESS);
    const ULONGLONG one = 1;
    ASSERT_EQ(SetValue(k, u"Q", REG_QWORD, &one, 8), STATUS_SUCCESS);
    ASSERT_EQ(SetValue(k, u"NoTerm", REG_SZ, u"ab", 4), STATUS_SUCCESS);
    ASSERT_EQ(SetValue(k, u"Empty", REG_BINARY, none.data(), 0), STATUS_SUCCESS);
    ASSERT_EQ(SetValue(k, u"ShortDword", REG_DWORD, "\x01\x02\x03", 3), STATUS_SUCCESS);
    ASSERT_EQ(SetValue(k, u"Big", 0x20000, "\x7F", 1), STATUS_SUCCESS);
}

const std::string kVendorText =
    ("Windows Registry Editor Version 5.00\n"
     "\n"
     "[HKEY_LOCAL_MACHINE\\Software\\Vendor]\n"
     "@=\"Default\"\n"
     "\"Path\"=\"C:\\\\Drivers\\\\\\\"x\\\"\"\n"
     "\"Unicode\"=\"Gr\xC3\xBC\xC3\x9F"
     "e \xE2\x82\xAC\"\n"
     "\"Count\"=dword:0000001f\n"
     "\"Table\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
     "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\n"
     "  2f,30,31,32,33,34,35,36,37,38,39,3a,3b\n"
     "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\n"
     "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
     "\"Q\"=hex(b):01,00,00,00,00,00,00,00\n"
     "\"NoTerm\"=hex(1):61,00,62,00\n"
     "\"Empty\"=hex:\n"
     "\"ShortDword\"=hex(4):01,02,03\n"
     "\"Big\"=hex(20000):7f\n"
     "\n"
     "[HKEY_LOCAL_MACHINE\\Software\\Vendor\\A]\n"
     "\n"
     "[HKEY_LOCAL_MACHINE\\Software\\Vendor\\b]\n"
     "\n");

} // namespace

TEST_F(RegistryTest, ExportWritesWhatTheRegistryEditorWrites)
{
    BuildVendorKey();
    EXPECT_EQ(Export(kVendor), kVendorText);
    const std::string whole = Export();
    EXPECT_EQ(whole, std::string(kHeader) + "\n[HKEY_LOCAL_MACHINE]\n\n[HKEY_LOCAL_MACHINE\\Software]\n\n" +
                         kVendorText.substr(kHeader.size() + 1) + "[HKEY_USERS]\n\n");
    EXPECT_EQ(Export(u"\\Registry"), whole);
    std::string text = "untouched";
    standin::RegistryTextError error;
    EXPECT_FALSE(standin::ExportRegistryText(kVendor + u"\\Missing", &text, &error));
    EXPECT_EQ(text, "untouched");
    EXPECT_NE(error.message.find("Missing"), std::string::npos);
    EXPECT_EQ(Export(kVendor + u"\\Temp"), std::string(kHeader) + "\n"); // volatile: nothing to save
}

TEST_F(RegistryTest, RoundTripThroughTextKeepsEveryValue)
{
    // Written by hand: spacing, upper-case hex, comments, a continuation and CRLF line ends.
    Import(Crlf("Windows Registry Editor Version 5.00\n"
                "; the vendor's settings\n"
                "\n"
                "[HKEY_LOCAL_MACHINE\\Software\\Vendor]\n"
                "\"Path\" = \"C:\\\\Drivers\\\\\\\"x\\\"\"\n"
                "@=\"Default\"\n"
                "\"Count\"=DWORD:1F\n"
                "\"Table\"=hex:00,01, 02,\\\n"
                "   03,FF\n"
                "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\n"
                "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
                "\"Q\"=hex(B):01,00,00,00,00,00,00,00\n"
                "\"Gone\"=dword:1\n"
                "\n"
                "[HKEY_USERS\\S-1-5-18\\Settings]\n"
                "\"Unicode\"=\"Gr\xC3\xBC\xC3\x9F"
                "e \xE2\x82\xAC\"\n"));
    EXPECT_EQ(standin::ReadRegistryString(kVendor, u"Path"), u"C:\\Drivers\\\"x\"");
    EXPECT_EQ(standin::ReadRegistryDword(kVendor, u"Count"), 0x1Fu);
    EXPECT_EQ(standin::ReadRegistryValue(kVendor, u"Table")->data, (std::vector<UCHAR>{0, 1, 2, 3, 0xFF}));
    EXPECT_EQ(standin::ReadRegistryValue(kVendor, u"Multi")->type, ULONG(REG_MULTI_SZ));
    EXPECT_EQ(standin::ReadRegistryValue(kVendor, u"Q")->type, ULONG(REG_QWORD));
    EXPECT_EQ(standin::ReadRegistryString(u"\\Registry\\User\\S-1-5-18\\Settings", u"Unicode"),
              u"Gr\u00FC\u00DFe \u20AC");

    {
        Key vendor, added;
        ASSERT_EQ(Open(&vendor, kVendor, KEY_ALL_ACCESS), STATUS_SUCCESS);
        ASSERT_EQ(SetDword(vendor.get(), u"Count", 0x20), STATUS_SUCCESS);
        Name gone(u"Gone");
        ASSERT_EQ(ZwDeleteValueKey(vendor.get(), gone.get()), STATUS_SUCCESS);
        ASSERT_EQ(Create(&added, u"Added", nullptr, 0, vendor.get()), STATUS_SUCCESS);
        ASSERT_EQ(SetString(added.get(), u"Quote", u"say \"hi\""), STATUS_SUCCESS);
    }
    const std::string first = Export();
    EXPECT_EQ(first.find("Gone"), std::string::npos);
    EXPECT_NE(first.find("\"Quote\"=\"say \\\"hi\\\"\"\n"), std::string::npos);
    standin::ResetRegistry();
    Import(first);
    EXPECT_EQ(Export(), first);
    EXPECT_EQ(standin::ReadRegistryDword(kVendor, u"Count"), 0x20u);
    EXPECT_EQ(standin::ReadRegistryString(kVendor + u"\\Added", u"Quote"), u"say \"hi\"");

    // Every form the writer knows survives as well, byte for byte.
    standin::ResetRegistry();
    BuildVendorKey();
    const std::string all = Export();
    standin::ResetRegistry();
    Import(all);
    EXPECT_EQ(Export(), all);
    EXPECT_EQ(standin::ReadRegistryValue(kVendor, u"NoTerm")->data, WideBytes(u"ab"));
    EXPECT_EQ(standin::ReadRegistryValue(kVendor, u"ShortDword")->data, (std::vector<UCHAR>{1, 2, 3}));
    EXPECT_EQ(standin::ReadRegistryValue(kVendor, u"Big")->type, 0x20000u);
}

TEST_F(RegistryTest, ImportAcceptsEitherMarkAndEitherLineEnd)
{
    BuildVendorKey();
    const std::string text = Export(kVendor);
    for (const std::string& variant :
         {Crlf(text), "\xEF\xBB\xBF" + text, Utf16Le(text), Utf16Le(Crlf(text))}) {
        standin::ResetRegistry();
        Import(variant);
        EXPECT_EQ(Export(kVendor), text);
    }
}

TEST_F(RegistryTest, DeletionLinesRemoveKeysWithTheirSubtreeAndValues)
{
    Import(std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\A\\B\\C]\n\"v\"=dword:1\n"
                                  "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=dword:2\n\"y\"=dword:3\n@=\"d\"\n");
    Key held;
    ASSERT_EQ(Open(&held, u"\\Registry\\Machine\\A\\B\\C"), STATUS_SUCCESS);
    Import(std::string(kHeader) + "[-HKEY_LOCAL_MACHINE\\A\\B]\n[-HKEY_LOCAL_MACHINE\\Nowhere]\n"
                                  "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=-\n@=-\n\"never\"=-\n");
    EXPECT_EQ(standin::RegistrySubKeyNames(u"\\Registry\\Machine\\A"), std::vector<std::u16string>{});
    EXPECT_FALSE(standin::ReadRegistryValue(u"\\Registry\\Machine\\A", u"x").has_value());
    EXPECT_FALSE(standin::ReadRegistryValue(u"\\Registry\\Machine\\A", u"").has_value());
    EXPECT_EQ(standin::ReadRegistryDword(u"\\Registry\\Machine\\A", u"y"), 3u);
    ULONG result = 0;
    UCHAR buffer[32];
    EXPECT_EQ(ZwQueryKey(held.get(), KeyBasicInformation, buffer, sizeof buffer, &result),
              STATUS_KEY_DELETED);
}

TEST_F(RegistryTest, MalformedTextIsRefusedWithItsLineAndChangesNothing)
{
    Import(std::string(kHeader) + "\n[HKEY_LOCAL_MACHINE\\Keep]\n\"v\"=dword:1\n");
    const std::string before = Export();
    const std::string head = std::string(kHeader) + "\n[HKEY_LOCAL_MACHINE\\x]\n"; // value lines go on line 4
    const struct {
        std::string text;
        size_t line;
        std::string_view says;
    } cases[] = {
        {"", 1, "first line"},
        {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\x]\n", 1, "first line"},
        {std::string(kHeader) + "\n[HKEY_CURRENT_USER\\x]\n", 3, "unknown root"},
        {std::string(kHeader) + "\n[HKEY_LOCAL_MACHINE\\x\n", 3, "']'"},
        {std::string(kHeader) + "\n[HKEY_LOCAL_MACHINE\\x] tail\n", 3, "after"},
        {std::string(kHeader) + "\n[HKEY_LOCAL_MACHINE\\\\x]\n", 3, "empty key name"},
        {std::string(kHeader) + "\n[HKEY_LOCAL_MACHINE\\" + std::string(256, 'k') + "]\n", 3, "255"},
        {std::string(kHeader) + "\n[-HKEY_USERS]\n", 3, "root key"},
        // A lone carriage return inside a line is kept in the line, never in a name.
        {std::string(kHeader) + "\n[HKEY_USERS\\a\rb]\n", 3, "key name with a line break"},
        {head + "\"a\rb\"=dword:1\n", 4, "value name with a line break"},
        {std::string(kHeader) + "\n\"v\"=dword:1\n", 3, "key line before"},
        {std::string(kHeader) + "\n[-HKEY_LOCAL_MACHINE\\x]\n\"v\"=dword:1\n", 4, "key line before"},
        {std::string(kHeader) + "\ngarbage\n", 3, "a line must be"},
        {head + "\"v\"=dword:123456789\n", 4, "dword"},
        {head + "\"v\"=dword:\n", 4, "dword"},
        {head + "\"v\"=hex:01,2g\n", 4, "hex data"},
        {head + "\"v\"=hex:01,,02\n", 4, "hex data"},
        {head + "\"v\"=hex:100\n", 4, "hex data"},
        {head + "\"v\"=hex(zz):00\n", 4, "hex("},
        {head + "\"v\"=hex(2)00\n", 4, "':'"},
        {head + "\"v\"=hex:01,\\\n", 4, "past the end"},
        {head + "\"v\"=hex:01,\\\n  02,zz\n", 4, "hex data"},
        {head + "\"v\"=\"unterminated\n", 4, "closing quote"},
        {head + "\"v\"=\"bad \\q escape\"\n", 4, "escape"},
        {head + "\"v\"=\"text\" more\n", 4, "after the quoted"},
        {head + "\"unterminated=1\n", 4, "closing quote"},
        {head + "\"v\" dword:1\n", 4, "'='"},
        {head + "\"v\"=qword:1\n", 4, "value data must be"},
        {head + "\"" + std::string(16384, 'n') + "\"=dword:1\n", 4, "16383"},
        {head + "\"ok\"=dword:1\n\"bad\"=\xC3\x28\n", 5, "UTF-8"},
        {head + "\"ok\"=dword:1\n[HKEY_LOCAL_MACHINE\\Keep]\n\"v\"=dword:2\n\"w\"=hex:zz\n", 7, "hex data"},
        {std::string("\xFF\xFE"
                     "W\0i\0\x00\xD8",
                     8),
         1, "surrogate"},
        {"\xFF\xFE"
         "W",
         0, "odd number"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        standin::RegistryTextError error;
        EXPECT_FALSE(standin::ImportRegistryText(c.text, &error));
        EXPECT_EQ(error.line, c.line) << error.message;
        EXPECT_NE(error.message.find(c.says), std::string::npos) << error.message;
        EXPECT_EQ(Export(), before);
    }
}

TEST_F(RegistryTest, ImportBelowAVolatileKeyIsRefusedWhole)
{
    Key software, scratch;
    ASSERT_EQ(Create(&software, u"\\Registry\\Machine\\Software"), STATUS_SUCCESS);
    ASSERT_EQ(Create(&scratch, u"\\Registry\\Machine\\Software\\Scratch", nullptr, REG_OPTION_VOLATILE),
              STATUS_SUCCESS);
    standin::RegistryTextError error;
    EXPECT_FALSE(standin::ImportRegistryText(std::string(kHeader) +
                                                 "[HKEY_LOCAL_MACHINE\\Software\\New]\n"
                                                 "[HKEY_LOCAL_MACHINE\\Software\\Scratch\\Child]\n",
                                             &error));
    EXPECT_EQ(error.line, 3u);
    EXPECT_NE(error.message.find("volatile"), std::string::npos);
    EXPECT_FALSE(standin::RegistryKeyExists(u"\\Registry\\Machine\\Software\\New"));
    // Values on the volatile key itself are fine.
    Import(std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\Software\\Scratch]\n\"v\"=dword:5\n");
    EXPECT_EQ(standin::ReadRegistryDword(u"\\Registry\\Machine\\Software\\Scratch", u"v"), 5u);
}

TEST_F(RegistryTest, NamesThatTextCannotHoldFailTheExport)
{
    Key key;
    ASSERT_EQ(Create(&key, u"\\Registry\\Machine\\Software"), STATUS_SUCCESS);
    ASSERT_EQ(SetDword(key.get(), u"two\nlines", 1), STATUS_SUCCESS);
    std::string text;
    standin::RegistryTextError error;
    EXPECT_FALSE(standin::ExportRegistryText({}, &text, &error));
    EXPECT_NE(error.message.find("line break"), std::string::npos);
    Name name(u"two\nlines");
    ASSERT_EQ(ZwDeleteValueKey(key.get(), name.get()), STATUS_SUCCESS);

    Key odd;
    ASSERT_EQ(Create(&odd, std::u16string(u"\\Registry\\Machine\\Software\\") + char16_t(0xD800)),
              STATUS_SUCCESS);
    EXPECT_FALSE(standin::ExportRegistryText({}, &text, &error));
    EXPECT_NE(error.message.find("surrogate"), std::string::npos);
}

TEST_F(RegistryTest, FilesAreWrittenWholeAndReadBack)
{
    const auto folder =
        std::filesystem::temp_directory_path() / ("registry-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const auto file = folder / "machine.reg";
    BuildVendorKey();
    standin::RegistryTextError error;
    ASSERT_TRUE(standin::ExportRegistryFile(file, {}, &error)) << error.message;
    EXPECT_FALSE(std::filesystem::exists(folder / "machine.reg.tmp"));
    const std::string saved = Export();
    standin::ResetRegistry();
    ASSERT_TRUE(standin::ImportRegistryFile(file, &error)) << error.message;
    EXPECT_EQ(Export(), saved);

    EXPECT_FALSE(standin::ImportRegistryFile(folder / "missing.reg", &error));
    EXPECT_EQ(error.line, 0u);
    EXPECT_NE(error.message.find("missing.reg"), std::string::npos);
    EXPECT_FALSE(standin::ExportRegistryFile(folder / "no" / "such" / "folder.reg", {}, &error));
    EXPECT_FALSE(std::filesystem::exists(folder / "no"));
    {
        std::ofstream broken(folder / "broken.reg", std::ios::binary);
        broken << kHeader << "[HKEY_LOCAL_MACHINE\\x]\nnonsense\n";
    }
    EXPECT_FALSE(standin::ImportRegistryFile(folder / "broken.reg", &error));
    EXPECT_EQ(error.line, 3u);
    EXPECT_EQ(Export(), saved);
    std::filesystem::remove_all(folder);
}
