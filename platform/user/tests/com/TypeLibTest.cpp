// Type libraries: the IDL text of a module's "TYPELIB" resource, its attributes and documentation,
// and its registration.
#include "ComTestMachine.h"
#include "ComTestServer.h"
#include "standin/registry.h"
#include "typelib/TypeLibText.h"

#include <string>

namespace {

const std::u16string kClasses = u"\\Registry\\Machine\\SOFTWARE\\Classes\\";

std::u16string Take(BSTR text)
{
    std::u16string copy = text ? std::u16string(text, SysStringLen(text)) : u"(null)";
    SysFreeString(text);
    return copy;
}

std::u16string DefaultText(const std::u16string& key)
{
    const auto data = standin::ReadRegistryValue(kClasses + key, u"");
    if (!data)
        return u"(missing)";
    return std::u16string(reinterpret_cast<const char16_t*>(data->data.data()), data->data.size() / 2 - 1);
}

class TypeLibTest : public ComMachineTest {
protected:
    void SetUp() override
    {
        ComMachineTest::SetUp();
        server = LoadLibraryA(kComTestServerPath);
        ASSERT_NE(server, nullptr);
    }
    void TearDown() override
    {
        FreeLibrary(server);
        ComMachineTest::TearDown();
    }
    HMODULE server = nullptr;
};

TEST_F(TypeLibTest, AttributesAndDocumentationOfTheServersLibrary)
{
    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadTypeLib(kComTestServerPathW, &library), S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, LIBID_ComTestServerLib);
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->lcid, 0u);
    EXPECT_EQ(attributes->syskind, SYS_WIN32);
    EXPECT_EQ(attributes->wLibFlags, 0);
    library->ReleaseTLibAttr(attributes);

    EXPECT_EQ(library->GetTypeInfoCount(), 3u);
    BSTR name = nullptr;
    BSTR help = nullptr;
    DWORD context = 7;
    BSTR file = reinterpret_cast<BSTR>(1);
    ASSERT_EQ(library->GetDocumentation(-1, &name, &help, &context, &file), S_OK);
    EXPECT_EQ(Take(name), u"COMTESTSERVERLib");
    EXPECT_EQ(Take(help), u"ComTestServer 1.0 Type Library");
    EXPECT_EQ(context, 0u);
    EXPECT_EQ(file, nullptr);
    ASSERT_EQ(library->GetDocumentation(2, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_EQ(Take(name), u"TestPlain");
    EXPECT_EQ(Take(help), u"TestPlain Class");
    EXPECT_EQ(library->GetDocumentation(3, &name, nullptr, nullptr, nullptr), TYPE_E_ELEMENTNOTFOUND);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(library->GetTypeInfo(0, &info), TYPE_E_ELEMENTNOTFOUND);
    ITypeLib* again = nullptr;
    ASSERT_EQ(library->QueryInterface(IID_ITypeLib, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again->Release(), 1u);
    EXPECT_EQ(library->Release(), 0u);
}

TEST_F(TypeLibTest, RegisterAndUnregister)
{
    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadTypeLibEx(kComTestServerPathW, REGKIND_NONE, &library), S_OK);
    EXPECT_FALSE(standin::RegistryKeyExists(kClasses + kTestLibraryKey));
    ASSERT_EQ(RegisterTypeLib(library, kComTestServerPathW, nullptr), S_OK);
    const std::u16string version = std::u16string(kTestLibraryKey) + u"\\1.0";
    EXPECT_EQ(DefaultText(version), u"ComTestServer 1.0 Type Library");
    EXPECT_EQ(DefaultText(version + u"\\0\\win32"), u"C:\\Windows\\System32\\ComTestServer.dll");
    EXPECT_EQ(DefaultText(version + u"\\FLAGS"), u"0");
    EXPECT_EQ(DefaultText(version + u"\\HELPDIR"), u"C:\\Windows\\System32");
    library->Release();

    EXPECT_EQ(UnRegisterTypeLib(LIBID_ComTestServerLib, 1, 0, 0, SYS_WIN32), S_OK);
    EXPECT_FALSE(standin::RegistryKeyExists(kClasses + kTestLibraryKey));
    EXPECT_TRUE(standin::RegistryKeyExists(u"\\Registry\\Machine\\SOFTWARE\\Classes"));
    EXPECT_EQ(UnRegisterTypeLib(LIBID_ComTestServerLib, 1, 0, 0, SYS_WIN32), TYPE_E_REGISTRYACCESS);

    // REGKIND_REGISTER registers as it loads; another version keeps the LIBID's key.
    ASSERT_EQ(LoadTypeLibEx(kComTestServerPathW, REGKIND_REGISTER, &library), S_OK);
    library->Release();
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, (std::u16string(kTestLibraryKey) + u"\\2.0").c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(UnRegisterTypeLib(LIBID_ComTestServerLib, 1, 0, 0, SYS_WIN32), S_OK);
    EXPECT_FALSE(standin::RegistryKeyExists(kClasses + version));
    EXPECT_TRUE(standin::RegistryKeyExists(kClasses + kTestLibraryKey + u"\\2.0"));
}

TEST_F(TypeLibTest, ModulesWithoutALibrary)
{
    ITypeLib* library = reinterpret_cast<ITypeLib*>(1);
    EXPECT_EQ(LoadTypeLib(u"C:\\Windows\\System32\\Missing.dll", &library), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(library, nullptr);
    EXPECT_EQ(LoadTypeLib(u"C:\\Windows\\System32\\ThreadProbeLoud.dll", &library), TYPE_E_CANTLOADLIBRARY);
    // "path\N" names resource N: the server has only 1.
    EXPECT_EQ(LoadTypeLib(u"C:\\Windows\\System32\\ComTestServer.dll\\2", &library), TYPE_E_CANTLOADLIBRARY);
    ASSERT_EQ(LoadTypeLib(u"C:\\Windows\\System32\\ComTestServer.dll\\1", &library), S_OK);
    library->Release();
    EXPECT_EQ(LoadTypeLibEx(kComTestServerPathW, static_cast<REGKIND>(7), &library), E_INVALIDARG);
}

TEST(TypeLibTextTest, TheLibrarysTextAndItsFaults)
{
    user::TypeLibDescription library;
    std::string error;
    ASSERT_TRUE(user::ParseTypeLibText(
        u"/* header */ import \"oaidl.idl\";\n"
        u"[ uuid(6B22BB19-4035-49AB-95BF-754DB7DB0E6F), version(2.10), lcid(0x409),\n"
        u"  helpstring(\"Pages \\\"1\\\"\"), hidden, custom(ABC, \"x\") ]\n"
        u"library KPLXPROPERTYPAGESLib { importlib(\"stdole2.tlb\"); importlib(\"x.tlb\");\n"
        u"  [uuid(93038A6B-8A46-430f-9A59-3433CA68DBE9)] coclass A { interface IUnknown; };\n"
        u"  coclass B { }\n"
        u"}",
        &library, &error))
        << error;
    EXPECT_EQ(library.name, u"KPLXPROPERTYPAGESLib");
    EXPECT_EQ(library.majorVersion, 2);
    EXPECT_EQ(library.minorVersion, 10);
    EXPECT_EQ(library.lcid, 0x409u);
    EXPECT_EQ(library.flags, LIBFLAG_FHIDDEN);
    EXPECT_EQ(library.helpString, u"Pages \"1\"");
    ASSERT_EQ(library.imports.size(), 2u);
    EXPECT_EQ(library.imports[1], u"x.tlb");
    ASSERT_EQ(library.coclasses.size(), 2u);
    EXPECT_EQ(library.coclasses[0].uuid.Data1, 0x93038A6Bu);
    EXPECT_EQ(library.coclasses[1].name, u"B");

    const char16_t* faulty[] = {
        u"library L { };",                  // no uuid
        u"[uuid(nonsense)] library L { };", // a bad uuid
        u"[uuid(6B22BB19-4035-49AB-95BF-754DB7DB0E6F), version(1.x)] library L {}",
        u"[uuid(6B22BB19-4035-49AB-95BF-754DB7DB0E6F), version(70000.0)] library L {}",
        u"[uuid(6B22BB19-4035-49AB-95BF-754DB7DB0E6F)] library L { interface I { }; };",
        u"[uuid(6B22BB19-4035-49AB-95BF-754DB7DB0E6F)] library L { coclass { }; };",
        u"[uuid(6B22BB19-4035-49AB-95BF-754DB7DB0E6F)] library L { importlib(stdole2); };",
        u"[uuid(6B22BB19-4035-49AB-95BF-754DB7DB0E6F)] library L { ",
        u"[uuid(6B22BB19-4035-49AB-95BF-754DB7DB0E6F)] library L { } extra",
        u"[uuid(6B22BB19-4035-49AB-95BF-754DB7DB0E6F), helpstring(\"open] library L { }",
        u"[uuid(6B22BB19-4035-49AB-95BF-754DB7DB0E6F)] library L { } /* open",
        u"[uuid(6B22BB19-4035-49AB-95BF-754DB7DB0E6F)] library L { # }",
    };
    for (const char16_t* text : faulty) {
        error.clear();
        EXPECT_FALSE(user::ParseTypeLibText(text, &library, &error));
        EXPECT_NE(error.find("line "), std::string::npos);
    }
}

} // namespace
