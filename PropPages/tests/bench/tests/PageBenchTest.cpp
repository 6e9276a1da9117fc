// The bench on the whole stack: a board of three SDI inputs (and three SDI audio inputs) with its own
// EEPROM identity, the inputs as the driver reads them, the test page in the property frame of the
// board's video capture filter, a second application's GET of the device configuration, the request
// log, the registry, pictures, and a teardown without leaks.
#include "BenchTestPage.h"
#include "BenchTestPageIds.h"
#include "PageBench.h"

#include "shared/guiddef.h"
#include "shared/ksvidcaprecords.h"
#include "um/ks.h"

#include "privatesetguids.h" // after the platform's GUID

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
using pagebench::PageBench;

pagebench::BenchOptions ThreeSdiInputs()
{
    pagebench::BenchOptions options;
    options.board.videoInputs = {board::VideoInputKind::Sdi, board::VideoInputKind::Sdi, board::VideoInputKind::Sdi};
    options.board.audioInputs.assign(3, board::BoardConfiguration::kSdiAudio);
    options.board.eepromVendorId = 0x0A1F;
    options.board.eepromSerialNumber = "AB12345678";
    return options;
}

std::u16string TextAt(const BrevicorDeviceConfigRecord& record, size_t offset, size_t characters)
{
    std::u16string text(characters, u'\0');
    std::memcpy(text.data(), reinterpret_cast<const unsigned char*>(&record) + offset, characters * 2);
    return text;
}

TEST(PageBench, TheVideoFiltersSheetShowsTheTestPageAndASecondApplicationReadsTheBoardsIdentity)
{
    PageBench bench(ThreeSdiInputs());
    ASSERT_EQ(bench.BoardStatus(), STATUS_SUCCESS);
    // The board carries the three inputs' signals, and the driver reads the same three inputs from
    // the package installed for the board.
    EXPECT_EQ(bench.Board().Commands().InputCount(), 3u);
    const std::u16string videoInputs = bench.DeviceKey() + u"\\VideoInputs";
    EXPECT_EQ(PageBench::RegistryDword(videoInputs, u"Count"), 3u);
    EXPECT_EQ(PageBench::RegistryString(videoInputs + u"\\Input3", u"InputName"), u"SDI Input 3");
    EXPECT_EQ(PageBench::RegistryDword(videoInputs + u"\\Input3", u"InputIOIndex"), 2u);
    EXPECT_EQ(PageBench::RegistryDword(bench.DeviceKey() + u"\\AudioInputs", u"Count"), 3u);
    HANDLE video = bench.OpenFilter(pagebench::kVideoFilter);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    KSPROPERTY_CROSSBAR_CAPS_S caps{};
    ASSERT_EQ(PageBench::Get(video, PROPSETID_VIDCAP_CROSSBAR, caps, KSPROPERTY_CROSSBAR_CAPS).result, S_OK);
    EXPECT_EQ(caps.NumberOfInputs, 3u);
    EXPECT_EQ(caps.NumberOfOutputs, 1u);
    BrevicorInputCountRecord count{};
    count.listSelector = kInputListVideo;
    ASSERT_EQ(PageBench::Get(video, PROPSETID_BREVICOR_INPUTDETECT, count, kBrevicorInputCountItem).result, S_OK);
    EXPECT_EQ(count.inputCount, 3u);
    for (uint32_t input = 0; input < 3; ++input) {
        BrevicorInputDetectRecord detect{};
        detect.listSelector = kInputListVideo;
        detect.inputNumber = input;
        ASSERT_EQ(PageBench::Get(video, PROPSETID_BREVICOR_INPUTDETECT, detect, kBrevicorInputDetectItem).result, S_OK);
        EXPECT_EQ(detect.ioIndex, input) << "the board's number of the input";
    }
    count.listSelector = 0;
    ASSERT_EQ(PageBench::Get(video, PROPSETID_BREVICOR_INPUTDETECT, count, kBrevicorInputCountItem).result, S_OK);
    EXPECT_EQ(count.inputCount, 3u);
    // The third audio input has its filter.
    EXPECT_NE(bench.OpenFilter(u"SDI Audio 3 (Talvexon HD 1)"), INVALID_HANDLE_VALUE);
    ASSERT_EQ(bench.RegisterPageLibrary(BENCH_TEST_PAGES), S_OK);
    const auto classes = bench.PageClasses();
    ASSERT_EQ(classes.size(), 1u);
    EXPECT_TRUE(IsEqualGUID(classes[0], CLSID_BenchTestPage));

    ASSERT_EQ(bench.OpenSheet(pagebench::kVideoFilter, {CLSID_BenchTestPage}), S_OK);
    EXPECT_TRUE(bench.SheetOpen());
    ASSERT_EQ(bench.TabCount(), 1);
    EXPECT_EQ(bench.TabTitle(0), u"Bench");
    ASSERT_NE(bench.Page(), nullptr);
    // The page read the record through the handle of the filter it is bound to.
    EXPECT_EQ(bench.Text(IDC_BENCH_SERIAL), "serial AB12345678");

    PageBench::ClearRequests();
    HANDLE second = bench.OpenFilter(pagebench::kVideoFilter);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    BrevicorDeviceConfigRecord record{};
    const PageBench::Reply reply = PageBench::Get(second, PROPSETID_BREVICOR_DEVICE_CONFIG, record);
    EXPECT_EQ(reply.result, S_OK);
    EXPECT_EQ(reply.returned, 628u);
    EXPECT_EQ(TextAt(record, 116, 12), u"Talvexon HD ");
    EXPECT_EQ(TextAt(record, 116 + 24, 1), std::u16string(1, u'\0'));
    std::u16string serial;
    for (uint16_t c : record.identity.serialNumber)
        serial.push_back(static_cast<char16_t>(c));
    EXPECT_EQ(serial, u"AB12345678");
    EXPECT_EQ(record.production.pciVendorId, 0x0A1F);

    // The request log holds that GET as it went: the set, the GET flag, the lengths and the status.
    const auto requests = PageBench::Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].handle, second);
    EXPECT_EQ(requests[0].ioControl, static_cast<ULONG>(IOCTL_KS_PROPERTY));
    EXPECT_TRUE(IsEqualGUID(requests[0].set, PROPSETID_BREVICOR_DEVICE_CONFIG));
    EXPECT_EQ(requests[0].flags, static_cast<ULONG>(KSPROPERTY_TYPE_GET));
    EXPECT_EQ(requests[0].inputLength, 628u);
    EXPECT_EQ(requests[0].outputLength, 628u);
    EXPECT_EQ(requests[0].returned, 628u);
    EXPECT_EQ(requests[0].status, 0);

    // The board's driver key is in the registry the bench reads.
    ASSERT_FALSE(bench.DeviceKey().empty());
    EXPECT_TRUE(PageBench::RegistryDword(bench.DeviceKey(), u"InstanceId").has_value());
    EXPECT_FALSE(PageBench::RegistryDword(bench.DeviceKey(), u"NoSuchValue").has_value());

    bench.CloseSheet();
    EXPECT_FALSE(bench.SheetOpen());
    const platform::UnloadReport report = bench.Shutdown();
    EXPECT_TRUE(report.leakChecksRun);
    EXPECT_EQ(report.leaks, 0u);
    EXPECT_EQ(report.devicesLeft, 0u);
    // A second teardown (the destructor's) gives the same report and does nothing more.
    EXPECT_EQ(bench.Shutdown().leaks, 0u);
}

