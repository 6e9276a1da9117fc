// A machine for the module and COM tests: a drive root with the test modules copied into
// C:\Windows\System32 under Windows names, and the base registry hive.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>

#include "ModuleLog.h"
#include "um/windows.h"

inline constexpr const char kComTestServerPath[] = "C:\\Windows\\System32\\ComTestServer.dll";
inline constexpr const char16_t kComTestServerPathW[] = u"C:\\Windows\\System32\\ComTestServer.dll";
inline constexpr const char kQuietProbePath[] = "C:\\Windows\\System32\\ThreadProbeQuiet.dll";
inline constexpr const char kLoudProbePath[] = "C:\\Windows\\System32\\ThreadProbeLoud.dll";
inline constexpr const char kFailingProbePath[] = "C:\\Windows\\System32\\FailingProbe.dll";
inline constexpr const char kScriptedResourcesPath[] = "C:\\Windows\\System32\\ScriptedResources.dll";

class ComMachineTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The server's exports, from a module handle.
    template <typename Function> static Function Export(HMODULE module, const char* name)
    {
        return reinterpret_cast<Function>(GetProcAddress(module, name));
    }

    std::filesystem::path root;
};
