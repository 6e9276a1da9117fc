// The library's resources as its pages read them: every string the pages name (language 1033),
// a dialog template for every page, the registration scripts, the type library, and the two
// title lists built from the strings.
#include "support/PageClassTable.h"
#include "support/PageLibraryMachine.h"

#include "module/PageTitleTable.h"

#include "um/oleauto.h"

#include <string>
#include <utility>
#include <vector>

namespace {

// Every string id the pages name, with its text, written out from the pages' documented tables.
std::vector<std::pair<UINT, std::string>> ExpectedStrings()
{
    std::vector<std::pair<UINT, std::string>> strings = {
        {2, "Capture"},
        {3, "None"},
        {4, "1 KHz"},
        {5, "3 KHz"},
        {6,
         "Note:  Your systems display adapter must be set to 24 or 32 bit mode in order to use the Preview "
         "functionality"},
        {8, "Stereo pair count"},
        {9, "Stereo pair index"},
        {10, "Nearest Neighbor"},
        {11, "Linear"},
        {12, "Cubic (Not recommended for HD)"},
        {13, "Lanczos (Not recommended for HD)"},
        {20, "Same as input signal"},
        {21, "3/4 of input signal"},
        {22, "1/2 of input signal"},
        {23, "1/4 of input signal"},
        {24, "Custom"},
        {40, "Preview"},
        {41, "Both"},
        {115, "Device"},
        {122, "Video Proc Amp"},
        {127, "Video Decoder"},
        {132, "Trace"},
        {142, "Crossbar"},
        {147, "Closed Caption"},
        {152, "Deinterlace"},
        {157, "Cropping"},
        {162, "Watermark"},
        {167, "Loss Of Signal"},
        {177, "Input Detect"},
        {182, "Diagnostics"},
        {187, "Performance"},
        {202, "Audio Input Mixer"},
        {208, "Audio Configurator"},
        {2131, "NTSC"},
        {2132, "PAL"},
        {2133, "1035i"},
        {2134, "1080i"},
        {2135, "720P"},
        {2136, "483P"},
        {2137, "1080P"},
        {2149, "Video Inputs"},
        {2150, "Unknown Signal"},
        {2151, "No Signal"},
        {2152, "Audio Inputs"},
        {2153, "Active Pixels"},
        {2154, "Blanking Pixels"},
        {2155, "Active Lines"},
        {2156, "Blanking Lines"},
        {2157, "DSP I/O Index"},
        {3566, "Select Watermark File"},
        {3569, "Select File To Log To"},
        {4018, "Last Signal Type String"},
        {4118, "Signal Type last Value"},
        {6001, "Video Tuner In"},
        {6002, "Video Composite In"},
        {6003, "Video SVideo In"},
        {6005, "Video YRYBY In"},
        {6006, "Video SerialDigital In"},
        {6012, "Video Decoder Out"},
        {6020, "SDI"},
        {6021, "AES"},
        {6022, "SPDIF"},
        {6023, "Balanced"},
        {6024, "Unbalanced"},
    };
    const char* const signalTypes[18] = {
        "Unknown",     "NTSC",           "PAL",           "HD 720P 60",  "HD 720P 59.94",
        "HD 720P 50",  "HD 720P 30",     "HD 720P 29.97", "HD 720P 24",  "HD 720P 23.98",
        "HD 1080I 60", "HD 1080I 59.94", "HD 1080I 50",   "HD 1080P 30", "HD 1080P 29.97",
        "HD 1080P 25", "HD 1080P 24",    "HD 1080P 23.98"};
    for (UINT i = 0; i < 18; ++i) {
        strings.emplace_back(4000 + i, signalTypes[i]);
        strings.emplace_back(4100 + i, std::to_string(i == 0 ? 0u : 1u << (i - 1)));
    }
    return strings;
}

class PageResourceTest : public PageLibraryMachineTest {};

TEST_F(PageResourceTest, EveryStringThePagesNameLoads)
{
    for (const auto& [id, text] : ExpectedStrings()) {
        SCOPED_TRACE(id);
        char buffer[256] = {};
        const int length = LoadStringA(Library(), id, buffer, sizeof(buffer));
        EXPECT_EQ(length, static_cast<int>(text.size()));
        EXPECT_EQ(std::string(buffer), text);
    }
}

TEST_F(PageResourceTest, StringsAreUsEnglish)
{
    HRSRC block = FindResourceExA(Library(), MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(187 / 16 + 1), 1033);
    EXPECT_NE(block, nullptr);
}

TEST_F(PageResourceTest, ConnectorTypesWithoutANameHaveNoString)
{
    // The crossbar and input-detect pages rely on a missing name leaving their text as it was.
    for (UINT id : {6000u, 6004u, 6007u, 6011u, 6019u, 6025u}) {
        char buffer[32] = "kept";
        EXPECT_EQ(LoadStringA(Library(), id, buffer, sizeof(buffer)), 0) << id;
        EXPECT_STREQ(buffer, "kept");
    }
}

TEST_F(PageResourceTest, EveryPageHasItsDialogTemplateAsAChildWindow)
{
    for (const ExpectedPageClass& page : kPageClasses) {
        SCOPED_TRACE(page.title);
        HRSRC found = FindResourceA(Library(), MAKEINTRESOURCEA(page.dialog), MAKEINTRESOURCEA(5));
        ASSERT_NE(found, nullptr);
        ASSERT_GE(SizeofResource(Library(), found), 26u);
        const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(Library(), found)));
        ASSERT_NE(bytes, nullptr);
        // DLGTEMPLATEEX: version 1, signature 0xFFFF; the style at byte 12.
        EXPECT_EQ(bytes[0] | bytes[1] << 8, 1);
        EXPECT_EQ(bytes[2] | bytes[3] << 8, 0xFFFF);
        const DWORD style =
            bytes[12] | bytes[13] << 8 | bytes[14] << 16 | static_cast<DWORD>(bytes[15]) << 24;
        EXPECT_EQ(style & WS_CHILD, static_cast<DWORD>(WS_CHILD));
        EXPECT_EQ(style & WS_POPUP, 0u);
    }
}