TEST(PageBench, AFilterNameNoDeviceHasOpensNoSheetAndNoHandle)
{
    PageBench bench;
    ASSERT_EQ(bench.BoardStatus(), STATUS_SUCCESS);
    ASSERT_EQ(bench.RegisterPageLibrary(BENCH_TEST_PAGES), S_OK);
    EXPECT_EQ(bench.OpenSheet(u"Talvexon HD Video Device 9", {CLSID_BenchTestPage}), E_FAIL);
    EXPECT_FALSE(bench.SheetOpen());
    EXPECT_EQ(bench.Page(), nullptr);
    EXPECT_EQ(bench.OpenFilter(u"Talvexon HD Video Device 9"), INVALID_HANDLE_VALUE);
    // A library that is not there registers nothing.
    EXPECT_TRUE(FAILED(bench.RegisterPageLibrary("/nonexistent/Missing.ax")));
    EXPECT_EQ(bench.Shutdown().leaks, 0u);
}

TEST(PageBench, PicturesGoOnlyWhereTheTestSaysAndNeverAmongTheSources)
{
    PageBench bench;
    ASSERT_EQ(bench.RegisterPageLibrary(BENCH_TEST_PAGES), S_OK);
    ASSERT_EQ(bench.OpenSheet(pagebench::kVideoFilter, {CLSID_BenchTestPage}), S_OK);
    HWND page = bench.Page();
    ASSERT_NE(page, nullptr);
    const standin::WindowPixels pixels = PageBench::Pixels(page);
    RECT client{};
    GetClientRect(page, &client);
    EXPECT_EQ(pixels.width, client.right);
    EXPECT_EQ(pixels.height, client.bottom);
    // The page's face and the black of its labels' text.
    bool black = false;
    for (COLORREF pixel : pixels.pixels)
        black = black || pixel == RGB(0, 0, 0);
    EXPECT_TRUE(black);

    const fs::path source = fs::path(PAGE_BENCH_TEST_SOURCE_DIR);
    EXPECT_FALSE(PageBench::SavePicture(page, source, "bench"));
    EXPECT_FALSE(PageBench::SavePicture(page, source / "pictures", "bench"));
    EXPECT_FALSE(fs::exists(source / "bench.png"));
    EXPECT_FALSE(fs::exists(source / "pictures"));
    EXPECT_FALSE(PageBench::SavePicture(page, source / "PropPages" / ".." / "pictures", "bench"));
    EXPECT_FALSE(fs::exists(source / "pictures"));
    EXPECT_FALSE(PageBench::SavePicture(page, fs::path(), "bench"));

    const fs::path out = bench.Folder().parent_path() / (bench.Folder().filename().string() + "-pictures");
    ASSERT_TRUE(PageBench::SavePicture(page, out, "bench"));
    EXPECT_GT(fs::file_size(out / "bench.png"), 0u);
    std::error_code ignored;
    fs::remove_all(out, ignored);
}

} // namespace
