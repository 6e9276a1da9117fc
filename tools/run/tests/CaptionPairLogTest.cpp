// The caption pairs of a capture: whatever order the reader threads hand them on in, they come
// back by presentation time, so that the text decodes as it was sent.
#include "captionpairlog.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using capture::CaptionPairLog;
constexpr int64_t kFieldTime = 333667;

std::string Text(const std::vector<CaptionPairLog::Pair>& pairs)
{
    std::string text;
    for (const auto& pair : pairs)
        text += {char(pair[0]), char(pair[1])};
    return text;
}

TEST(CaptionPairLog, PairsFinishedOutOfOrderComeBackByPresentationTime)
{
    // "INPUT 0 COLOUR" as seven fields, the third finished after the fourth and the sixth first.
    const std::string line = "INPUT 0 COLOUR";
    const int order[] = {5, 0, 1, 3, 2, 4, 6};
    CaptionPairLog log;
    for (int field : order)
        log.Add(1000 + field * kFieldTime, {uint8_t(line[2 * field]), uint8_t(line[2 * field + 1])});
    EXPECT_EQ(Text(log.Pairs()), line);
    EXPECT_EQ(log.Size(), 7u);
}

TEST(CaptionPairLog, PairsOfTheSameTimeKeepTheirArrivalOrder)
{
    CaptionPairLog log;
    log.Add(2 * kFieldTime, {'C', 'D'});
    log.Add(kFieldTime, {'A', 'B'});
    log.Add(2 * kFieldTime, {'E', 'F'});
    log.Add(2 * kFieldTime, {'G', 'H'});
    EXPECT_EQ(Text(log.Pairs()), "ABCDEFGH");
}

TEST(CaptionPairLog, FourReadersAddingAtOnceLoseNothingAndComeOutInOrder)
{
    // Each reader takes every fourth field, as four outstanding requests do.
    constexpr int kReaders = 4, kFields = 4000;
    CaptionPairLog log;
    std::vector<std::thread> readers;
    for (int r = 0; r < kReaders; ++r)
        readers.emplace_back([&log, r] {
            for (int field = kFields - kReaders + r; field >= 0; field -= kReaders)
                log.Add(field * kFieldTime, {uint8_t(field >> 8), uint8_t(field)});
        });
    for (std::thread& reader : readers)
        reader.join();
    const auto pairs = log.Pairs();
    ASSERT_EQ(pairs.size(), size_t(kFields));
    for (int field = 0; field < kFields; ++field)
        ASSERT_EQ((pairs[field][0] << 8) | pairs[field][1], field) << "at " << field;
}

} // namespace
