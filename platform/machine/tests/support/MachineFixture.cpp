// The machine tests' shared set-up and user-mode helpers.
#include "MachineFixture.h"

#include "km/registry.h"
#include "standin/registry.h"
#include "um/cfgmgr32.h"

#include <atomic>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace machinetest {

TemporaryFolder::TemporaryFolder()
{
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("machine-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TemporaryFolder::~TemporaryFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path DefaultTemplate()
{
    return PLATFORM_BASE_MACHINE;
}

void PrepareTestMachine(const std::filesystem::path& folder)
{
    platform::Machine::CreateFolder(folder, DefaultTemplate());
    std::ifstream in(MACHINE_TEST_REG_FILE);
    std::stringstream text;
    text << in.rdbuf();
    std::ofstream out(folder / platform::Machine::kRegistryFile, std::ios::app);
    out << "\n" << text.str() << "\n";
}

platform::MachineOptions TestMachineOptions(double speed)
{
    platform::MachineOptions options;
    options.speedFactor = speed;
    options.driverFiles.push_back({MACHINE_TEST_DRIVER_FILE, kFileName});
    return options;
}

void SetDriverSwitch(const char16_t* name, uint32_t value)
{
    std::string text =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\MachineTest\\Parameters]\n\"";
    for (const char16_t* c = name; *c; ++c)
        text.push_back(static_cast<char>(*c));
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08x", value);
    text += std::string("\"=dword:") + digits + "\n";
    standin::RegistryTextError error;
    ASSERT_TRUE(standin::ImportRegistryText(text, &error)) << error.message;
}

std::vector<std::u16string> MultiString(const std::u16string& key, const std::u16string& name)
{
    std::vector<std::u16string> strings;
    auto value = standin::ReadRegistryValue(key, name);
    if (!value || value->type != REG_MULTI_SZ)
        return strings;
    std::u16string current;
    for (size_t i = 0; i + 1 < value->data.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(value->data[i] | value->data[i + 1] << 8);
        if (c) {
            current.push_back(c);
        } else if (!current.empty()) {
            strings.push_back(current);
            current.clear();
        }
    }
    return strings;
}

std::vector<std::u16string> TestInterfacePaths()
{
    ULONG length = 0;
    GUID interfaceClass = kInterfaceClass;
    if (CM_Get_Device_Interface_List_SizeW(&length, &interfaceClass, nullptr,
                                           CM_GET_DEVICE_INTERFACE_LIST_PRESENT) != CR_SUCCESS)
        return {};
    std::vector<WCHAR> list(length);
    if (CM_Get_Device_Interface_ListW(&interfaceClass, nullptr, list.data(), length,
                                      CM_GET_DEVICE_INTERFACE_LIST_PRESENT) != CR_SUCCESS)
        return {};
    std::vector<std::u16string> paths;
    for (const WCHAR* p = list.data(); *p; p += std::char_traits<char16_t>::length(p) + 1)
        paths.emplace_back(p);
    return paths;
}

HANDLE OpenPath(const std::u16string& path)
{
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

MachineTestState QueryState(HANDLE handle)
{
    MachineTestState state{};
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(handle, kIoctlGetState, nullptr, 0, &state, sizeof state, &returned, nullptr))
        << GetLastError();
    EXPECT_EQ(returned, sizeof state);
    return state;
}

void MachineTest::SetUp()
{
    PrepareTestMachine(folder_.Path());
}

void MachineTest::TearDown()
{
    machine_.reset();
}

void MachineTest::Boot(platform::MachineOptions options)
{
    machine_ = platform::Machine::Open(folder_.Path(), DefaultTemplate(), std::move(options));
}

TestBoard& MachineTest::Board(platform::PciLocation location, uint16_t deviceId)
{
    boards_.push_back(std::make_unique<TestBoard>(location, deviceId));
    return *boards_.back();
}

void MachineTest::Reboot()
{
    machine_.reset();
    Boot();
}

} // namespace machinetest
