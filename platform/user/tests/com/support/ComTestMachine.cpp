// The test machine of the module and COM tests.
#include "ComTestMachine.h"

#include <stdlib.h>

#include "standin/drives.h"
#include "standin/registry.h"
#include "standin/userprocess.h"

namespace fs = std::filesystem;

void ComMachineTest::SetUp()
{
    std::string pattern = (fs::temp_directory_path() / "user-com-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
    const fs::path system32 = root / "C" / "Windows" / "System32";
    fs::create_directories(system32);
    fs::copy_file(COM_TEST_SERVER_FILE, system32 / "ComTestServer.dll");
    fs::copy_file(THREAD_PROBE_QUIET_FILE, system32 / "ThreadProbeQuiet.dll");
    fs::copy_file(THREAD_PROBE_LOUD_FILE, system32 / "ThreadProbeLoud.dll");
    fs::copy_file(FAILING_PROBE_FILE, system32 / "FailingProbe.dll");
    fs::copy_file(SCRIPTED_RESOURCES_FILE, system32 / "ScriptedResources.dll");
    standin::SetMachineRoot(root.string());
    standin::ResetRegistry();
    standin::RegistryTextError error;
    ASSERT_TRUE(standin::ImportRegistryFile(USER_TESTS_DEFAULT_HIVE, &error)) << error.message;
    ModuleLogTake();
}

void ComMachineTest::TearDown()
{
    standin::ResetRegistry();
    standin::ResetCurrentDirectory();
    standin::SetMachineRoot("");
    std::error_code ignored;
    fs::remove_all(root, ignored);
}
