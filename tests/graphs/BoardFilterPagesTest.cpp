// Each filter of the real driver names its property pages through the proxy's
// ISpecifyPropertyPages: the page classes the board's driver package registered under the private
// sets the filter answers, no more and no others.
#include "BoardGraphFixture.h"

#include "um/ocidl.h"
#include "um/windows.h"

#include "privatesetguids.h"

#include <algorithm>
#include <cstring>

using graphtest::BoardGraphTest;

namespace {

// The page library's classes.
constexpr CLSID kAudioConfigPage = {0x89E05ECB, 0xA58B, 0x48F2, {0x93, 0xFD, 0xAA, 0xAA, 0xD6, 0xEA, 0xF1, 0x4D}};
constexpr CLSID kAudioInputMixerPage = {0xA96E4E71, 0xA87C, 0x4D5D, {0x9E, 0xCF, 0xC5, 0x39, 0xE1, 0xFA, 0x28, 0x40}};
constexpr CLSID kClosedCaptionPage = {0xEA8EC3E1, 0x8433, 0x4d96, {0xA5, 0x8F, 0x20, 0x79, 0x83, 0x5E, 0x8E, 0xF4}};
constexpr CLSID kCropPage = {0x9153789A, 0xF9DE, 0x48df, {0x95, 0xCF, 0xD9, 0x20, 0xC5, 0x0F, 0xFD, 0x75}};
constexpr CLSID kCrossbarPage = {0xC015777A, 0xB227, 0x4ab6, {0x98, 0xAD, 0x16, 0x82, 0x81, 0x82, 0x46, 0x79}};
constexpr CLSID kDeinterlacePage = {0xB32839B9, 0xF937, 0x4f1e, {0xBD, 0xEE, 0x61, 0x7C, 0xEF, 0x26, 0xE0, 0xE9}};
constexpr CLSID kDeviceInfoPage = {0x93038A6B, 0x8A46, 0x430f, {0x9A, 0x59, 0x34, 0x33, 0xCA, 0x68, 0xDB, 0xE9}};
constexpr CLSID kDiagnosticsPage = {0x8F8F6698, 0x1E6C, 0x4912, {0x83, 0x46, 0xBE, 0x5A, 0xFE, 0xA1, 0xA4, 0x8A}};
constexpr CLSID kInputDetectPage = {0x096B809E, 0xAE77, 0x418a, {0x8F, 0xF6, 0x6E, 0x71, 0x18, 0x56, 0x97, 0x22}};
constexpr CLSID kLossOfSignalPage = {0x6519C089, 0xC856, 0x40b1, {0x96, 0x3F, 0xAF, 0xD7, 0x79, 0x07, 0xA7, 0xC8}};
constexpr CLSID kPerformancePage = {0x872F01C0, 0xBAF0, 0x4EA5, {0xB7, 0x07, 0x41, 0x74, 0x61, 0x7D, 0x9E, 0x60}};
constexpr CLSID kTracePage = {0xCC74B871, 0xC9F2, 0x4ca8, {0xAB, 0x74, 0x6C, 0xB4, 0xC3, 0xEC, 0xEA, 0xDD}};
constexpr CLSID kVideoDecoderPage = {0xC33A07E1, 0x81D2, 0x4d53, {0xAF, 0x65, 0x4D, 0x85, 0xEF, 0x78, 0x65, 0x80}};
constexpr CLSID kVideoProcAmpPage = {0xF759E76C, 0x9E14, 0x4a62, {0x85, 0x44, 0xB8, 0xCD, 0x58, 0x8C, 0xDB, 0xCC}};
constexpr CLSID kWatermarkPage = {0x2C14C3AB, 0x6A43, 0x488d, {0xBC, 0x79, 0x00, 0x61, 0x92, 0xBC, 0xDB, 0xA4}};

// The page each private set has.
struct SetPage {
    const GUID* set;
    CLSID page;
};
const SetPage kSetPages[] = {
    {&PROPSETID_BREVICOR_DEVICE_CONFIG, kDeviceInfoPage},
    {&PROPSETID_BREVICOR_TRACE, kTracePage},
    {&PROPSETID_BREVICOR_VIDEODECODER, kVideoDecoderPage},
    {&PROPSETID_BREVICOR_VIDEOPROCAMP, kVideoProcAmpPage},
    {&PROPSETID_BREVICOR_CC, kClosedCaptionPage},
    {&PROPSETID_BREVICOR_CROP, kCropPage},
    {&PROPSETID_BREVICOR_DEINTERLACE, kDeinterlacePage},
    {&PROPSETID_BREVICOR_LOGO, kWatermarkPage},
    {&PROPSETID_BREVICOR_LOS, kLossOfSignalPage},
    {&PROPSETID_BREVICOR_INPUTDETECT, kInputDetectPage},
    {&PROPSETID_BREVICOR_DIAGNOSTICS, kDiagnosticsPage},
    {&PROPSETID_BREVICOR_CROSSBAR, kCrossbarPage},
    {&PROPSETID_BREVICOR_PERFORMANCE, kPerformancePage},
    {&PROPSETID_BREVICOR_AUDIO_CONFIG, kAudioConfigPage},
    {&PROPSETID_BREVICOR_AUDIO_INPUT_INFO, kAudioInputMixerPage},
};

std::vector<CLSID> PagesOf(IBaseFilter* filter)
{
    std::vector<CLSID> pages;
    ISpecifyPropertyPages* specify = nullptr;
    EXPECT_EQ(filter->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&specify)), S_OK);
    if (!specify)
        return pages;
    CAUUID list{};
    EXPECT_EQ(specify->GetPages(&list), S_OK);
    pages.assign(list.pElems, list.pElems + list.cElems);
    CoTaskMemFree(list.pElems);
    specify->Release();
    return pages;
}

