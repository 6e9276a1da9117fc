// The registrar: the test server's scripts, and the script language's rules on the registry.
#include "ComTestMachine.h"
#include "ComTestServer.h"
#include "atl/statreg.h"
#include "standin/registry.h"

#include <cstring>
#include <optional>
#include <string>

namespace {

const std::u16string kClasses = u"\\Registry\\Machine\\SOFTWARE\\Classes\\";

std::optional<std::u16string> Text(const std::u16string& key, const std::u16string& value = u"")
{
    const auto data = standin::ReadRegistryValue(kClasses + key, value);
    if (!data || (data->type != REG_SZ && data->type != REG_EXPAND_SZ))
        return std::nullopt;
    std::u16string text(data->data.size() / 2, u'\0');
    std::memcpy(text.data(), data->data.data(), text.size() * 2);
    while (!text.empty() && text.back() == u'\0')
        text.pop_back();
    return text;
}

bool Exists(const std::u16string& key)
{
    return standin::RegistryKeyExists(kClasses + key);
}

class RegistrarTest : public ComMachineTest {
protected:
    HRESULT Call(const char* name)
    {
        HMODULE server = LoadLibraryA(kComTestServerPath);
        if (!server)
            return E_FAIL;
        const HRESULT result = Export<HRESULT (*)()>(server, name)();
        FreeLibrary(server);
        return result;
    }
    HRESULT Register(const char16_t* script, bool registering = true)
    {
        ATL::CRegObject registrar;
        registrar.AddReplacement(u"MODULE", u"C:\\Windows\\System32\\x.dll");
        return registering ? registrar.StringRegister(script) : registrar.StringUnregister(script);
    }
};

TEST_F(RegistrarTest, ServerRegistrationLeavesThePageLibrarysShape)
{
    ASSERT_EQ(Call("DllRegisterServer"), S_OK);
    const std::u16string both = kTestBothKey;
    EXPECT_EQ(Text(u"ComTestServer.TestBoth.1"), u"TestBoth Class");
    EXPECT_EQ(Text(u"ComTestServer.TestBoth.1\\CLSID"), u"{5A0E2C61-1B7D-4C3E-8F20-91A46B3D720E}");
    EXPECT_EQ(Text(u"ComTestServer.TestBoth"), u"TestBoth Class");
    EXPECT_EQ(Text(u"ComTestServer.TestBoth\\CLSID"), u"{5A0E2C61-1B7D-4C3E-8F20-91A46B3D720E}");
    EXPECT_EQ(Text(u"ComTestServer.TestBoth\\CurVer"), u"ComTestServer.TestBoth.1");
    EXPECT_EQ(Text(both), u"TestBoth Class");
    EXPECT_EQ(Text(both + u"\\ProgID"), u"ComTestServer.TestBoth.1");
    EXPECT_EQ(Text(both + u"\\VersionIndependentProgID"), u"ComTestServer.TestBoth");
    EXPECT_EQ(Text(both + u"\\InprocServer32"), u"C:\\Windows\\System32\\ComTestServer.dll");
    EXPECT_EQ(Text(both + u"\\InprocServer32", u"ThreadingModel"), u"Both");
    EXPECT_EQ(Text(both + u"\\TypeLib"), u"{7E4F10A2-66C1-4B9D-A305-C2184D9E2751}");
    EXPECT_EQ(Text(std::u16string(kTestApartmentKey) + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
    // The class registered by a script stored by name has no model.
    EXPECT_EQ(Text(std::u16string(kTestPlainKey) + u"\\InprocServer32"),
              u"C:\\Windows\\System32\\ComTestServer.dll");
    EXPECT_FALSE(
        standin::ReadRegistryValue(kClasses + kTestPlainKey + u"\\InprocServer32", u"ThreadingModel"));
    // And the type library.
    EXPECT_EQ(Text(std::u16string(kTestLibraryKey) + u"\\1.0"), u"ComTestServer 1.0 Type Library");

    ASSERT_EQ(Call("DllUnregisterServer"), S_OK);
    EXPECT_TRUE(Exists(u"CLSID"));
    EXPECT_FALSE(Exists(kTestBothKey));
    EXPECT_FALSE(Exists(kTestApartmentKey));
    EXPECT_FALSE(Exists(kTestPlainKey));
    EXPECT_FALSE(Exists(u"ComTestServer.TestBoth.1"));
    EXPECT_FALSE(Exists(u"ComTestServer.TestBoth"));
    EXPECT_FALSE(Exists(u"ComTestServer.TestPlain"));
    EXPECT_FALSE(Exists(kTestLibraryKey));
    // What was under Classes before is all still there: CLSID holds what the base hive put in it.
    std::string exported;
    ASSERT_TRUE(standin::ExportRegistryText(u"\\Registry\\Machine\\SOFTWARE\\Classes", &exported));
    EXPECT_EQ(exported.find("ComTestServer"), std::string::npos);
    EXPECT_EQ(exported.find("5A0E2C6"), std::string::npos);
}

TEST_F(RegistrarTest, ModuleIsThePathGivenToLoadLibrary)
{
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\Windows"));
    HMODULE server = LoadLibraryA("system32\\comtestserver.DLL");
    ASSERT_NE(server, nullptr);
    ASSERT_EQ(Export<HRESULT (*)()>(server, "DllRegisterServer")(), S_OK);
    EXPECT_EQ(Text(std::u16string(kTestBothKey) + u"\\InprocServer32"),
              u"C:\\Windows\\system32\\comtestserver.DLL");
    ASSERT_EQ(Export<HRESULT (*)()>(server, "DllUnregisterServer")(), S_OK);
    FreeLibrary(server);
}

TEST_F(RegistrarTest, ForceRemoveReplacesAnExistingSubtree)
{
    ASSERT_EQ(Register(u"HKCR { ForceRemove Tree = s 'old' { Stale { Deeper = s 'x' } val Old = d 1 } }"),
              S_OK);
    ASSERT_TRUE(Exists(u"Tree\\Stale\\Deeper"));
    ASSERT_EQ(Register(u"HKCR { ForceRemove Tree = s 'new' { Fresh = s 'y' } }"), S_OK);
    EXPECT_EQ(Text(u"Tree"), u"new");
    EXPECT_EQ(Text(u"Tree\\Fresh"), u"y");
    EXPECT_FALSE(Exists(u"Tree\\Stale"));
    EXPECT_FALSE(standin::ReadRegistryValue(kClasses + u"Tree", u"Old"));
    // Without ForceRemove the old contents stay beside the new.
    ASSERT_EQ(Register(u"HKCR { Tree { Other = s 'z' } }"), S_OK);
    EXPECT_TRUE(Exists(u"Tree\\Fresh"));
    EXPECT_TRUE(Exists(u"Tree\\Other"));
}

TEST_F(RegistrarTest, AScriptWithAFaultWritesNothing)
{
    const char16_t* faulty[] = {
        u"HKCR { First = s 'a' } HKCR { Second = s 'b' ",  // no closing brace
        u"HKCR { First = s 'a' } HKCU { Second = s 'b' }", // a root that is not served
        u"HKCR { First = s 'a' { val V = q 'x' } }",       // an unknown type
        u"HKCR { First = s 'unterminated }",               // a quote that does not end
        u"HKCR { First = d '12x' }",                       // not a number
        u"HKCR { First = d '0x100000000' }",               // beyond 32 bits
        u"HKCR { First = b '123' }",                       // half a byte
        u"HKCR { First = s '%UNKNOWN%' }",                 // no such replacement
        u"HKCR { First = s 'a' } }",                       // a stray brace
        u"HKCR { ForceRemove ForceRemove First }",         // a flag twice
        u"HKCR { val }",                                   // a value without its name
        u"HKCR { First = s }",                             // a value without data
    };
    for (const char16_t* script : faulty) {
        EXPECT_EQ(Register(script), DISP_E_EXCEPTION);
        EXPECT_FALSE(Exists(u"First"));
        EXPECT_FALSE(Exists(u"Second"));
    }
}

TEST_F(RegistrarTest, ValuesQuotingAndReplacements)
{
    ASSERT_EQ(Register(u"HKLM { NoRemove SOFTWARE { Probe = s 'it''s %MODULE%' { val Count = d '0x1F' "
                       u"val Decimal = d 42 val Bytes = b '00FF7a' 'key with spaces' = s '' "
                       u"val 'Percent' = s '100%%' } } }"),
              S_OK);
    const std::u16string probe = u"\\Registry\\Machine\\SOFTWARE\\Probe";
    const auto text = standin::ReadRegistryValue(probe, u"");
    ASSERT_TRUE(text);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(text->data.data()), text->data.size() / 2 - 1),
              u"it's C:\\Windows\\System32\\x.dll");
    EXPECT_EQ(standin::ReadRegistryDword(probe, u"Count"), 31u);
    EXPECT_EQ(standin::ReadRegistryDword(probe, u"Decimal"), 42u);
    const auto bytes = standin::ReadRegistryValue(probe, u"Bytes");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->type, ULONG(REG_BINARY));
    EXPECT_EQ(bytes->data, (std::vector<UCHAR>{0x00, 0xFF, 0x7A}));
    EXPECT_TRUE(standin::RegistryKeyExists(probe + u"\\key with spaces"));
    const auto percent = standin::ReadRegistryValue(probe, u"Percent");
    ASSERT_TRUE(percent);
    EXPECT_EQ(percent->data.size(), 10u); // "100%" and its zero

