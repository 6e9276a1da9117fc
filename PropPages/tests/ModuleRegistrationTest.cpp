// Registration of the page library on a fresh machine: the fifteen classes' keys, ProgIDs and
// threading models, the type library, and unregistration leaving none of them behind.
#include "support/PageClassTable.h"
#include "support/PageLibraryMachine.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace {

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

std::set<std::string> UpperSet(const std::vector<std::string>& names)
{
    std::set<std::string> set;
    for (const std::string& name : names)
        set.insert(Upper(name));
    return set;
}

std::string ClassKey(const ExpectedPageClass& page)
{
    return std::string("CLSID\\") + page.clsid;
}

class ModuleRegistrationTest : public PageLibraryMachineTest {};

TEST_F(ModuleRegistrationTest, RegisteringAddsExactlyTheFifteenClassesWithTheirServerAndThreadingModels)
{
    const std::set<std::string> before = UpperSet(ClassesSubKeys("CLSID"));
    ASSERT_EQ(RegisterServer(), S_OK);
    const std::set<std::string> after = UpperSet(ClassesSubKeys("CLSID"));

    std::set<std::string> added;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                        std::inserter(added, added.end()));
    std::set<std::string> expected;
    for (const ExpectedPageClass& page : kPageClasses)
        expected.insert(Upper(page.clsid));
    EXPECT_EQ(added, expected);

    for (const ExpectedPageClass& page : kPageClasses) {
        SCOPED_TRACE(page.description);
        std::string value;
        ASSERT_TRUE(ClassesValue(ClassKey(page), "", &value));
        EXPECT_EQ(value, page.description);
        ASSERT_TRUE(ClassesValue(ClassKey(page) + "\\InprocServer32", "", &value));
        EXPECT_EQ(value, kPageLibraryPath);
        if (page.threadingModel) {
            ASSERT_TRUE(ClassesValue(ClassKey(page) + "\\InprocServer32", "ThreadingModel", &value));
            EXPECT_EQ(value, page.threadingModel);
        } else {
            EXPECT_FALSE(ClassesValue(ClassKey(page) + "\\InprocServer32", "ThreadingModel", &value));
        }
        ASSERT_TRUE(ClassesValue(ClassKey(page) + "\\ProgID", "", &value));
        EXPECT_EQ(value, page.versionedProgId);
        ASSERT_TRUE(ClassesValue(ClassKey(page) + "\\VersionIndependentProgID", "", &value));
        EXPECT_EQ(value, page.progId);
        ASSERT_TRUE(ClassesValue(ClassKey(page) + "\\TypeLib", "", &value));
        EXPECT_EQ(value, kLibraryId);
    }
}

TEST_F(ModuleRegistrationTest, ProgIdsAreCutToTheirLengthsAndNameTheirClass)
{
    ASSERT_EQ(RegisterServer(), S_OK);
    for (const ExpectedPageClass& page : kPageClasses) {
        SCOPED_TRACE(page.description);
        EXPECT_LE(std::string(page.versionedProgId).size(), 39u);
        EXPECT_LE(std::string(page.progId).size(), 39u);
        std::string value;
        ASSERT_TRUE(ClassesValue(page.versionedProgId, "", &value));
        EXPECT_EQ(value, page.description);
        ASSERT_TRUE(ClassesValue(std::string(page.versionedProgId) + "\\CLSID", "", &value));
        EXPECT_EQ(Upper(value), Upper(page.clsid));
        ASSERT_TRUE(ClassesValue(page.progId, "", &value));
        EXPECT_EQ(value, page.description);
        ASSERT_TRUE(ClassesValue(std::string(page.progId) + "\\CLSID", "", &value));
        EXPECT_EQ(Upper(value), Upper(page.clsid));
        ASSERT_TRUE(ClassesValue(std::string(page.progId) + "\\CurVer", "", &value));
        EXPECT_EQ(value, page.versionedProgId);
    }
}

