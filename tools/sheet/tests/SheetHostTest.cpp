// The sheet host's core on the test minidriver's proxy capture filter with two page classes of the
// test's own: one PNG per page, of the page's size and not all background, named after the filter
// and the tab (copied where USER_PAINT_PICTURES names a folder); and the page classes of a module
// found through HKCR.
#include "KsProxyFixture.h"
#include "SheetHost.h"
#include "../../../platform/user/tests/windows/DialogTemplateBuilder.h"
#include "standin/com.h"
#include "standin/verifier.h"
#include "um/combaseapi.h"
#include "um/olectl.h"
#include "um/winreg.h"

#include <png.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <set>

namespace {

namespace fs = std::filesystem;

constexpr CLSID kGeneralPage{0x5eed0001, 0x0001, 0x0001, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr CLSID kAdvancedPage{0x5eed0002, 0x0001, 0x0001, {1, 2, 3, 4, 5, 6, 7, 8}};

// A page as simple as a page can be: a dialog with one label, of a fixed size.
class LabelPage final : public IPropertyPage {
public:
    LabelPage(std::u16string title, std::u16string label, SIZE size) : title_(std::move(title)), label_(std::move(label)), size_(size) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyPage)) {
            *out = static_cast<IPropertyPage*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL) override
    {
        windowtest::TemplateBuilder t(WS_CHILD | DS_SETFONT, 10, 10);
        t.Control(u"Static", 100, SS_LEFT, 7, 7, 120, 8, label_.c_str());
        window_ = CreateDialogIndirectParamW(nullptr, t.Get(), parent, nullptr, 0);
        if (!window_)
            return E_FAIL;
        MoveWindow(window_, rect ? rect->left : 0, rect ? rect->top : 0, size_.cx, size_.cy, FALSE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Deactivate() override
    {
        if (window_)
            DestroyWindow(window_);
        window_ = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override
    {
        const size_t bytes = (title_.size() + 1) * sizeof(char16_t);
        auto* title = static_cast<char16_t*>(CoTaskMemAlloc(bytes));
        std::copy(title_.c_str(), title_.c_str() + title_.size() + 1, title);
        info->pszTitle = reinterpret_cast<LPOLESTR>(title);
        info->size = size_;
        info->pszDocString = nullptr;
        info->pszHelpFile = nullptr;
        info->dwHelpContext = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown**) override
    {
        objects_ = count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Show(UINT show) override
    {
        ShowWindow(window_, static_cast<int>(show));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override
    {
        MoveWindow(window_, rect->left, rect->top, size_.cx, size_.cy, TRUE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsPageDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Apply() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Help(LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return S_FALSE; }

private:
    ULONG refs_ = 1;
    std::u16string title_;
    std::u16string label_;
    SIZE size_;
    HWND window_ = nullptr;
    ULONG objects_ = 0;
};

class PageFactory final : public IClassFactory {
public:
    PageFactory(std::u16string title, std::u16string label, SIZE size) : title_(std::move(title)), label_(std::move(label)), size_(size) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override
    {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto* page = new LabelPage(title_, label_, size_);
        const HRESULT result = page->QueryInterface(riid, out);
        page->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    std::u16string title_;
    std::u16string label_;
    SIZE size_;
};

struct Decoded {
    int width = 0;
    int height = 0;
    std::set<uint32_t> colours;
};

Decoded DecodePng(const fs::path& path)
{
    Decoded out;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.string().c_str()))
        return out;
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
        return out;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    for (size_t i = 0; i + 2 < pixels.size(); i += 3)
        out.colours.insert(uint32_t(pixels[i]) << 16 | uint32_t(pixels[i + 1]) << 8 | pixels[i + 2]);
    return out;
}

// Registers `page` as a property page of `set`, as a driver package does.
void RegisterSetPage(const GUID& set, const CLSID& page)
{
    WCHAR setText[40] = {}, pageText[40] = {};
    StringFromGUID2(set, setText, 40);
    StringFromGUID2(page, pageText, 40);
    const std::u16string path = u"SYSTEM\\CurrentControlSet\\Control\\MediaSets\\" + std::u16string(setText) +
                                u"\\PropertyPages\\" + std::u16string(pageText);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

class SheetHost : public dshowtest::KsProxyTest {
protected:
    void SetUp() override
    {
        KsProxyTest::SetUp();
        std::string pattern = (fs::temp_directory_path() / "sheet-host-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        out = pattern;
        standin::RegisterSystemClass(kGeneralPage, [this](REFIID riid, void** ppv) { return general.QueryInterface(riid, ppv); });
        standin::RegisterSystemClass(kAdvancedPage, [this](REFIID riid, void** ppv) { return advanced.QueryInterface(riid, ppv); });
    }
    void TearDown() override
    {
        standin::UnregisterSystemClass(kGeneralPage);
        standin::UnregisterSystemClass(kAdvancedPage);
        std::error_code ignored;
        // Kept for people to look at where USER_PAINT_PICTURES names a folder.
        if (const char* keep = std::getenv("USER_PAINT_PICTURES"))
            for (const auto& entry : fs::directory_iterator(out, ignored))
                fs::copy_file(entry.path(), fs::path(keep) / entry.path().filename(), fs::copy_options::overwrite_existing,
                              ignored);
        fs::remove_all(out, ignored);
        KsProxyTest::TearDown();
    }
    fs::path out;
    PageFactory general{u"General", u"General settings", SIZE{200, 120}};
    PageFactory advanced{u"Advanced", u"Advanced settings", SIZE{160, 90}};
};

TEST_F(SheetHost, EachPageOfTheFilterIsWrittenAtItsSize)
{
    // Both pages belong to the pin set, which every kernel-streaming filter answers.
    RegisterSetPage(KSPROPSETID_Pin, kGeneralPage);
    RegisterSetPage(KSPROPSETID_Pin, kAdvancedPage);
    sheethost::SheetRequest request;
    request.pages = {kGeneralPage, kAdvancedPage};
    request.out = out;
    request.filter = kstest::kProxyCaptureName;
    std::vector<std::string> errors;
    const auto pictures = sheethost::WriteSheets(request, &errors);
    EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors.front());
    ASSERT_EQ(pictures.size(), 2u);
    const SIZE sizes[] = {{200, 120}, {160, 90}};
    const char16_t* titles[] = {u"General", u"Advanced"};
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(pictures[i].title, titles[i]);
        std::string filter;
        for (const char16_t* c = kstest::kProxyCaptureName; *c; ++c)
            filter += static_cast<char>(*c);
        EXPECT_EQ(pictures[i].file.filename().string(), filter + " - " + (i == 0 ? "General" : "Advanced") + ".png");
        const Decoded png = DecodePng(pictures[i].file);
        EXPECT_EQ(png.width, sizes[i].cx);
        EXPECT_EQ(png.height, sizes[i].cy);
        // The face and the label's text at least.
        EXPECT_GE(png.colours.size(), 2u);
        EXPECT_TRUE(png.colours.count(0x000000)) << "no text";
    }
    // Only the named filter was opened.
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(out))
        ++files;
    EXPECT_EQ(files, 2u);

    // A filter that is not there writes nothing.
    request.filter = u"No Such Filter";
    EXPECT_TRUE(sheethost::WriteSheets(request, &errors).empty());
}

TEST_F(SheetHost, AFiltersSheetHoldsThePagesItNamesThatTheLibraryServes)
{
    // The advanced page belongs to a set only the first test filter answers; a third class of that
    // set is not the library's.
    const CLSID foreign{0x5eed0009, 0x0001, 0x0001, {1, 2, 3, 4, 5, 6, 7, 8}};
    RegisterSetPage(kstest::kTestPropertySet, foreign);
    RegisterSetPage(kstest::kTestPropertySet, kAdvancedPage);
    sheethost::SheetRequest request;
    request.pages = {kGeneralPage, kAdvancedPage};
    request.out = out;
    request.filter = kstest::kFriendlyName;
    std::vector<std::string> errors;
    auto pictures = sheethost::WriteSheets(request, &errors);
    EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors.front());
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].title, u"Advanced");

    // The other filter names no page of the library: no sheet, no file, no error.
    request.filter = kstest::kProxyCaptureName;
    pictures = sheethost::WriteSheets(request, &errors);
    EXPECT_TRUE(pictures.empty());
    EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors.front());
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(out))
        ++files;
    EXPECT_EQ(files, 1u);
}