TEST_F(PageResourceTest, TheDocumentedDialogSizesAreKept)
{
    const std::pair<UINT, std::pair<int, int>> sizes[] = {
        {114, {256, 234}}, {131, {267, 162}}, {126, {203, 105}}, {121, {462, 342}},
        {166, {396, 326}}, {161, {383, 278}}, {141, {249, 124}}, {176, {250, 238}},
        {187, {333, 246}}, {188, {301, 230}}, {181, {358, 335}}};
    for (const auto& [id, size] : sizes) {
        SCOPED_TRACE(id);
        HRSRC found = FindResourceA(Library(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
        ASSERT_NE(found, nullptr);
        const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(Library(), found)));
        EXPECT_EQ(static_cast<short>(bytes[22] | bytes[23] << 8), size.first);
        EXPECT_EQ(static_cast<short>(bytes[24] | bytes[25] << 8), size.second);
    }
}

TEST_F(PageResourceTest, RegistrationScriptsAreStoredByNumberAndOneByName)
{
    for (UINT id : {118u, 125u, 130u, 140u, 145u, 150u, 155u, 160u, 165u, 170u, 180u, 185u, 214u}) {
        HRSRC found = FindResourceExA(Library(), "REGISTRY", MAKEINTRESOURCEA(id), 1033);
        EXPECT_NE(found, nullptr) << id;
    }
    EXPECT_NE(FindResourceExA(Library(), "REGISTRY", "IDR_CPERFORMANCEPROPPAGE", 1033), nullptr);
    // Fourteen scripts only: the mixer's class registers itself.
    EXPECT_EQ(FindResourceA(Library(), MAKEINTRESOURCEA(202), "REGISTRY"), nullptr);
}

