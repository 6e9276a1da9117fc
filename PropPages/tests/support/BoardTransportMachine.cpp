// The transport tests' machine.
#include "BoardTransportMachine.h"

#include <stdlib.h>

#include "um/cfgmgr32.h"

namespace fs = std::filesystem;

void BoardTransportTest::SetUp()
{
    std::string pattern = (fs::temp_directory_path() / "proppages-board-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder = pattern;
    const toolboot::BoardMachineOptions options; // the default board
    booted = toolboot::BootBoardMachine(folder / "machine", options);
    ASSERT_EQ(booted.status, STATUS_SUCCESS);
}

void BoardTransportTest::TearDown()
{
    for (HANDLE handle : handles_)
        CloseHandle(handle);
    handles_.clear();
    if (booted.machine) {
        const platform::UnloadReport report = booted.machine->Shutdown();
        EXPECT_EQ(report.leaks, 0u);
    }
    booted.machine.reset();
    booted.board.reset();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

HANDLE BoardTransportTest::OpenFilter(const GUID& category, const std::u16string& word, std::u16string* name)
{
    ULONG length = 0;
    if (CM_Get_Device_Interface_List_SizeW(&length, &category, nullptr,
                                           CM_GET_DEVICE_INTERFACE_LIST_PRESENT) != CR_SUCCESS)
        return INVALID_HANDLE_VALUE;
    std::vector<WCHAR> list(length + 1);
    if (CM_Get_Device_Interface_ListW(&category, nullptr, list.data(), static_cast<ULONG>(list.size()),
                                      CM_GET_DEVICE_INTERFACE_LIST_PRESENT) != CR_SUCCESS)
        return INVALID_HANDLE_VALUE;
    for (const WCHAR* path = list.data(); *path != 0; path += std::char_traits<char16_t>::length(path) + 1) {
        WCHAR friendly[256] = {};
        ULONG size = sizeof(friendly);
        DEVPROPTYPE type = 0;
        if (CM_Get_Device_Interface_PropertyW(path, &DEVPKEY_DeviceInterface_FriendlyName, &type,
                                              reinterpret_cast<PBYTE>(friendly), &size, 0) != CR_SUCCESS ||
            std::u16string(friendly).find(word) == std::u16string::npos)
            continue;
        HANDLE handle =
            CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            continue;
        handles_.push_back(handle);
        if (name)
            *name = friendly;
        return handle;
    }
    return INVALID_HANDLE_VALUE;
}
