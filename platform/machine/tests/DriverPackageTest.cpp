// The driver package a device's first installation applies: the INF's install section chosen by
// the device's best-matching id, each kind of AddReg line, the package applied once per device
// instance, and a malformed package failing the plug, named by file and line, with nothing written.
#include "MachineFixture.h"

#include "DriverPackage.h"
#include "InfFile.h"
#include "km/registry.h"
#include "standin/registry.h"

#include <fstream>

using namespace machinetest;

namespace {

const std::u16string kControl = u"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\";
const std::u16string kEnum = u"\\Registry\\Machine\\System\\CurrentControlSet\\Enum\\";
const std::u16string kSoftware = u"\\Registry\\Machine\\SOFTWARE\\MachineTest";

// Two models: the generic id gets the plain section, the subsystem id (more specific) the other.
constexpr char kPackage[] = R"(; a package for the test driver
[Version]
Signature="$Windows NT$"

[Manufacturer]
%Maker% = Models, NTx86

[Models.NTx86]
%Generic% = Generic, PCI\VEN_7A1E&DEV_7E57
%Board% = Board, PCI\VEN_7A1E&DEV_7E57&SUBSYS_00017A1E

[Generic.NT]
AddReg = Generic.Values

[Board.NT]
AddReg = Board.Values, \
         Machine.Values

[Generic.Values]
HKR, , Chosen, , "generic"

[Board.Values]
HKR, , Chosen, , "board"
HKR, Inputs, Count, 0x00010001, 2
HKR, Inputs\Input1, Name, 0, "Quoted ""name"", with ; and ,"
HKR, Inputs\Input1, Path, 0x00020000, %%SystemRoot%%\x
HKR, Inputs\Input1, List, 0x00010000, one, "two", %Three%
HKR, Inputs\Input1, Bytes, 0x00000001, 01, 0xff, 7A
HKR, Inputs\Input1, Hex, 0x10001, 0x12345678
HKR, Inputs\Empty, , 0x00000010
HKR, Inputs, Count, 0x00010003, 9    ; no-clobber: the value written above stays

[Machine.Values]
HKLM, SOFTWARE\MachineTest, Kept, 0x00000002, "from the package"
HKLM, SOFTWARE\MachineTest, Name, , %Board%

[Strings]
Maker = "Test maker"
Generic = "Any test device"
Board = "The test board"
Three = "three"
)";

class DriverPackageTest : public MachineTest {
protected:
    // Installs `text` as the service's package and boots.
    void BootWithPackage(const std::string& text)
    {
        std::filesystem::create_directories(folder_.Path() / "C" / "Windows" / "INF");
        std::ofstream(folder_.Path() / "C" / "Windows" / "INF" / "machinetest.inf") << text;
        Boot();
        const std::string reg = "Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\MachineTest]\n"
                                "\"InfPath\"=\"machinetest.inf\"\n\n"
                                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\MachineTest]\n\"Kept\"=\"by the administrator\"\n";
        standin::RegistryTextError error;
        ASSERT_TRUE(standin::ImportRegistryText(reg, &error)) << error.message;
    }
};

} // namespace

TEST_F(DriverPackageTest, AFirstInstallationAppliesTheBestMatchingModelsSection)
{
    BootWithPackage(kPackage);
    TestBoard& board = Board({3, 1, 0});
    ASSERT_EQ(machine_->Plug(board), STATUS_SUCCESS);
    const std::u16string key = kControl + machine_->Device(board)->driverKeyName;
    EXPECT_EQ(standin::ReadRegistryString(key, u"Chosen"), u"board");
    EXPECT_EQ(standin::ReadRegistryString(key, u"InfPath"), u"machinetest.inf");
    EXPECT_EQ(standin::ReadRegistryDword(key + u"\\Inputs", u"Count"), 2u);
    const std::u16string input = key + u"\\Inputs\\Input1";
    EXPECT_EQ(standin::ReadRegistryString(input, u"Name"), u"Quoted \"name\", with ; and ,");
    auto path = standin::ReadRegistryValue(input, u"Path");
    ASSERT_TRUE(path);
    EXPECT_EQ(path->type, static_cast<ULONG>(REG_EXPAND_SZ));
    EXPECT_EQ(standin::ReadRegistryString(input, u"Path"), u"%SystemRoot%\\x");
    EXPECT_EQ(MultiString(input, u"List"), (std::vector<std::u16string>{u"one", u"two", u"three"}));
    auto bytes = standin::ReadRegistryValue(input, u"Bytes");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->type, static_cast<ULONG>(REG_BINARY));
    EXPECT_EQ(bytes->data, (std::vector<UCHAR>{0x01, 0xFF, 0x7A}));
    EXPECT_EQ(standin::ReadRegistryDword(input, u"Hex"), 0x12345678u);
    EXPECT_TRUE(standin::RegistryKeyExists(key + u"\\Inputs\\Empty"));
    EXPECT_FALSE(standin::ReadRegistryValue(key + u"\\Inputs\\Empty", u""));
    EXPECT_EQ(standin::ReadRegistryString(kSoftware, u"Kept"), u"by the administrator");
    EXPECT_EQ(standin::ReadRegistryString(kSoftware, u"Name"), u"The test board");
}