    // A replacement that holds a quote does not change the script's structure.
    ATL::CRegObject registrar;
    registrar.AddReplacement(u"module", u"C:\\Bob's\\x.dll");
    ASSERT_EQ(registrar.StringRegister(u"HKCR { Quoted = s '%Module%' }"), S_OK);
    EXPECT_EQ(Text(u"Quoted"), u"C:\\Bob's\\x.dll");
}

TEST_F(RegistrarTest, UnregisteringKeepsNoRemoveKeysAndKeysOthersShare)
{
    const char16_t* script = u"HKCR { NoRemove Shared { Mine = s 'm' { Leaf = s 'l' } val Listed = s 'v' } "
                             u"Plain { Child = s 'c' } ForceRemove Whole { Part = s 'p' } }";
    ASSERT_EQ(Register(script), S_OK);
    // Others' keys and values beside the script's.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"Plain\\Foreign", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"Whole\\Foreign", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);

    ASSERT_EQ(Register(script, false), S_OK);
    EXPECT_TRUE(Exists(u"Shared"));
    EXPECT_FALSE(Exists(u"Shared\\Mine"));
    EXPECT_FALSE(standin::ReadRegistryValue(kClasses + u"Shared", u"Listed"));
    // A plain key that still holds a foreign sub-key stays, without the script's child.
    EXPECT_TRUE(Exists(u"Plain\\Foreign"));
    EXPECT_FALSE(Exists(u"Plain\\Child"));
    // A ForceRemove key goes whole.
    EXPECT_FALSE(Exists(u"Whole"));
    // Unregistering again finds nothing to remove and is no fault.
    EXPECT_EQ(Register(script, false), S_OK);
}

