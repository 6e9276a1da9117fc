// Helpers shared by the RegistryKey tests: a fixture that starts from a registry holding a board's
// class key and the driver's service key, physical device objects that delete themselves, and
// short forms for reading what a RegistryKey left behind.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kernel/countedunicodestring.h"
#include "kernel/registrykey.h"
#include "km/iodevice.h"
#include "km/pool.h"
#include "km/registry.h"
#include "km/status.h"
#include "standin/devices.h"
#include "standin/pool.h"
#include "standin/registry.h"

namespace registrykeytest {

inline const ULONG kTag = standin::MakePoolTag("Wdm ");

inline constexpr char16_t kControl[] = u"\\Registry\\Machine\\System\\CurrentControlSet\\Control";
inline constexpr char16_t kServices[] = u"\\Registry\\Machine\\System\\CurrentControlSet\\Services";
inline constexpr char16_t kBoardDriverKey[] = u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0003";
inline constexpr char16_t kBoardKey[] = u"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\{"
                                        u"4d36e96c-e325-11ce-bfc1-08002be10318}\\0003";

inline void Import(std::string_view text)
{
    standin::RegistryTextError error;
    ASSERT_TRUE(standin::ImportRegistryText(text, &error)) << "line " << error.line << ": " << error.message;
}

// Every test starts with the board's class key (holding "InstanceId" 2) and the service key of the
// driver, and ends with an empty registry.
class RegistryKeyTest : public testing::Test {
protected:
    void SetUp() override
    {
        standin::ResetRegistry();
        Import("Windows Registry Editor Version 5.00\n\n"
               "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class\\"
               "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0003]\n"
               "\"InstanceId\"=dword:00000002\n\n"
               "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Quillmar\\Parameters]\n");
    }
    void TearDown() override { standin::ResetRegistry(); }
};

// A physical device object as the PCI bus reports it, deleted with its owner.
struct DeleteDevice {
    void operator()(DEVICE_OBJECT* device) const { standin::DeletePhysicalDeviceObject(device); }
};
using PhysicalDevice = std::unique_ptr<DEVICE_OBJECT, DeleteDevice>;

inline PhysicalDevice MakeBoard(std::u16string driverKeyName)
{
    standin::PhysicalDeviceProperties properties;
    properties.deviceDescription = u"Multimedia Video Controller";
    properties.classGuid = u"{4d36e96c-e325-11ce-bfc1-08002be10318}";
    properties.driverKeyName = std::move(driverKeyName);
    return PhysicalDevice(standin::CreatePhysicalDeviceObject(properties));
}

// A key object the driver allocated, deleted with its owner.
using KeyObject = std::unique_ptr<RegistryKey>;

inline std::u16string Text(const CountedUnicodeString& s)
{
    return s.Buffer() ? std::u16string(s.Buffer(), s.Length() / sizeof(WCHAR)) : std::u16string();
}

inline std::u16string FullPath(const RegistryKey& key)
{
    UnicodeText path;
    EXPECT_EQ(key.GetFullPath(&path), STATUS_SUCCESS);
    return Text(path);
}

inline std::u16string PathTail(const RegistryKey& key, ULONG count)
{
    UnicodeText tail;
    EXPECT_EQ(key.GetPathTail(&tail, count), STATUS_SUCCESS);
    return Text(tail);
}

inline std::vector<UCHAR> Bytes(std::initializer_list<int> values)
{
    std::vector<UCHAR> bytes;
    for (int v : values)
        bytes.push_back(static_cast<UCHAR>(v));
    return bytes;
}

inline uint64_t OutstandingBlocks()
{
    return standin::PoolUsageByTag(kTag).outstandingBlocks;
}

} // namespace registrykeytest