TEST_F(PageResourceTest, TheTypeLibraryDeclaresTheFifteenCoclasses)
{
    Library();
    ITypeLib* library = nullptr;
    const std::u16string path = u"C:\\Windows\\System32\\Talvexon_x86.ax";
    ASSERT_EQ(LoadTypeLib(reinterpret_cast<LPCOLESTR>(path.c_str()), &library), S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    library->ReleaseTLibAttr(attributes);
    ASSERT_EQ(library->GetTypeInfoCount(), 15u);

    auto text = [](BSTR b) {
        std::string out;
        for (const OLECHAR* c = b; c && *c; ++c)
            out.push_back(static_cast<char>(*c));
        SysFreeString(b);
        return out;
    };
    BSTR name = nullptr;
    BSTR help = nullptr;
    ASSERT_EQ(library->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_EQ(text(name), "KPLXPROPERTYPAGESLib");
    EXPECT_EQ(text(help), "PropertyPages 1.0 Type Library");
    const char* const coclasses[15] = {
        "DeviceInfoPropPage",  "VideoProcAmp",          "VideoDecoderPropPage",    "TracePropPage",
        "CrossbarPropPage",    "ClosedCaptionPropPage", "DeinterlacePropPage",     "CropPropPage",
        "WatermarkPropPage",   "LossOfSignalPropPage",  "InputDetectPropPage",     "DiagnosticsPropPage",
        "PerformancePropPage", "CAudioConfigPropPage",  "CAudioInputMixerPropPage"};
    for (INT i = 0; i < 15; ++i) {
        ASSERT_EQ(library->GetDocumentation(i, &name, &help, nullptr, nullptr), S_OK);
        EXPECT_EQ(text(name), coclasses[i]);
        EXPECT_EQ(text(help), std::string(coclasses[i]) + " Class");
        TYPEKIND kind{};
        EXPECT_EQ(library->GetTypeInfoType(i, &kind), S_OK);
        EXPECT_EQ(kind, TKIND_COCLASS);
    }
    library->Release();
}

TEST_F(PageResourceTest, TheTitleListsHoldTheSharedTitlesAndTheOwnTitlesInOrder)
{
    PageTitleTable(Library());
    ASSERT_NE(SharedPageTitles[0], nullptr);
    EXPECT_STREQ(SharedPageTitles[0], "Video Proc Amp");
    EXPECT_STREQ(SharedPageTitles[1], "Video Decoder");
    const char* const own[15] = {
        "Device",      "Video Decoder", "Trace",       "Closed Caption",     "Video Proc Amp",
        "Deinterlace", "Cropping",      "Watermark",   "Loss Of Signal",     "Input Detect",
        "Diagnostics", "Crossbar",      "Performance", "Audio Configurator", "Audio Input Mixer"};
    for (size_t i = 0; i < kOwnPageTitleCount; ++i)
        EXPECT_EQ(OwnPageTitles[i], own[i]) << i;
    ClearPageTitleTable();
    EXPECT_EQ(SharedPageTitles[0], nullptr);
    EXPECT_TRUE(OwnPageTitles[14].empty());
}

TEST_F(PageResourceTest, AMissingTitleStringLeavesItsEntryEmpty)
{
    // A module without a string table: every own title is empty, the shared ones are constants.
    HMODULE self = GetModuleHandleA(nullptr);
    PageTitleTable(self);
    EXPECT_STREQ(SharedPageTitles[1], "Video Decoder");
    for (const std::string& title : OwnPageTitles)
        EXPECT_TRUE(title.empty());
    ClearPageTitleTable();
}

TEST_F(PageResourceTest, TheModuleCarriesEveryBitmapThePagesLoadAtItsSizeAndDepth)
{
    // Id, width, height, bits a pixel (the pictures themselves: PropPages/resources/artwork/tests).
    const int bitmaps[][4] = {{206, 74, 18, 24},   {207, 320, 240, 24}, {209, 128, 10, 24}, {226, 112, 10, 24},
                              {229, 280, 280, 8},  {230, 32, 24, 24},   {231, 32, 24, 24},  {232, 32, 24, 24},
                              {233, 32, 24, 24},   {234, 32, 24, 24},   {235, 32, 24, 24},  {236, 32, 24, 24},
                              {237, 32, 24, 24},   {238, 32, 24, 24},   {239, 280, 280, 8}, {240, 280, 280, 24}};
    for (const auto& b : bitmaps) {
        SCOPED_TRACE(b[0]);
        HBITMAP loaded = LoadBitmapA(Library(), MAKEINTRESOURCEA(b[0]));
        ASSERT_NE(loaded, nullptr);
        BITMAP bm{};
        ASSERT_EQ(GetObjectA(loaded, sizeof bm, &bm), static_cast<int>(sizeof bm));
        EXPECT_EQ(bm.bmWidth, b[1]);
        EXPECT_EQ(bm.bmHeight, b[2]);
        DeleteObject(loaded);
        HRSRC found = FindResourceA(Library(), MAKEINTRESOURCEA(b[0]), MAKEINTRESOURCEA(2));
        ASSERT_NE(found, nullptr);
        const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(Library(), found)));
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->biBitCount, b[3]);
    }
}

} // namespace
