// A machine for the page library's module tests: a drive root with the built library copied into
// C:\Windows\System32 under its Windows name, and the base registry hive, as on a fresh machine.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "um/windows.h"

inline constexpr const char kPageLibraryPath[] = "C:\\Windows\\System32\\Talvexon_x86.ax";

class PageLibraryMachineTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The library loaded (its DllMain run), and freed again at TearDown.
    HMODULE Library();
    template <typename Function> Function Export(const char* name)
    {
        return reinterpret_cast<Function>(GetProcAddress(Library(), name));
    }
    HRESULT RegisterServer() { return Export<HRESULT (*)()>("DllRegisterServer")(); }
    HRESULT UnregisterServer() { return Export<HRESULT (*)()>("DllUnregisterServer")(); }
    HRESULT CanUnloadNow() { return Export<HRESULT (*)()>("DllCanUnloadNow")(); }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out)
    {
        return Export<HRESULT (*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(clsid, iid, out);
    }

    std::filesystem::path root;

private:
    HMODULE library_ = nullptr;
};

// Registry reading under HKCR: whether a key exists, a string value ("" names the default), the
// names of a key's sub-keys.
bool ClassesKeyExists(const std::string& path);
bool ClassesValue(const std::string& path, const char* name, std::string* value);
std::vector<std::string> ClassesSubKeys(const std::string& path);