TEST_F(DriverPackageTest, ThePackageAppliesOncePerDeviceInstance)
{
    BootWithPackage(kPackage);
    TestBoard& board = Board({3, 1, 0});
    ASSERT_EQ(machine_->Plug(board), STATUS_SUCCESS);
    const std::u16string driverKeyName = machine_->Device(board)->driverKeyName;
    const std::u16string inputs = kControl + driverKeyName + u"\\Inputs";
    const std::string edit = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\"
                             "Control\\Class\\" +
                             std::string(driverKeyName.begin(), driverKeyName.end()) +
                             "\\Inputs]\n\"Count\"=dword:00000005\n";
    ASSERT_TRUE(standin::ImportRegistryText(edit));
    ASSERT_EQ(machine_->Remove(board), STATUS_SUCCESS);
    ASSERT_EQ(machine_->Plug(board), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(inputs, u"Count"), 5u);
    Reboot();
    ASSERT_EQ(machine_->Plug(board), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(inputs, u"Count"), 5u);

    // Another board is a new instance: it gets the package's values.
    TestBoard& other = Board({3, 2, 0});
    ASSERT_EQ(machine_->Plug(other), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(kControl + machine_->Device(other)->driverKeyName + u"\\Inputs", u"Count"),
              2u);
}

TEST_F(DriverPackageTest, AMalformedPackageFailsThePlugAndWritesNothing)
{
    std::string bad = kPackage;
    const std::string line = "HKR, Inputs\\Input1, Hex, 0x10001, 0x12345678";
    bad.replace(bad.find(line), line.size(), "HKR, Inputs\\Input1, Hex, 0x10001, twelve");
    BootWithPackage(bad);
    std::string before;
    ASSERT_TRUE(standin::ExportRegistryText(u"\\Registry\\Machine", &before));
    TestBoard& board = Board({3, 1, 0});
    testing::internal::CaptureStderr();
    EXPECT_EQ(machine_->Plug(board), STATUS_INVALID_PARAMETER);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("C:\\Windows\\INF\\machinetest.inf, line 29: a DWORD value is not one number"),
              std::string::npos)
        << said;
    EXPECT_FALSE(machine_->Device(board));
    std::string after;
    ASSERT_TRUE(standin::ExportRegistryText(u"\\Registry\\Machine", &after));
    EXPECT_EQ(before, after) << "a refused package wrote to the registry";
    EXPECT_EQ(board.Plugs(), 0);
}

