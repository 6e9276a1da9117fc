// Reentrancy: several threads convert, copy, measure, resize and allocate at once, each on its own
// buffers, and every result equals the one computed alone.
#include <gtest/gtest.h>

#include "imaging/imaging.h"
#include "ScratchSupport.h"

#include <random>
#include <thread>
#include <vector>

namespace {

struct Work {
    explicit Work(uint32_t seed)
        : y(64 * 16), u(32 * 16), v(32 * 16), rgb(64 * 16 * 4), back(64 * 16), larger(100 * 24),
          smaller(40 * 10), cubic(100 * 24), lanczos(40 * 10)
    {
        std::mt19937 rng(seed);
        for (auto* plane : {&y, &u, &v})
            for (auto& b : *plane)
                b = uint8_t(rng());
    }
    std::vector<uint8_t> y, u, v, rgb, back, larger, smaller, cubic, lanczos;
    double norm = -1.0;

    void Run()
    {
        const uint8_t* planes[3] = {y.data(), u.data(), v.data()};
        const int32_t steps[3] = {64, 32, 32};
        for (int round = 0; round < 50; ++round) {
            ASSERT_EQ(ConvertPlanar422ToRGB32(planes, steps, rgb.data(), 256, 61, 16), StatusOk);
            ASSERT_EQ(CopyPlane(y.data(), 64, back.data(), 64, 64, 16), StatusOk);
            ASSERT_EQ(NormDiffL2Plane(y.data(), 64, u.data(), 32, 32, 16, &norm), StatusOk);
            // Resizing allocates and frees scratch through the hooks on every call.
            ASSERT_EQ(ResizePlane(y.data(), 64, 16, 64, {0, 0, 64, 16}, larger.data(), 100, 100,
                                  24, 1.5625, 1.5, 2),
                      StatusOk);
            ASSERT_EQ(ResizePlane(y.data(), 64, 16, 64, {0, 0, 64, 16}, smaller.data(), 40, 40, 10,
                                  0.625, 0.625, 8),
                      StatusOk);
            ASSERT_EQ(ResizePlane(y.data(), 64, 16, 64, {0, 0, 64, 16}, cubic.data(), 100, 100, 24,
                                  1.5625, 1.5, 4),
                      StatusOk);
            ASSERT_EQ(ResizePlane(y.data(), 64, 16, 64, {0, 0, 64, 16}, lanczos.data(), 40, 40, 10,
                                  0.625, 0.625, 16),
                      StatusOk);
            float* scratch = imaging::AllocAlignedFloats(100 + round);
            ASSERT_NE(scratch, nullptr);
            ASSERT_EQ(imaging::ZeroFloats(scratch, 4 * (100 + round)), StatusOk);
            imaging::FreeAligned(scratch);
        }
    }
};

} // namespace

TEST(Concurrency, EntryPointsAreReentrant)
{
    constexpr int kThreads = 6;
    std::vector<Work> alone, together;
    for (int i = 0; i < kThreads; ++i) {
        alone.emplace_back(uint32_t(i + 1));
        together.emplace_back(uint32_t(i + 1));
    }
    for (auto& w : alone)
        w.Run();
    std::vector<std::thread> threads;
    for (auto& w : together)
        threads.emplace_back([&w] { w.Run(); });
    for (auto& t : threads)
        t.join();
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(together[i].rgb, alone[i].rgb);
        EXPECT_EQ(together[i].back, alone[i].y);
        EXPECT_EQ(together[i].norm, alone[i].norm);
        EXPECT_EQ(together[i].larger, alone[i].larger);
        EXPECT_EQ(together[i].smaller, alone[i].smaller);
        EXPECT_EQ(together[i].cubic, alone[i].cubic);
        EXPECT_EQ(together[i].lanczos, alone[i].lanczos);
    }
}