TEST_F(ModuleRegistrationTest, RegisteringAddsTheTypeLibraryUnderTheModulePath)
{
    ASSERT_FALSE(ClassesKeyExists(std::string("TypeLib\\") + kLibraryId));
    ASSERT_EQ(RegisterServer(), S_OK);
    std::string value;
    ASSERT_TRUE(ClassesValue(std::string("TypeLib\\") + kLibraryId + "\\1.0", "", &value));
    EXPECT_EQ(value, "PropertyPages 1.0 Type Library");
    ASSERT_TRUE(ClassesValue(std::string("TypeLib\\") + kLibraryId + "\\1.0\\0\\win32", "", &value));
    EXPECT_EQ(value, kPageLibraryPath);
}

TEST_F(ModuleRegistrationTest, UnregisteringLeavesNoClassProgIdOrTypeLibrary)
{
    const std::set<std::string> before = UpperSet(ClassesSubKeys("CLSID"));
    const std::set<std::string> libraries = UpperSet(ClassesSubKeys("TypeLib"));
    std::set<std::string> roots = UpperSet(ClassesSubKeys(""));
    ASSERT_EQ(RegisterServer(), S_OK);
    ASSERT_EQ(UnregisterServer(), S_OK);

    // What stays is at most the two containers, as the scripts and the type library keep them.
    EXPECT_EQ(UpperSet(ClassesSubKeys("CLSID")), before);
    EXPECT_EQ(UpperSet(ClassesSubKeys("TypeLib")), libraries);
    roots.insert({"CLSID", "TYPELIB"});
    for (const std::string& name : UpperSet(ClassesSubKeys("")))
        EXPECT_EQ(roots.count(name), 1u) << name;
    for (const ExpectedPageClass& page : kPageClasses) {
        SCOPED_TRACE(page.description);
        EXPECT_FALSE(ClassesKeyExists(ClassKey(page)));
        EXPECT_FALSE(ClassesKeyExists(page.versionedProgId));
        EXPECT_FALSE(ClassesKeyExists(page.progId));
    }
    EXPECT_FALSE(ClassesKeyExists(std::string("TypeLib\\") + kLibraryId));
}

TEST_F(ModuleRegistrationTest, UnregisteringWhatIsNotRegisteredRunsEveryScriptAndReportsTheLibrary)
{
    // The scripts find nothing to remove, which is no fault; the type library was never
    // registered, which is, and comes back as the first failure once every script has run.
    const std::set<std::string> before = UpperSet(ClassesSubKeys("CLSID"));
    EXPECT_EQ(UnregisterServer(), TYPE_E_REGISTRYACCESS);
    EXPECT_EQ(UpperSet(ClassesSubKeys("CLSID")), before);
    for (const ExpectedPageClass& page : kPageClasses)
        EXPECT_FALSE(ClassesKeyExists(page.progId));
}

TEST_F(ModuleRegistrationTest, AFailingScriptEndsRegistrationWithItsResultAndLeavesTheRestUnregistered)
{
    // The crop page's versioned ProgID held as a volatile key: its script cannot create the
    // lasting "CLSID" key under it, so the fourth class of the map fails.
    HKEY blocker = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, kPageClasses[3].versionedProgId, 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &blocker, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(blocker);

    EXPECT_EQ(RegisterServer(), HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE));
    for (size_t i = 0; i < kPageClasses.size(); ++i) {
        SCOPED_TRACE(kPageClasses[i].description);
        EXPECT_EQ(ClassesKeyExists(ClassKey(kPageClasses[i])), i < 3);
        EXPECT_EQ(ClassesKeyExists(kPageClasses[i].progId), i < 3);
    }
    EXPECT_FALSE(ClassesKeyExists(std::string("TypeLib\\") + kLibraryId));
}

TEST_F(ModuleRegistrationTest, RegisteringTwiceKeepsOneSetOfKeys)
{
    ASSERT_EQ(RegisterServer(), S_OK);
    const std::set<std::string> once = UpperSet(ClassesSubKeys("CLSID"));
    ASSERT_EQ(RegisterServer(), S_OK);
    EXPECT_EQ(UpperSet(ClassesSubKeys("CLSID")), once);
    ASSERT_EQ(UnregisterServer(), S_OK);
    for (const ExpectedPageClass& page : kPageClasses)
        EXPECT_FALSE(ClassesKeyExists(ClassKey(page)));
}

} // namespace