TEST_F(SheetHost, ThePageClassesOfAModuleAreTheClassesItServes)
{
    auto serve = [](const char16_t* clsid, const char16_t* module) {
        // HKCR is the machine's SOFTWARE\Classes.
        const std::u16string path = std::u16string(u"SOFTWARE\\Classes\\CLSID\\") + clsid + u"\\InprocServer32";
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(module),
                       DWORD((std::char_traits<char16_t>::length(module) + 1) * sizeof(char16_t)));
        RegCloseKey(key);
    };
    serve(u"{5EED0001-0001-0001-0102-030405060708}", u"C:\\Windows\\System32\\Pages.ax");
    serve(u"{5EED0002-0001-0001-0102-030405060708}", u"c:\\windows\\system32\\PAGES.AX");
    serve(u"{5EED0003-0001-0001-0102-030405060708}", u"C:\\Windows\\System32\\Other.dll");
    const auto classes = sheethost::PageClassesOf(u"C:\\Windows\\System32\\Pages.ax");
    ASSERT_EQ(classes.size(), 2u);
    EXPECT_TRUE(IsEqualGUID(classes[0], kGeneralPage) || IsEqualGUID(classes[1], kGeneralPage));
    EXPECT_TRUE(IsEqualGUID(classes[0], kAdvancedPage) || IsEqualGUID(classes[1], kAdvancedPage));
    EXPECT_TRUE(sheethost::PageClassesOf(u"C:\\Nowhere.ax").empty());
    for (const char16_t* clsid : {u"{5EED0001-0001-0001-0102-030405060708}", u"{5EED0002-0001-0001-0102-030405060708}",
                                  u"{5EED0003-0001-0001-0102-030405060708}"})
        EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::u16string(u"CLSID\\") + clsid).c_str()), ERROR_SUCCESS);
}

} // namespace
