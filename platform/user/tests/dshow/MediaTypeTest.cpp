// Media types: the records' layouts, the identifiers shared with kernel streaming, and the helpers
// that copy and free format blocks in COM's task memory.
#include <gtest/gtest.h>

#include <cstring>

#include "um/dshow.h"
#include "um/windows.h"
#include "standin/verifier.h"

namespace {

AM_MEDIA_TYPE VideoType(int width, int height)
{
    AM_MEDIA_TYPE mt{};
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_RGB32;
    mt.bFixedSizeSamples = TRUE;
    mt.lSampleSize = ULONG(width * height * 4);
    mt.formattype = FORMAT_VideoInfo;
    mt.cbFormat = sizeof(VIDEOINFOHEADER);
    mt.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(mt.cbFormat));
    std::memset(mt.pbFormat, 0, mt.cbFormat);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat);
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = width;
    vih->bmiHeader.biHeight = height;
    vih->bmiHeader.biBitCount = 32;
    vih->bmiHeader.biSizeImage = mt.lSampleSize;
    return mt;
}

// Counts its references, so that the helpers' handling of pUnk can be seen.
class Counted : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++count); }
    ULONG STDMETHODCALLTYPE Release() override { return ULONG(--count); }
    int count = 1;
};

} // namespace

TEST(MediaTypeTest, RecordsKeepTheDocumentedLayouts)
{
    EXPECT_EQ(sizeof(AM_MEDIA_TYPE), 88u);
    EXPECT_EQ(offsetof(AM_MEDIA_TYPE, lSampleSize), 40u);
    EXPECT_EQ(sizeof(VIDEOINFOHEADER), 88u);
    EXPECT_EQ(offsetof(VIDEOINFOHEADER, AvgTimePerFrame), 40u);
    EXPECT_EQ(offsetof(VIDEOINFOHEADER, bmiHeader) + offsetof(BITMAPINFOHEADER, biCompression), 64u);
    EXPECT_EQ(sizeof(VIDEOINFOHEADER2), 112u);
    EXPECT_EQ(sizeof(WAVEFORMATEX), 18u);
    EXPECT_EQ(offsetof(WAVEFORMATEX, nSamplesPerSec), 4u);
    EXPECT_EQ(offsetof(WAVEFORMATEX, wBitsPerSample), 14u);
    EXPECT_EQ(sizeof(VIDEO_STREAM_CONFIG_CAPS), 128u);
    EXPECT_EQ(sizeof(AUDIO_STREAM_CONFIG_CAPS), 52u);
    EXPECT_EQ(sizeof(ALLOCATOR_PROPERTIES), 16u);
    EXPECT_EQ(sizeof(PIN_INFO), 272u);
    EXPECT_EQ(offsetof(PIN_INFO, achName), 12u);
    EXPECT_EQ(sizeof(FILTER_INFO), 264u);
    EXPECT_EQ(sizeof(REFERENCE_TIME), 8u);
    EXPECT_EQ(int(State_Running), 2);
}

TEST(MediaTypeTest, IdentifiersHaveTheirPublishedValues)
{
    WCHAR text[40];
    auto str = [&text](const GUID& guid) {
        StringFromGUID2(guid, text, 40);
        return std::u16string(text);
    };
    EXPECT_EQ(str(MEDIATYPE_Video), u"{73646976-0000-0010-8000-00AA00389B71}");
    EXPECT_EQ(str(MEDIASUBTYPE_RGB32), u"{E436EB7E-524F-11CE-9F53-0020AF0BA770}");
    EXPECT_EQ(str(MEDIASUBTYPE_UYVY), u"{59565955-0000-0010-8000-00AA00389B71}");
    EXPECT_EQ(str(FORMAT_VideoInfo), u"{05589F80-C356-11CE-BF01-00AA0055595A}");
    EXPECT_EQ(str(FORMAT_WaveFormatEx), u"{05589F81-C356-11CE-BF01-00AA0055595A}");
    EXPECT_EQ(str(PIN_CATEGORY_CAPTURE), u"{FB6C4281-0353-11D1-905F-0000C0CC16BA}");
    EXPECT_EQ(str(PIN_CATEGORY_PREVIEW), u"{FB6C4282-0353-11D1-905F-0000C0CC16BA}");
    EXPECT_EQ(str(AM_KSCATEGORY_CAPTURE), u"{65E8773D-8F56-11D0-A3B9-00A0C9223196}");
    EXPECT_EQ(str(AM_KSCATEGORY_CROSSBAR), u"{A799A801-A46D-11D0-A18C-00A02401DCD4}");
    EXPECT_EQ(str(CLSID_SystemDeviceEnum), u"{62BE5D10-60EB-11D0-BD3B-00A0C911CE86}");
    EXPECT_EQ(str(CLSID_FilterGraph), u"{E436EBB3-524F-11CE-9F53-0020AF0BA770}");
    EXPECT_EQ(str(IID_IBaseFilter), u"{56A86895-0AD4-11CE-B03A-0020AF0BA770}");
    EXPECT_EQ(VFW_S_DUPLICATE_NAME, HRESULT(0x0004022D));
    EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, HRESULT(0x00040237));
}

TEST(MediaTypeTest, CopiesOwnTheirFormatBlocksAndPUnk)
{
    Counted extra;
    AM_MEDIA_TYPE original = VideoType(320, 240);
    extra.AddRef(); // the record's own reference
    original.pUnk = &extra;
    AM_MEDIA_TYPE copy{};
    ASSERT_EQ(CopyMediaType(&copy, &original), S_OK);
    EXPECT_NE(copy.pbFormat, original.pbFormat);
    EXPECT_EQ(std::memcmp(copy.pbFormat, original.pbFormat, sizeof(VIDEOINFOHEADER)), 0);
    EXPECT_EQ(extra.count, 3);
    AM_MEDIA_TYPE* created = CreateMediaType(&copy);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(extra.count, 4);
    FreeMediaType(original);
    EXPECT_EQ(original.pbFormat, nullptr);
    EXPECT_EQ(original.cbFormat, 0u);
    EXPECT_EQ(original.pUnk, nullptr);
    FreeMediaType(copy);
    DeleteMediaType(created);
    EXPECT_EQ(extra.count, 1);
    DeleteMediaType(nullptr);
    EXPECT_EQ(CopyMediaType(nullptr, &copy), E_POINTER);
}

TEST(MediaTypeTest, AFormatBlockLeftUnfreedIsReportedAtTheTestsEnd)
{
    AM_MEDIA_TYPE* forgotten = CreateMediaType(nullptr);
    ASSERT_NE(forgotten, nullptr);
    AM_MEDIA_TYPE video = VideoType(16, 16);
    *forgotten = video;
    EXPECT_EQ(standin::VerifierCheckLeaks(), 2u);
    auto breaches = standin::VerifierTakeViolations();
    ASSERT_EQ(breaches.size(), 2u);
    for (const auto& breach : breaches) {
        EXPECT_EQ(breach.rule, "leak");
        EXPECT_NE(breach.detail.find("co-task-memory"), std::string::npos) << breach.detail;
        EXPECT_NE(breach.detail.find("88 bytes"), std::string::npos) << breach.detail;
    }
    DeleteMediaType(forgotten);
    EXPECT_EQ(standin::VerifierCheckLeaks(), 0u);
}