TEST_F(RegistrarTest, DeleteRemovesAKeyWhenRegistering)
{
    ASSERT_EQ(Register(u"HKCR { Old { Inner = s 'x' } }"), S_OK);
    ASSERT_EQ(Register(u"HKCR { Delete Old New = s 'n' }"), S_OK);
    EXPECT_FALSE(Exists(u"Old"));
    EXPECT_TRUE(Exists(u"New"));
    ASSERT_EQ(Register(u"HKCR { Delete Missing }"), S_OK);
}

TEST_F(RegistrarTest, ScriptsFromResourcesByIdAndName)
{
    HMODULE probe = LoadLibraryA(kLoudProbePath);
    ASSERT_NE(probe, nullptr);
    ATL::CRegObject registrar;
    const char16_t path[] = u"C:\\Windows\\System32\\ThreadProbeLoud.dll";
    ASSERT_EQ(registrar.ResourceRegister(path, 101, u"REGISTRY"), S_OK);
    EXPECT_EQ(Text(u"ProbeKey"), u"from the probe");
    ASSERT_EQ(registrar.ResourceUnregister(path, 101, u"REGISTRY"), S_OK);
    EXPECT_FALSE(Exists(u"ProbeKey"));
    EXPECT_EQ(registrar.ResourceRegister(path, 999, u"REGISTRY"),
              HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(registrar.ResourceRegisterSz(path, u"IDR_NAMED", u"TEXT"), DISP_E_EXCEPTION);
    EXPECT_TRUE(FreeLibrary(probe));
    // A module not loaded is loaded for the call.
    ModuleLogTake();
    ASSERT_EQ(registrar.ResourceRegister(path, 101, u"REGISTRY"), S_OK);
    const auto events = ModuleLogTake();
    EXPECT_EQ(ModuleLogCount(events, "ThreadProbeLoud", "process-attach"), 1u);
    EXPECT_EQ(ModuleLogCount(events, "ThreadProbeLoud", "process-detach"), 1u);
    EXPECT_EQ(registrar.ResourceRegister(u"C:\\Missing.dll", 101, u"REGISTRY"),
              HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
}

} // namespace