// Whether the filter has item 0 of `set` (a set-support request for that item, with a request long
// enough for any record): the driver's own word on the set, not its list of sets.
bool Answers(IBaseFilter* filter, const GUID& set)
{
    IKsControl* control = nullptr;
    if (FAILED(filter->QueryInterface(IID_IKsControl, reinterpret_cast<void**>(&control))))
        return false;
    std::vector<BYTE> request(4096, 0);
    KSPROPERTY property{};
    property.Set = set;
    property.Id = 0;
    property.Flags = KSPROPERTY_TYPE_SETSUPPORT;
    std::memcpy(request.data(), &property, sizeof property);
    ULONG bytes = 0;
    const HRESULT hr = control->KsProperty(reinterpret_cast<PKSPROPERTY>(request.data()), ULONG(request.size()),
                                           nullptr, 0, &bytes);
    control->Release();
    return SUCCEEDED(hr);
}

// The pages a filter must name: for each private set in the table's order that it answers, the
// set's page; the proxy lists them in the driver's order of sets, so compared as sets.
std::vector<CLSID> ExpectedPages(IBaseFilter* filter)
{
    std::vector<CLSID> pages;
    for (const SetPage& entry : kSetPages)
        if (Answers(filter, *entry.set))
            pages.push_back(entry.page);
    return pages;
}

std::vector<CLSID> Sorted(std::vector<CLSID> pages)
{
    std::sort(pages.begin(), pages.end(),
              [](const CLSID& a, const CLSID& b) { return std::memcmp(&a, &b, sizeof a) < 0; });
    return pages;
}

std::string Narrow(const std::u16string& text)
{
    return std::string(text.begin(), text.end());
}

} // namespace

TEST_F(BoardGraphTest, EachFilterNamesThePagesRegisteredForTheSetsItAnswers)
{
    int filters = 0;
    for (const GUID* category : {&AM_KSCATEGORY_CAPTURE, &AM_KSCATEGORY_CROSSBAR, &AM_KSCATEGORY_AUDIO}) {
        for (const std::u16string& name : graphtest::FriendlyNames(*category)) {
            SCOPED_TRACE(Narrow(name));
            IBaseFilter* filter = graphtest::FindFilter(*category, name);
            ASSERT_NE(filter, nullptr);
            const std::vector<CLSID> pages = PagesOf(filter);
            EXPECT_EQ(Sorted(pages), Sorted(ExpectedPages(filter)));
            // Each class once.
            std::vector<CLSID> unique = Sorted(pages);
            EXPECT_EQ(std::unique(unique.begin(), unique.end()), unique.end());
            filter->Release();
            ++filters;
        }
    }
    EXPECT_GE(filters, 3);
}

TEST_F(BoardGraphTest, TheVideoAudioAndCrossbarFiltersNameTheirOwnPages)
{
    IBaseFilter* video = graphtest::FindFilter(AM_KSCATEGORY_CAPTURE, graphtest::kVideoName);
    ASSERT_NE(video, nullptr);
    // Every page but the audio input mixer's, each once, in the driver's order of its sets.
    const std::vector<CLSID> videoPages = PagesOf(video);
    EXPECT_EQ(videoPages.size(), 14u);
    EXPECT_EQ(Sorted(videoPages),
              Sorted({kDeviceInfoPage, kTracePage, kVideoDecoderPage, kVideoProcAmpPage, kClosedCaptionPage,
                      kCropPage, kDeinterlacePage, kWatermarkPage, kLossOfSignalPage, kInputDetectPage,
                      kDiagnosticsPage, kCrossbarPage, kPerformancePage, kAudioConfigPage}));
    video->Release();

    IBaseFilter* audio = graphtest::FindFilter(AM_KSCATEGORY_CAPTURE, graphtest::kAudioName);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(Sorted(PagesOf(audio)), Sorted({kDiagnosticsPage, kTracePage, kAudioConfigPage, kAudioInputMixerPage,
                                              kInputDetectPage, kDeviceInfoPage}));
    audio->Release();

    // The crossbar answers the standard crossbar set only, for which the package registers nothing.
    IBaseFilter* crossbar = graphtest::FindFilter(AM_KSCATEGORY_CROSSBAR, graphtest::kCrossbarName);
    ASSERT_NE(crossbar, nullptr);
    EXPECT_TRUE(PagesOf(crossbar).empty());
    crossbar->Release();
}
