// Modules: loading by Win32 path, load counts, DllMain's process and thread notices, exports and
// names.
#include "ComTestMachine.h"
#include "standin/verifier.h"

#include <string>

namespace {

using ModuleTest = ComMachineTest;

TEST_F(ModuleTest, LoadCountsAttachOnceAndDetachAtTheLastFree)
{
    HMODULE first = LoadLibraryA(kLoudProbePath);
    ASSERT_NE(first, nullptr);
    // The same file by another spelling of its path is the same module.
    HMODULE second = LoadLibraryA("c:\\WINDOWS\\system32\\.\\ThreadProbeLoud.dll");
    EXPECT_EQ(second, first);
    EXPECT_EQ(GetModuleHandleA("ThreadProbeLoud.dll"), first);
    EXPECT_EQ(GetModuleHandleA("threadprobeloud"), first);
    EXPECT_EQ(GetModuleHandleA(kLoudProbePath), first);
    EXPECT_EQ(GetModuleHandleW(u"THREADPROBELOUD.DLL"), first);
    HMODULE wide = LoadLibraryW(u"C:\\Windows\\System32\\ThreadProbeLoud.dll");
    EXPECT_EQ(wide, first);
    EXPECT_TRUE(FreeLibrary(wide));
    auto events = ModuleLogTake();
    EXPECT_EQ(ModuleLogCount(events, "ThreadProbeLoud", "process-attach"), 1u);

    ASSERT_TRUE(FreeLibrary(first));
    EXPECT_EQ(ModuleLogCount(ModuleLogTake(), "ThreadProbeLoud", "process-detach"), 0u);
    EXPECT_EQ(GetModuleHandleA("ThreadProbeLoud.dll"), first);
    ASSERT_TRUE(FreeLibrary(second));
    EXPECT_EQ(ModuleLogCount(ModuleLogTake(), "ThreadProbeLoud", "process-detach"), 1u);
    EXPECT_EQ(GetModuleHandleA("ThreadProbeLoud.dll"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
    // The handle names nothing now.
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(ModuleTest, FailuresToLoad)
{
    EXPECT_EQ(LoadLibraryA("C:\\Windows\\System32\\Missing.dll"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(LoadLibraryA("D:\\Nowhere\\x.dll"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));

    // A file that is not a module.
    HANDLE file = CreateFileA("C:\\Windows\\System32\\Text.dll", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "not a module", 12, &written, nullptr));
    CloseHandle(file);
    EXPECT_EQ(LoadLibraryA("C:\\Windows\\System32\\Text.dll"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT));

    // FALSE from the attach unloads the module at once, without a detach.
    EXPECT_EQ(LoadLibraryA(kFailingProbePath), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DLL_INIT_FAILED));
    const auto events = ModuleLogTake();
    EXPECT_EQ(ModuleLogCount(events, "FailingProbe", "process-attach"), 1u);
    EXPECT_EQ(ModuleLogCount(events, "FailingProbe", "process-detach"), 0u);
    EXPECT_EQ(GetModuleHandleA("FailingProbe.dll"), nullptr);
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(ModuleTest, RelativeNamesAreMadeWholeAgainstTheCurrentDirectory)
{
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\Windows"));
    HMODULE module = LoadLibraryA("System32\\ThreadProbeLoud.dll");
    ASSERT_NE(module, nullptr);
    char path[MAX_PATH] = {};
    EXPECT_EQ(GetModuleFileNameA(module, path, MAX_PATH), 39u);
    EXPECT_STREQ(path, "C:\\Windows\\System32\\ThreadProbeLoud.dll");
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(ModuleTest, FileNameIsThePathLoadedByAndIsCutToTheBuffer)
{
    HMODULE module = LoadLibraryA(kComTestServerPath);
    ASSERT_NE(module, nullptr);
    WCHAR wide[MAX_PATH] = {};
    EXPECT_EQ(GetModuleFileNameW(module, wide, MAX_PATH), 37u);
    EXPECT_EQ(std::u16string(wide), std::u16string(kComTestServerPathW));

    char small[8];
    std::fill(std::begin(small), std::end(small), 'x');
    EXPECT_EQ(GetModuleFileNameA(module, small, 8), 8u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_STREQ(small, "C:\\Wind");
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleFileNameA(module, small, 8), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));

    // The process's own module.
    HMODULE process = GetModuleHandleA(nullptr);
    ASSERT_NE(process, nullptr);
    char self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(process, self, MAX_PATH), 3u);
    EXPECT_EQ(std::string(self).rfind("C:\\", 0), 0u);
}

TEST_F(ModuleTest, ExportsByName)
{
    HMODULE module = LoadLibraryA(kLoudProbePath);
    ASSERT_NE(module, nullptr);
    auto answer = Export<int (*)()>(module, "ProbeAnswer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(GetProcAddress(module, "NoSuchExport"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetProcAddress(module, "ProbeAnswer"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

DWORD WINAPI Nothing(LPVOID)
{
    return 0;
}

void RunThread()
{
    HANDLE thread = CreateThread(nullptr, 0, Nothing, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    CloseHandle(thread);
}

TEST_F(ModuleTest, ThreadNoticesGoToModulesThatKeepThem)
{
    HMODULE quiet = LoadLibraryA(kQuietProbePath);
    HMODULE loud = LoadLibraryA(kLoudProbePath);
    ASSERT_NE(quiet, nullptr);
    ASSERT_NE(loud, nullptr);
    ModuleLogTake();

    RunThread();
    RunThread();
    std::vector<ModuleEvent> events = ModuleLogTake();
    EXPECT_EQ(ModuleLogCount(events, "ThreadProbeLoud", "thread-attach"), 2u);
    EXPECT_EQ(ModuleLogCount(events, "ThreadProbeLoud", "thread-detach"), 2u);
    EXPECT_EQ(ModuleLogCount(events, "ThreadProbeQuiet", "thread-attach"), 0u);
    EXPECT_EQ(ModuleLogCount(events, "ThreadProbeQuiet", "thread-detach"), 0u);
    // Each notice runs on the new thread itself, attach before detach.
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].event, "thread-attach");
    EXPECT_EQ(events[1].event, "thread-detach");
    EXPECT_EQ(events[0].thread, events[1].thread);
    EXPECT_NE(events[0].thread, GetCurrentThreadId());

    RunThread();
    const auto third = ModuleLogTake();
    events.insert(events.end(), third.begin(), third.end());
    EXPECT_EQ(ModuleLogCount(events, "ThreadProbeLoud", "thread-attach"), 3u);
    EXPECT_EQ(ModuleLogCount(events, "ThreadProbeQuiet", "thread-attach"), 0u);

    EXPECT_TRUE(FreeLibrary(loud));
    EXPECT_TRUE(FreeLibrary(quiet));
    // A module freed hears of no later thread.
    ModuleLogTake();
    RunThread();
    EXPECT_TRUE(ModuleLogTake().empty());
    EXPECT_FALSE(DisableThreadLibraryCalls(loud));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

DWORD WINAPI EndsByExitThread(LPVOID)
{
    ExitThread(7);
    return 0;
}

TEST_F(ModuleTest, ThreadDetachAlsoWhenTheThreadEndsByExitThread)
{
    HMODULE loud = LoadLibraryA(kLoudProbePath);
    ASSERT_NE(loud, nullptr);
    ModuleLogTake();
    HANDLE thread = CreateThread(nullptr, 0, EndsByExitThread, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    CloseHandle(thread);
    const auto events = ModuleLogTake();
    EXPECT_EQ(ModuleLogCount(events, "ThreadProbeLoud", "thread-attach"), 1u);
    EXPECT_EQ(ModuleLogCount(events, "ThreadProbeLoud", "thread-detach"), 1u);
    EXPECT_TRUE(FreeLibrary(loud));
}

DWORD WINAPI WaitsUntilEnded(LPVOID event)
{
    WaitForSingleObject(event, INFINITE);
    return 0;
}

TEST_F(ModuleTest, AThreadEndedByTerminateThreadDetachesAsItUnwinds)
{
    HMODULE loud = LoadLibraryA(kLoudProbePath);
    ASSERT_NE(loud, nullptr);
    ModuleLogTake();
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, WaitsUntilEnded, never, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(TerminateThread(thread, 3));
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 3u);
    CloseHandle(thread);
    CloseHandle(never);
    const auto events = ModuleLogTake();
    EXPECT_EQ(ModuleLogCount(events, "ThreadProbeLoud", "thread-attach"), 1u);
    EXPECT_EQ(ModuleLogCount(events, "ThreadProbeLoud", "thread-detach"), 1u);
    const auto breaches = standin::VerifierTakeViolations();
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_EQ(breaches[0].rule, "terminate-thread");
    EXPECT_TRUE(FreeLibrary(loud));
}

TEST_F(ModuleTest, AModuleLeftLoadedIsALeak)
{
    HMODULE module = LoadLibraryA(kLoudProbePath);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(standin::VerifierCheckLeaks(), 1u);
    const auto breaches = standin::VerifierTakeViolations();
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_NE(breaches[0].detail.find("modules: C:\\Windows\\System32\\ThreadProbeLoud.dll still loaded"),
              std::string::npos);
    EXPECT_TRUE(FreeLibrary(module));
}

} // namespace
