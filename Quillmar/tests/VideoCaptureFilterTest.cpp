// The video capture filter's own data without a board: the connection formats of its capture and
// preview pins in either form, and the decoder's signal type with its check.
#include <gtest/gtest.h>

#include "km/status.h"
#include "videocapturefilter.h"

#include <cstring>
#include <vector>

namespace {

TEST(VideoCaptureFilterTest, ConnectionFormatsKeepOneFormPerPin)
{
    VideoCaptureFilter filter;
    std::vector<UCHAR> info(152, 0x11), info2(176, 0x22), out(176, 0);
    ULONG length = 99;
    ASSERT_EQ(filter.GetConnectionFormat(1, out.data(), 176, &length), STATUS_SUCCESS);
    EXPECT_EQ(length, 0u);

    EXPECT_EQ(filter.SetConnectionFormat(0, info.data(), 152), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(filter.SetConnectionFormat(3, info.data(), 152), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(filter.SetConnectionFormat(1, nullptr, 152), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(filter.SetConnectionFormat(1, info.data(), 151), STATUS_INVALID_PARAMETER);

    ASSERT_EQ(filter.SetConnectionFormat(1, info.data(), 152), STATUS_SUCCESS);
    ASSERT_EQ(filter.GetConnectionFormat(1, out.data(), 176, &length), STATUS_SUCCESS);
    EXPECT_EQ(length, 152u);
    EXPECT_EQ(std::memcmp(out.data(), info.data(), 152), 0);
    // The other pin has none; the other form replaces the first.
    ASSERT_EQ(filter.GetConnectionFormat(2, out.data(), 176, &length), STATUS_SUCCESS);
    EXPECT_EQ(length, 0u);
    ASSERT_EQ(filter.SetConnectionFormat(1, info2.data(), 176), STATUS_SUCCESS);
    EXPECT_EQ(filter.GetConnectionFormat(1, out.data(), 175, &length), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(length, 176u);
    ASSERT_EQ(filter.GetConnectionFormat(1, out.data(), 176, &length), STATUS_SUCCESS);
    EXPECT_EQ(out, info2);
    EXPECT_EQ(filter.GetConnectionFormat(4, out.data(), 176, &length), STATUS_INVALID_PARAMETER);
}

TEST(VideoCaptureFilterTest, SignalTypeTakesTheTwoDefinitionsAndTheStandardBits)
{
    VideoCaptureFilter filter;
    BrevicorVideoDecoderRecord record{};
    for (ULONG type : {2u, 1u, 0x4u, 0x400000u, 0x61FFFFu}) {
        record.currentSignalType = type;
        EXPECT_EQ(filter.SetVideoDecoderSettings(&record, false), STATUS_SUCCESS) << type;
        EXPECT_EQ(filter.GetVideoDecoderCurrentSignalType(), type);
    }
    for (ULONG type : {0u, 0x800000u, 0x80000000u}) {
        record.currentSignalType = type;
        EXPECT_EQ(filter.SetVideoDecoderSettings(&record, false), static_cast<NTSTATUS>(0xC0071073)) << type;
        EXPECT_EQ(filter.GetVideoDecoderCurrentSignalType(), 0x61FFFFu);
    }
}

} // namespace
