// The machine the main job boots, with the driver file and the board's images installed, for the
// tests of a board's add, start, stop and removal as plug and play drives them. The driver's code
// runs only from its file; the tests look at the registry, the event log, the interfaces user mode
// finds and the board model.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "BoardMachine.h"
#include "board/CaptureBoard.h"
#include "km/kernel.h"
#include "platform/machine/Machine.h"
#include "shared/kscategories.h"
#include "standin/eventlog.h"
#include "standin/registry.h"
#include "testsupport/WaitUntil.h"
#include "um/cfgmgr32.h"

namespace lifecycletest {

inline constexpr char16_t kService[] = u"Talvexon";
inline constexpr char16_t kParameters[] =
    u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\Talvexon\\Parameters";
inline constexpr char kParametersKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Talvexon\\Parameters";
inline constexpr char16_t kControl[] = u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\";

class LifeCycleTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        folder_ = std::filesystem::temp_directory_path() / ("lifecycle-" + std::to_string(random()));
        options_.driverFiles = toolboot::DriverPackageFiles();
        // The start's fixed pauses (about two seconds) pass in one, while a DSP command's 4 s
        // time-out still leaves the board, interrupt and DPC threads two seconds of real time to
        // answer on a loaded machine.
        options_.speedFactor = 2.0;
    }
    void TearDown() override
    {
        if (HasFailure()) {
            // What the driver logged says why a start or a request failed.
            for (const auto& entry : standin::EventLogEntries()) {
                std::string line = "event 0x";
                char id[9];
                std::snprintf(id, sizeof id, "%08X", static_cast<unsigned>(entry.messageId));
                line += id;
                for (const auto& insert : entry.inserts) {
                    line += " \"";
                    for (char16_t c : insert)
                        line += c < 0x80 ? static_cast<char>(c) : '?';
                    line += '"';
                }
                std::printf("%s\n", line.c_str());
            }
        }
        if (machine_) {
            EXPECT_EQ(machine_->Shutdown().leaks, 0u);
        }
        machine_.reset();
        boards_.clear();
        std::filesystem::remove_all(folder_);
    }

    // Boots the machine; `parameters` are .reg lines imported into the driver's "Parameters".
    void Boot(const std::string& parameters = {})
    {
        machine_ = toolboot::OpenMachine(folder_, options_);
        if (!parameters.empty())
            Import(std::string("[") + kParametersKey + "]\r\n" + parameters);
        standin::EventLogClear();
    }
    static void Import(const std::string& lines)
    {
        standin::RegistryTextError error;
        ASSERT_TRUE(standin::ImportRegistryText("Windows Registry Editor Version 5.00\r\n\r\n" + lines + "\r\n", &error))
            << error.line << ": " << error.message;
    }
    NTSTATUS Load() { return machine_->LoadDriver(kService); }

    // A board that boots its DSP before the release doorbell's write returns, so that a start's
    // wait for the boot interrupt never waits for the board's thread.
    board::CaptureBoard& MakeBoard(uint32_t device = 0, board::BoardConfiguration configuration = {})
    {
        boards_.push_back(std::make_unique<board::CaptureBoard>(platform::PciLocation{1, device, 0}, configuration));
        boards_.back()->SetBootOnRelease(true);
        return *boards_.back();
    }

    // The board's driver key ("...\Control\Class\{class}\NNNN") and Enum key.
    std::u16string DriverKey(board::CaptureBoard& board) const
    {
        return std::u16string(kControl) + u"Control\\Class\\" + machine_->Device(board)->driverKeyName;
    }
    std::u16string EnumKey(board::CaptureBoard& board) const
    {
        return std::u16string(kControl) + u"Enum\\" + machine_->Device(board)->instancePath;
    }

    static std::vector<standin::EventLogEntry> Events(ULONG messageId)
    {
        std::vector<standin::EventLogEntry> found;
        for (const auto& entry : standin::EventLogEntries())
            if (entry.messageId == messageId)
                found.push_back(entry);
        return found;
    }
    static bool HasEvent(ULONG messageId, const std::u16string& firstInsert)
    {
        for (const auto& entry : Events(messageId))
            if (!entry.inserts.empty() && entry.inserts[0] == firstInsert)
                return true;
        return false;
    }

    // Every enabled interface of the class with its "FriendlyName".
    static std::vector<std::u16string> FriendlyNames(const GUID& category)
    {
        std::vector<std::u16string> names;
        ULONG length = 0;
        if (CM_Get_Device_Interface_List_SizeW(&length, &category, nullptr, CM_GET_DEVICE_INTERFACE_LIST_PRESENT) !=
            CR_SUCCESS)
            return names;
        std::vector<WCHAR> list(length + 1);
        if (CM_Get_Device_Interface_ListW(&category, nullptr, list.data(), static_cast<ULONG>(list.size()),
                                          CM_GET_DEVICE_INTERFACE_LIST_PRESENT) != CR_SUCCESS)
            return names;
        for (const WCHAR* path = list.data(); *path != 0; path += std::char_traits<char16_t>::length(path) + 1) {
            WCHAR name[256] = {};
            ULONG size = sizeof(name);
            DEVPROPTYPE type = 0;
            if (CM_Get_Device_Interface_PropertyW(path, &DEVPKEY_DeviceInterface_FriendlyName, &type,
                                                  reinterpret_cast<PBYTE>(name), &size, 0) == CR_SUCCESS)
                names.push_back(name);
            else
                names.push_back(u"(none)");
        }
        return names;
    }
    static bool Contains(const std::vector<std::u16string>& names, const std::u16string& name)
    {
        return std::find(names.begin(), names.end(), name) != names.end();
    }

    // The board's commands in order, the DSP memory blocks' (1 and 4) and copies (7) left out.
    static std::vector<board::MailboxCommand> CommandsWithoutStaging(board::CaptureBoard& board)
    {
        std::vector<board::MailboxCommand> commands;
        for (const auto& command : board.Mailbox().CommandLog())
            if (command.id != 1 && command.id != 4 && command.id != 7)
                commands.push_back(command);
        return commands;
    }
    static std::vector<uint32_t> Ids(const std::vector<board::MailboxCommand>& commands)
    {
        std::vector<uint32_t> ids;
        for (const auto& command : commands)
            ids.push_back(command.id);
        return ids;
    }

    std::filesystem::path folder_;
    platform::MachineOptions options_;
    // Declared before the machine: the boards outlive it.
    std::vector<std::unique_ptr<board::CaptureBoard>> boards_;
    std::unique_ptr<platform::Machine> machine_;
};

} // namespace lifecycletest