TEST(DriverPackagePlan, EveryKindOfFaultIsNamedByItsLine)
{
    const std::vector<std::u16string> ids = {u"PCI\\VEN_1&DEV_2"};
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"[S]\nAddReg=A\n[A]\nHKCU, x, y, , z\n", "t.inf, line 4: the registry root 'HKCU' is not HKR or HKLM"},
        {"[S]\nAddReg=A\n[A]\nHKR, x, y, 0x4, z\n", "t.inf, line 4: the flags 00000004 are not supported"},
        {"[S]\nAddReg=A\n[A]\nHKR, x, y, 0x00000001, 1FF\n", "line 4: the binary byte '1FF' is not two hexadecimal digits"},
        {"[S]\nAddReg=A\n[A]\nHKR, x, y, 0x10001\n", "line 4: a DWORD value is not one number"},
        {"[S]\nAddReg=A\n[A]\nHKR, x, y, 0x10001, 4294967296\n", "line 4: a DWORD value is not one number"},
        {"[S]\nAddReg=A\n[A]\nHKR, x, y, , a, b\n", "line 4: a string value has more than one field"},
        {"[S]\nAddReg=A\n[A]\nHKLM, , y, , a\n", "line 4: an HKLM line names no subkey"},
        {"[S]\nAddReg=A\n[A]\nHKR, x\\\\y, v\n", "line 4: the subkey 'x\\\\y' has an empty part"},
        {"[S]\nAddReg=A, B\n[A]\n", "line 2: the AddReg section [B] is missing"},
        {"[S]\nAddReg=A\n[A]\nHKR, x, y, 0x00030000, a\n", "line 4: the value type 00030000 is not supported"},
        {"[Manufacturer]\nM = Missing\n", "line 2: the models section [Missing] is missing"},
        {"[Manufacturer]\nM = Models\n[Models]\nd = Other, PCI\\VEN_1&DEV_2\n", "line 4: the install section [Other] is missing"},
        {"[S]\nAddReg=A\n[A]\nHKR, x, y, , %Nope%\n", "line 4: the string token %Nope% is not in [Strings]"},
        {"[S]\nAddReg=A\n[A]\nHKR, x, y, , \"open\n", "line 4: a quoted text does not end"},
        {"HKR, x\n", "line 1: a line before the first section"},
        {"[S\n", "line 1: a section name is not closed by ']'"},
        {"[Strings]\njust text\n", "line 2: a [Strings] line is not 'token = text'"},
    };
    for (const auto& c : cases) {
        std::string error;
        auto inf = platform::InfFile::Parse(c.text, "t.inf", &error);
        if (inf) {
            platform::DriverPackagePlan plan;
            EXPECT_EQ(platform::PlanDriverPackage(*inf, ids, u"S", &plan, &error), STATUS_INVALID_PARAMETER)
                << c.text;
            EXPECT_TRUE(plan.writes.empty());
        }
        EXPECT_NE(error.find(c.error), std::string::npos) << c.text << " gave: " << error;
    }
}

TEST(DriverPackagePlan, LinesJoinCommentsEndAndTheServicesSectionServesWhenNoModelListsTheDevice)
{
    const char text[] = "[Version] ; a comment\r\nSignature=\"$Windows NT$\"\r\n"
                        "[S.NT]\r\nAddReg = A\r\n[S]\r\nAddReg = Wrong\r\n"
                        "[A]\r\nHKR, Key, Value, 0x00010000, \"a;b\", \\\r\n   c   ; more\r\n";
    std::string error;
    auto inf = platform::InfFile::Parse(text, "t.inf", &error);
    ASSERT_TRUE(inf) << error;
    platform::DriverPackagePlan plan;
    ASSERT_EQ(platform::PlanDriverPackage(*inf, {u"PCI\\VEN_1"}, u"S", &plan, &error), STATUS_SUCCESS) << error;
    EXPECT_EQ(plan.installSection, u"S.NT");
    ASSERT_EQ(plan.writes.size(), 1u);
    const std::vector<unsigned char> expected = {'a', 0, ';', 0, 'b', 0, 0, 0, 'c', 0, 0, 0, 0, 0};
    EXPECT_EQ(plan.writes[0].data, expected);
    EXPECT_EQ(plan.writes[0].type, static_cast<ULONG>(REG_MULTI_SZ));

    // UTF-16 with its byte-order mark reads the same.
    std::string wide = "\xFF\xFE";
    for (char c : std::string(text)) {
        wide.push_back(c);
        wide.push_back('\0');
    }
    auto inf16 = platform::InfFile::Parse(wide, "t.inf", &error);
    ASSERT_TRUE(inf16) << error;
    ASSERT_EQ(platform::PlanDriverPackage(*inf16, {u"PCI\\VEN_1"}, u"S", &plan, &error), STATUS_SUCCESS);
    EXPECT_EQ(plan.writes[0].data, expected);

    // Without the service's section and without a model for the device there is nothing to apply.
    EXPECT_EQ(platform::PlanDriverPackage(*inf, {u"PCI\\VEN_1"}, u"", &plan, &error), STATUS_INVALID_PARAMETER);
}
