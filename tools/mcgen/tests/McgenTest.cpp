// The message compiler: ids built from severity, facility and code (explicit, following and
// relative), inherited severity and facility, multi-line texts with CR LF, escapes of quotes,
// backslashes and non-ASCII bytes, the first declared language chosen, symbolic names as typed
// constants; and the refusal of malformed files with a non-zero exit and no output.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "km/messagetable.h"
#include "messages/sample.h"

extern "C" const standin::MessageTableEntry StandinMessageTable[];
extern "C" const size_t StandinMessageTableCount;

namespace {

namespace fs = std::filesystem;

TEST(Mcgen, CompilesEveryConstructOfTheSample)
{
    ASSERT_EQ(StandinMessageTableCount, 4u);
    EXPECT_EQ(StandinMessageTable[0].id, 0x40070010u);
    EXPECT_STREQ(StandinMessageTable[0].text, "First message with %2.\r\n");
    EXPECT_EQ(StandinMessageTable[1].id, 0x40070011u);
    EXPECT_STREQ(StandinMessageTable[1].text,
                 "Two lines: \"quoted\" and a back\\slash\\\\\r\nsecond line with trailing spaces  \r\n");
    EXPECT_EQ(StandinMessageTable[2].id, 0xC0120014u);
    EXPECT_STREQ(StandinMessageTable[2].text, "Caf\xC3\xA9 %2!s! 100%% done%.\r\n");
    EXPECT_EQ(StandinMessageTable[3].id, 0x80120001u); // facility inherited from the previous message
    EXPECT_STREQ(StandinMessageTable[3].text, "No symbolic name.\r\n");

    static_assert(std::is_same_v<decltype(SAMPLE_FIRST), const NTSTATUS>);
    EXPECT_EQ(static_cast<ULONG>(SAMPLE_FIRST), 0x40070010u);
    EXPECT_EQ(static_cast<ULONG>(SAMPLE_SECOND), 0x40070011u);
    EXPECT_EQ(static_cast<ULONG>(SAMPLE_ERROR), 0xC0120014u);
    EXPECT_EQ(FACILITY_SAMPLE, 7u);
    EXPECT_EQ(SAMPLE_SEVERITY_ERROR, 3u);
}

class McgenRefusal : public testing::TestWithParam<const char*> {};

TEST_P(McgenRefusal, ExitsWithAnErrorAndWritesNothing)
{
    const fs::path dir = fs::temp_directory_path() / ("mcgen-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        std::ofstream mc(dir / "bad.mc", std::ios::binary);
        mc << GetParam();
    }
    const std::string command = std::string(MCGEN_PYTHON) + " " + MCGEN_SCRIPT + " " + (dir / "bad.mc").string() +
                                " --header " + (dir / "bad.h").string() + " --source " + (dir / "bad.cpp").string() +
                                " 2>" + (dir / "err.txt").string();
    const int result = std::system(command.c_str());
    EXPECT_NE(result, 0);
    EXPECT_FALSE(fs::exists(dir / "bad.h"));
    EXPECT_FALSE(fs::exists(dir / "bad.cpp"));
    std::ifstream err(dir / "err.txt");
    std::string first;
    std::getline(err, first);
    EXPECT_NE(first.find("error:"), std::string::npos) << first;
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    MalformedFiles, McgenRefusal,
    testing::Values("MessageId=1\nLanguage=English\nno end\n",                                // text not ended
                    "MessageId=1\nSeverity=Fatal\nLanguage=English\nx\n.\n",                   // unknown severity
                    "MessageId=1\nFacility=Nowhere\nLanguage=English\nx\n.\n",                 // unknown facility
                    "MessageId=1\nLanguage=Klingon\nx\n.\n",                                   // unknown language
                    "MessageId=1\nLanguage=English\nx\n.\nMessageId=1\nLanguage=English\ny\n.\n", // duplicate id
                    "MessageId=1\nSymbolicName=A\nLanguage=English\nx\n.\nMessageId=2\nSymbolicName=A\n"
                    "Language=English\ny\n.\n",                                                // duplicate name
                    "MessageId=0x10000\nLanguage=English\nx\n.\n",                             // code too large
                    "SeverityNames=(Bad=0x4:X)\n",                                             // severity above 3
                    "FacilityNames=(Sample=0x7:F\n",                                           // list not closed
                    "MessageId=1\nSymbolicName=A\n",                                           // no text
                    "Bogus=1\n"));                                                             // unknown keyword

TEST(Mcgen, TakesEveryFormOfTypeNameAsTheTypedef)
{
    // The checks that refuse what cannot compile leave the type names a header can use.
    const fs::path dir = fs::temp_directory_path() / ("mcgen-typedef-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    for (const char* type : {"NTSTATUS", "unsigned  long", "::standin::Id", "_Name1"}) {
        {
            std::ofstream mc(dir / "ok.mc", std::ios::binary);
            mc << "MessageIdTypedef=" << type << "\nMessageId=0x20\nSymbolicName=OK_NAME\nLanguage=English\nx\n.\n";
        }
        const std::string command = std::string(MCGEN_PYTHON) + " " + MCGEN_SCRIPT + " " + (dir / "ok.mc").string() +
                                    " --header " + (dir / "ok.h").string() + " --source " +
                                    (dir / "ok.cpp").string();
        EXPECT_EQ(std::system(command.c_str()), 0) << type;
        std::ifstream header(dir / "ok.h");
        const std::string text((std::istreambuf_iterator<char>(header)), std::istreambuf_iterator<char>());
        std::string expected = type;
        if (expected == "unsigned  long")
            expected = "unsigned long";
        EXPECT_NE(text.find("inline constexpr " + expected + " OK_NAME = static_cast<" + expected + ">(0x0FFF0020u);"),
                  std::string::npos)
            << text;
    }
    fs::remove_all(dir);
}

TEST(Mcgen, NumbersWithLeadingZerosAreDecimal)
{
    // 010 is ten: numbers are decimal or 0x-hexadecimal, never octal.
    const fs::path dir = fs::temp_directory_path() / ("mcgen-decimal-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        std::ofstream mc(dir / "ten.mc", std::ios::binary);
        mc << "MessageId=010\nSymbolicName=TEN\nLanguage=English\nx\n.\n";
    }
    const std::string command = std::string(MCGEN_PYTHON) + " " + MCGEN_SCRIPT + " " + (dir / "ten.mc").string() +
                                " --header " + (dir / "ten.h").string() + " --source " + (dir / "ten.cpp").string();
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::ifstream header(dir / "ten.h");
    const std::string text((std::istreambuf_iterator<char>(header)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("TEN = static_cast<unsigned long>(0x0FFF000Au);"), std::string::npos) << text;
    fs::remove_all(dir);
}

// Files whose C++ would not compile: each refused with an error naming the line at fault.
struct LineRefusal {
    const char* text;
    int line;
    const char* why;
};

class McgenLineRefusal : public testing::TestWithParam<LineRefusal> {};

TEST_P(McgenLineRefusal, NamesTheLineAndWritesNothing)
{
    const fs::path dir = fs::temp_directory_path() / ("mcgen-line-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        std::ofstream mc(dir / "bad.mc", std::ios::binary);
        mc << GetParam().text;
    }
    const std::string command = std::string(MCGEN_PYTHON) + " " + MCGEN_SCRIPT + " " + (dir / "bad.mc").string() +
                                " --header " + (dir / "bad.h").string() + " --source " + (dir / "bad.cpp").string() +
                                " 2>" + (dir / "err.txt").string();
    const int result = std::system(command.c_str());
    EXPECT_NE(result, 0) << GetParam().why;
    EXPECT_FALSE(fs::exists(dir / "bad.h")) << GetParam().why;
    EXPECT_FALSE(fs::exists(dir / "bad.cpp")) << GetParam().why;
    std::ifstream err(dir / "err.txt");
    std::string first;
    std::getline(err, first);
    const std::string where = (dir / "bad.mc").string() + ":" + std::to_string(GetParam().line) + ": error: ";
    EXPECT_EQ(first.rfind(where, 0), 0u) << GetParam().why << ": " << first;
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    UncompilableOutput, McgenLineRefusal,
    testing::Values(
        LineRefusal{"MessageId=1\nLanguage=English\nx\n.\n\nMessageId=-1\nLanguage=English\ny\n.\n", 6,
                    "negative id"},
        LineRefusal{"MessageId=5\nLanguage=English\nx\n.\nMessageId=+-9\nLanguage=English\ny\n.\n", 5,
                    "relative id below zero"},
        LineRefusal{"MessageId=1_0\nLanguage=English\nx\n.\n", 1, "digit separator"},
        LineRefusal{"MessageId=1\nSymbolicName=delete\nLanguage=English\nx\n.\n", 2, "keyword as name"},
        LineRefusal{"MessageId=1\nSymbolicName=and\nLanguage=English\nx\n.\n", 2, "alternative token as name"},
        LineRefusal{"\nSeverityNames=(Error=0x3:A\n  Error=0x2:B)\n", 3, "duplicate severity name"},
        LineRefusal{"SeverityNames=(Low=0x0:S\n  High=0x3:S)\n", 1, "duplicate severity symbol"},
        LineRefusal{"FacilityNames=(Io=0x7:F Io=0x8:G)\n", 1, "duplicate facility name"},
        LineRefusal{"LanguageNames=(English=0x409:A English=0x407:B)\n", 1, "duplicate language name"},
        LineRefusal{"SeverityNames=(Error=0x3:class)\n", 1, "keyword as severity symbol"},
        LineRefusal{"MessageId=1\nSymbolicName=ULONG\nLanguage=English\nx\n.\n", 2, "a type of km/types.h as a name"},
        LineRefusal{"FacilityNames=(Io=0x7:F)\n\nMessageId=1\nFacility=Io\nSymbolicName=F\n"
                    "Language=English\nx\n.\n",
                    3, "message name equal to a facility symbol"},
        LineRefusal{"MessageIdTypedef=NT STATUS\n", 1, "two words"},
        LineRefusal{"; comment\nMessageIdTypedef=\n", 2, "empty typedef"},
        LineRefusal{"MessageIdTypedef=NTSTATUS;\n", 1, "punctuation"},
        LineRefusal{"MessageIdTypedef=struct\n", 1, "keyword as typedef"},
        LineRefusal{"MessageIdTypedef=ULONG\nMessageIdTypedef=NTSTATUS\n", 2, "second typedef"},
        LineRefusal{"MessageIdTypedef=Id\nMessageId=1\nSymbolicName=Id\nLanguage=English\nx\n.\n", 3,
                    "message name equal to the typedef"},
        LineRefusal{"MessageIdTypedef=::ns::Id\nMessageId=1\nSymbolicName=ns\nLanguage=English\nx\n.\n", 3,
                    "message name equal to the typedef's namespace"},
        LineRefusal{"MessageIdTypedef=Code\nFacilityNames=(Io=0x7:Code)\nMessageId=1\nFacility=Io\n"
                    "SymbolicName=A\nLanguage=English\nx\n.\n",
                    2, "facility symbol equal to the typedef"},
        LineRefusal{"SeverityNames=(Bad=0x3:Code)\n\nMessageIdTypedef=Code\nMessageId=1\nSymbolicName=A\n"
                    "Language=English\nx\n.\n",
                    1, "severity symbol equal to the typedef, the list first"}));

} // namespace
