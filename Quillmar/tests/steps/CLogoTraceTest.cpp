// What the logo step writes to the trace and the event log: the file name it opens, the bitmap's
// header, the widening, the sized frames, and a caught exception with its plane's text.
#include <gtest/gtest.h>

#include "LogoBitmapFiles.h"
#include "StepTestPictures.h"
#include "TraceTestSupport.h"
#include "clogo.h"
#include "planework.h"

#include <fstream>

namespace {

class CLogoTraceTest : public tracetest::TraceTest {
protected:
    void PutLogo(const LogoPicture& picture)
    {
        const std::vector<uint8_t> bytes = EncodeBmp(picture);
        std::ofstream(root / "C" / "logo.bmp", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    void Configure(CLogo& step, LONG width, LONG height, bool key)
    {
        LogoSettings& s = step.Settings();
        LogoTestDrive::ToSettingsName("C:\\logo.bmp", s.fileName);
        s.width = s.right = width;
        s.height = s.bottom = height;
        s.keyColorEnable = key ? 1 : 0;
        s.keyColor = 0x00FF00FF;
    }
};

TEST_F(CLogoTraceTest, LoadingAndPlacingAreTraced)
{
    logger->SetTraceMask(kTraceHighs | kTraceErrors);
    PutLogo(LogoPicture(100, 50, {255, 0, 255}));
    CLogo step;
    Configure(step, 100, 50, true);
    step.InitLogo();
    ASSERT_TRUE(step.IsLoaded());
    EXPECT_EQ(DebugLinesWith("Logo File name is [\\DosDevices\\C:\\logo.bmp]").size(), 1u);
    EXPECT_EQ(DebugLinesWith("biSize=40, biWidth=100, biHeight=50, biPlanes=1, biBitCount=24, "
                             "biCompression=0x00000000, biSizeImage=0x00003a98")
                  .size(),
              1u);
    EXPECT_EQ(DebugLinesWith("Logo width of 100 resized to 112").size(), 1u);
    step.ResizeTheLogo(480, 720);
    EXPECT_EQ(DebugLinesWith("Working on sized logo frame").size(), 1u);
    EXPECT_EQ(DebugLinesWith("Working on sized masked frame").size(), 1u);
}

TEST_F(CLogoTraceTest, CaughtExceptionNamesThePlane)
{
    PutLogo(LogoPicture(16, 16, {255, 0, 0}));
    CLogo step;
    Configure(step, 16, 16, false);
    step.InitLogo();
    step.ResizeTheLogo(32, 32);
    VideoFramePtr frame = MakePicture(32, 32, 16, 128, 128);
    InjectPlaneWorkExceptions(2, STATUS_ACCESS_VIOLATION);
    step.ApplyLogo(frame.get());
    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), 2u);
    for (const auto& entry : entries)
        EXPECT_EQ(entry.messageId, 0xC0071085u);
    ASSERT_GE(entries[0].inserts.size(), 2u);
    EXPECT_EQ(entries[0].inserts[1], u"copy Y plane of logo image");
    EXPECT_EQ(entries[1].inserts[1], u"copy U plane of logo image");
    EXPECT_EQ(SampleAt(*frame, 2, 0, 0), 255); // the V plane was copied
}

} // namespace
