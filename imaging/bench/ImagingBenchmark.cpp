// Frame-sized runs of every plane copy and colour conversion at 1920 x 1080 and 720 x 486: bytes
// per second for copies (memcpy of the same frame is the yardstick), pixels per second for
// conversions, and each vector path beside its plain equivalent. Resizing of one 8-bit plane
// (nearest, linear, cubic, Lanczos-3, supersampling) between the driver's frame sizes, in ns per
// destination pixel: the whole of ResizePlane, and the vector kernel beside its plain equivalent
// on the same tables.
#include <benchmark/benchmark.h>

#include "imaging/imaging.h"
#include "ResizeEngine.h"
#include "ResizeKernels.h"
#include "RowKernels.h"
#include "SupersampleKernel.h"

#include <cmath>

#include <cstring>
#include <random>
#include <vector>

using namespace imaging;

// The program's allocation hooks: the resize engines take their scratch through them.
extern "C" void* ImagingAllocate(uint32_t bytes) noexcept
{
    return std::malloc(bytes);
}

extern "C" void ImagingRelease(void* block) noexcept
{
    std::free(block);
}

namespace {

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = uint8_t(rng());
    return v;
}

// A planar 4:2:2 frame with random samples.
struct Frame422 {
    Frame422(int w, int h) : width(w), height(h)
    {
        for (int p = 0; p < 3; ++p) {
            steps[p] = p == 0 ? w : w / 2;
            data[p] = RandomBytes(size_t(steps[p]) * h, uint32_t(p + 1));
            planes[p] = data[p].data();
        }
    }
    size_t Bytes() const { return data[0].size() + data[1].size() + data[2].size(); }
    int width, height;
    int32_t steps[3];
    std::vector<uint8_t> data[3];
    uint8_t* planes[3];
};

int Width(const benchmark::State& state)
{
    return int(state.range(0));
}

int Height(const benchmark::State& state)
{
    return int(state.range(1));
}

void Pixels(benchmark::State& state, int64_t pixels, int64_t bytes)
{
    state.SetItemsProcessed(state.iterations() * pixels);
    state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_MemcpyFrame422(benchmark::State& state)
{
    const Frame422 src(Width(state), Height(state));
    std::vector<uint8_t> dst(src.Bytes());
    for (auto _ : state) {
        size_t at = 0;
        for (int p = 0; p < 3; ++p) {
            std::memcpy(dst.data() + at, src.data[p].data(), src.data[p].size());
            at += src.data[p].size();
        }
        benchmark::ClobberMemory();
    }
    Pixels(state, int64_t(Width(state)) * Height(state), int64_t(src.Bytes()));
}

void BM_CopyPlaneFrame422(benchmark::State& state)
{
    const Frame422 src(Width(state), Height(state));
    Frame422 dst(Width(state), Height(state));
    for (auto _ : state) {
        for (int p = 0; p < 3; ++p)
            CopyPlane(src.planes[p], src.steps[p], dst.planes[p], dst.steps[p],
                      p == 0 ? src.width : src.width / 2, src.height);
        benchmark::ClobberMemory();
    }
    Pixels(state, int64_t(Width(state)) * Height(state), int64_t(src.Bytes()));
}

// Masks of the logo kind: runs of clear, set and mixed 16-byte blocks.
std::vector<uint8_t> LogoMask(size_t n)
{
    std::vector<uint8_t> mask(n);
    std::mt19937 rng(9);
    for (size_t i = 0; i < n; ++i) {
        const int kind = int((i / 64) % 3);
        mask[i] = kind == 0 ? 0 : (kind == 1 ? 255 : uint8_t(rng() & 1));
    }
    return mask;
}

template <bool Vector>
void BM_CopyPlaneMaskedLuma(benchmark::State& state)
{
    const int w = Width(state), h = Height(state);
    const auto src = RandomBytes(size_t(w) * h, 1);
    const auto mask = LogoMask(size_t(w) * h);
    std::vector<uint8_t> dst(size_t(w) * h);
    for (auto _ : state) {
        if constexpr (Vector) {
            CopyPlaneMasked(src.data(), w, dst.data(), w, w, h, mask.data(), w);
        } else {
            for (int r = 0; r < h; ++r)
                CopyRowMaskedPlain(src.data() + size_t(r) * w, dst.data() + size_t(r) * w, w,
                                   mask.data() + size_t(r) * w);
        }
        benchmark::ClobberMemory();
    }
    Pixels(state, int64_t(w) * h, int64_t(w) * h);
}

template <bool Vector>
void BM_NormDiffL2Luma(benchmark::State& state)
{
    const int w = Width(state), h = Height(state);
    const auto a = RandomBytes(size_t(w) * h, 1), b = RandomBytes(size_t(w) * h, 2);
    for (auto _ : state) {
        double result = 0;
        if constexpr (Vector) {
            NormDiffL2Plane(a.data(), w, b.data(), w, w, h, &result);
        } else {
            // The same bands, summed by the plain kernel.
            const int rows = int(2147483647 / (int64_t(w) * 65025));
            for (int r = 0; r < h; r += rows)
                result += double(SumSquaredDiffPlain(a.data() + size_t(r) * w, w,
                                                     b.data() + size_t(r) * w, w, w,
                                                     std::min(rows, h - r)));
        }
        benchmark::DoNotOptimize(result);
    }
    Pixels(state, int64_t(w) * h, 2 * int64_t(w) * h);
}

using PackedEntry = ImagingStatus (*)(const uint8_t* const[3], const int32_t[3], uint8_t*, int32_t,
                                      int32_t, int32_t);
using PlainRow = void (*)(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, int32_t);

void RGB555PlainRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int32_t n)
{
    YUVToRGB555Q4Plain(y, u, v, dst, n, false);
}

template <int BytesPerPixel, PackedEntry Entry, PlainRow Plain>
void BM_ToPacked(benchmark::State& state, bool vector)
{
    const Frame422 src(Width(state), Height(state));
    const int step = src.width * BytesPerPixel;
    std::vector<uint8_t> dst(size_t(step) * src.height);
    for (auto _ : state) {
        if (vector) {
            Entry(src.planes, src.steps, dst.data(), step, src.width, src.height);
        } else {
            for (int r = 0; r < src.height; ++r)
                Plain(src.planes[0] + size_t(r) * src.steps[0], src.planes[1] + size_t(r) * src.steps[1],
                      src.planes[2] + size_t(r) * src.steps[2], dst.data() + size_t(r) * step, src.width);
        }
        benchmark::ClobberMemory();
    }
    Pixels(state, int64_t(src.width) * src.height, int64_t(dst.size()));
}

void BM_RGB24ToPlanar422(benchmark::State& state, bool vector)
{
    Frame422 dst(Width(state), Height(state));
    const int step = dst.width * 3;
    const auto src = RandomBytes(size_t(step) * dst.height, 5);
    for (auto _ : state) {
        if (vector) {
            ConvertRGB24ToPlanar422(src.data(), step, dst.planes, dst.steps, dst.width, dst.height);
        } else {
            for (int r = 0; r < dst.height; ++r)
                RGB24ToYUVPairsPlain(src.data() + size_t(r) * step, dst.planes[0] + size_t(r) * dst.steps[0],
                                     dst.planes[1] + size_t(r) * dst.steps[1],
                                     dst.planes[2] + size_t(r) * dst.steps[2], dst.width);
        }
        benchmark::ClobberMemory();
    }
    Pixels(state, int64_t(dst.width) * dst.height, int64_t(src.size()));
}

void BM_I420ToPlanar422(benchmark::State& state)
{
    const Frame422 src(Width(state), Height(state)); // chroma rows beyond height / 2 go unread
    Frame422 dst(Width(state), Height(state));
    for (auto _ : state) {
        ConvertI420ToPlanar422(src.planes, src.steps, dst.planes, dst.steps, src.width, src.height);
        benchmark::ClobberMemory();
    }
    Pixels(state, int64_t(src.width) * src.height, int64_t(dst.Bytes()));
}

void BM_Planar422ToI420(benchmark::State& state)
{
    const Frame422 src(Width(state), Height(state));
    Frame422 dst(Width(state), Height(state));
    for (auto _ : state) {
        ConvertPlanar422ToI420(src.planes, src.steps, dst.planes, dst.steps, src.width, src.height);
        benchmark::ClobberMemory();
    }
    Pixels(state, int64_t(src.width) * src.height, int64_t(src.width) * src.height * 3 / 2);
}

void BM_Planar422ToRGB24Vector(benchmark::State& s)
{
    BM_ToPacked<3, ConvertPlanar422ToRGB24, YUVToRGB24Q4Plain>(s, true);
}
void BM_Planar422ToRGB24Plain(benchmark::State& s)
{
    BM_ToPacked<3, ConvertPlanar422ToRGB24, YUVToRGB24Q4Plain>(s, false);
}
void BM_Planar422ToRGB32Vector(benchmark::State& s)
{
    BM_ToPacked<4, ConvertPlanar422ToRGB32, YUVToRGB32Q4Plain>(s, true);
}
void BM_Planar422ToRGB32Plain(benchmark::State& s)
{
    BM_ToPacked<4, ConvertPlanar422ToRGB32, YUVToRGB32Q4Plain>(s, false);
}
void BM_Planar422ToRGB555Vector(benchmark::State& s)
{
    BM_ToPacked<2, ConvertPlanar422ToRGB555, RGB555PlainRow>(s, true);
}
void BM_Planar422ToRGB555Plain(benchmark::State& s)
{
    BM_ToPacked<2, ConvertPlanar422ToRGB555, RGB555PlainRow>(s, false);
}
void BM_RGB24ToPlanar422Vector(benchmark::State& s)
{
    BM_RGB24ToPlanar422(s, true);
}
void BM_RGB24ToPlanar422Plain(benchmark::State& s)
{
    BM_RGB24ToPlanar422(s, false);
}

void FrameSizes(benchmark::internal::Benchmark* b)
{
    b->Args({1920, 1080})->Args({720, 486})->ArgNames({"w", "h"});
}

// Resize cases: source width and height, destination width and height.
void ResizeSizes(benchmark::internal::Benchmark* b)
{
    b->Args({1920, 1080, 1280, 720})
        ->Args({1920, 1080, 720, 480})
        ->Args({720, 480, 1920, 1080})
        ->Args({720, 486, 1280, 720})
        ->ArgNames({"sw", "sh", "dw", "dh"});
}

void ShrinkSizes(benchmark::internal::Benchmark* b)
{
    b->Args({1920, 1080, 1280, 720})->Args({1920, 1080, 720, 480})->ArgNames({"sw", "sh", "dw", "dh"});
}

struct ResizeCase {
    explicit ResizeCase(const benchmark::State& state)
        : sw(int(state.range(0))), sh(int(state.range(1))), dw(int(state.range(2))),
          dh(int(state.range(3))), src(RandomBytes(size_t(sw) * sh, 7)), dst(size_t(dw) * dh)
    {
    }
    double XFactor() const { return double(dw) / sw; }
    double YFactor() const { return double(dh) / sh; }
    void Report(benchmark::State& state) const
    {
        // Destination pixels per second, inverted: the time per destination pixel, printed in
        // seconds with an SI prefix (1.5ns, 420ps).
        state.counters["per_dst_pixel"] = benchmark::Counter(
            double(dw) * dh,
            benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    }
    int sw, sh, dw, dh;
    std::vector<uint8_t> src, dst;
};

void BM_ResizePlane(benchmark::State& state, int interpolation)
{
    ResizeCase c(state);
    for (auto _ : state) {
        ResizePlane(c.src.data(), c.sw, c.sh, c.sw, {0, 0, c.sw, c.sh}, c.dst.data(), c.dw, c.dw,
                    c.dh, c.XFactor(), c.YFactor(), interpolation);
        benchmark::ClobberMemory();
    }
    c.Report(state);
}

// A table kernel on tables built once, as ResizePlane would build them: Q14 weights and 16-bit
// rows for linear, fractions for cubic, six-tap weights and the border arguments for Lanczos.
void BM_ResizeKernel(benchmark::State& state, int interpolation, ResizeKernel kernel)
{
    ResizeCase c(state);
    ResizeRequest r;
    r.src = c.src.data();
    r.srcWidth = c.sw;
    r.srcHeight = c.sh;
    r.srcStep = c.sw;
    r.roi = {0, 0, c.sw, c.sh};
    r.dst = c.dst.data();
    r.dstStep = c.dw;
    r.dstWidth = c.dw;
    r.dstHeight = c.dh;
    r.xFactor = c.XFactor();
    r.yFactor = c.YFactor();
    r.interpolation = interpolation;
    const ResizeTables t = BuildResizeTables(r);
    std::vector<std::vector<float>> rows(6, std::vector<float>(size_t(c.dw) + 4));
    ResizeKernelArgs args;
    args.src = c.src.data();
    args.dst = c.dst.data();
    args.srcStep = c.sw;
    args.dstStep = c.dw;
    args.dstWidth = t.dstWidth;
    args.dstHeight = t.dstHeight;
    args.rowOffsets = t.rowOffsets.data();
    args.colOffsets = t.colOffsets.data();
    if (t.integerLinear) {
        args.rowWeights = t.rowWeightsQ14.data();
        args.colWeights = t.colWeightsQ14.data();
    } else if (t.method == kResizeLanczos) {
        args.rowWeights = t.rowTaps.data();
        args.colWeights = t.colTaps.data();
    } else {
        args.rowWeights = t.rowFractions.data();
        args.colWeights = t.colFractions.data();
    }
    for (int k = 0; k < 6; ++k)
        args.rowBuffers[k] = rows[size_t(k)].data(); // 16-bit rows fit in the float ones
    args.colsFromOrigin = c.sw;
    args.rowsFromOrigin = c.sh;
    args.oneRowAdvance = r.yFactor >= 1.0;
    for (auto _ : state) {
        kernel(args);
        benchmark::ClobberMemory();
    }
    c.Report(state);
}

// A supersampling kernel with the arguments ResizeSupersample derives.
void BM_Supersample(benchmark::State& state, SupersampleKernel kernel)
{
    ResizeCase c(state);
    SupersampleArgs args;
    args.src = c.src.data();
    args.dst = c.dst.data();
    args.srcStep = c.sw;
    args.dstStep = c.dw;
    args.srcColumns = std::min(int(std::trunc((c.dw + 1) / c.XFactor())) + 1, c.sw);
    args.srcRows = c.sh;
    args.dstWidth = c.dw;
    args.dstHeight = c.dh;
    args.xRatio = 1.0 / c.XFactor();
    args.yRatio = 1.0 / c.YFactor();
    args.normaliser = c.XFactor() * c.YFactor();
    args.mode = (args.yRatio != std::floor(args.yRatio) ? 1 : 0) |
                (args.xRatio != std::floor(args.xRatio) ? 2 : 0);
    for (auto _ : state) {
        kernel(args);
        benchmark::ClobberMemory();
    }
    c.Report(state);
}

} // namespace

BENCHMARK_CAPTURE(BM_ResizePlane, nearest, 1)->Apply(ResizeSizes);
BENCHMARK_CAPTURE(BM_ResizeKernel, nearest_vector, 1, ResizeNearestRows8u_C1)->Apply(ResizeSizes);
BENCHMARK_CAPTURE(BM_ResizeKernel, nearest_scalar_equivalent, 1, ResizeNearestRows8u_C1ScalarEquivalent)
    ->Apply(ResizeSizes);
BENCHMARK_CAPTURE(BM_ResizeKernel, nearest_plain_set, 1, PlainNearestRows8u_C1)->Apply(ResizeSizes);
BENCHMARK_CAPTURE(BM_ResizePlane, linear, 2)->Apply(ResizeSizes);
BENCHMARK_CAPTURE(BM_ResizeKernel, linear_vector, 2, ResizeLinearRows8u_C1)->Apply(ResizeSizes);
BENCHMARK_CAPTURE(BM_ResizeKernel, linear_scalar_equivalent, 2, ResizeLinearRows8u_C1ScalarEquivalent)
    ->Apply(ResizeSizes);
BENCHMARK_CAPTURE(BM_ResizeKernel, linear_plain_set, 2, PlainLinearRows8u_C1)->Apply(ResizeSizes);
BENCHMARK_CAPTURE(BM_ResizePlane, cubic, 4)->Apply(ResizeSizes);
BENCHMARK_CAPTURE(BM_ResizeKernel, cubic_vector, 4, ResizeCubicRows8u_C1)->Apply(ResizeSizes);
BENCHMARK_CAPTURE(BM_ResizeKernel, cubic_scalar_equivalent, 4, ResizeCubicRows8u_C1ScalarEquivalent)
    ->Apply(ResizeSizes);
BENCHMARK_CAPTURE(BM_ResizeKernel, cubic_plain_set, 4, PlainCubicRows8u_C1)->Apply(ResizeSizes);
BENCHMARK_CAPTURE(BM_ResizePlane, lanczos, 16)->Apply(ResizeSizes);
BENCHMARK_CAPTURE(BM_ResizeKernel, lanczos_vector, 16, ResizeLanczosRows8u_C1)->Apply(ResizeSizes);
BENCHMARK_CAPTURE(BM_ResizeKernel, lanczos_scalar_equivalent, 16, ResizeLanczosRows8u_C1ScalarEquivalent)
    ->Apply(ResizeSizes);
BENCHMARK_CAPTURE(BM_ResizeKernel, lanczos_plain_set, 16, PlainLanczosRows8u_C1)->Apply(ResizeSizes);
BENCHMARK_CAPTURE(BM_ResizePlane, supersample, 8)->Apply(ShrinkSizes);
BENCHMARK_CAPTURE(BM_Supersample, vector, SupersampleResize8u_C1)->Apply(ShrinkSizes);
BENCHMARK_CAPTURE(BM_Supersample, plain, SupersampleResize8u_C1Plain)->Apply(ShrinkSizes);

BENCHMARK(BM_MemcpyFrame422)->Apply(FrameSizes);
BENCHMARK(BM_CopyPlaneFrame422)->Apply(FrameSizes);
BENCHMARK(BM_CopyPlaneMaskedLuma<true>)->Name("BM_CopyPlaneMaskedLuma/vector")->Apply(FrameSizes);
BENCHMARK(BM_CopyPlaneMaskedLuma<false>)->Name("BM_CopyPlaneMaskedLuma/plain")->Apply(FrameSizes);
BENCHMARK(BM_NormDiffL2Luma<true>)->Name("BM_NormDiffL2Luma/vector")->Apply(FrameSizes);
BENCHMARK(BM_NormDiffL2Luma<false>)->Name("BM_NormDiffL2Luma/plain")->Apply(FrameSizes);
BENCHMARK(BM_Planar422ToRGB24Vector)->Name("BM_Planar422ToRGB24/vector")->Apply(FrameSizes);
BENCHMARK(BM_Planar422ToRGB24Plain)->Name("BM_Planar422ToRGB24/plain")->Apply(FrameSizes);
BENCHMARK(BM_Planar422ToRGB32Vector)->Name("BM_Planar422ToRGB32/vector")->Apply(FrameSizes);
BENCHMARK(BM_Planar422ToRGB32Plain)->Name("BM_Planar422ToRGB32/plain")->Apply(FrameSizes);
BENCHMARK(BM_Planar422ToRGB555Vector)->Name("BM_Planar422ToRGB555/vector")->Apply(FrameSizes);
BENCHMARK(BM_Planar422ToRGB555Plain)->Name("BM_Planar422ToRGB555/plain")->Apply(FrameSizes);
BENCHMARK(BM_RGB24ToPlanar422Vector)->Name("BM_RGB24ToPlanar422/vector")->Apply(FrameSizes);
BENCHMARK(BM_RGB24ToPlanar422Plain)->Name("BM_RGB24ToPlanar422/plain")->Apply(FrameSizes);
BENCHMARK(BM_I420ToPlanar422)->Apply(FrameSizes);
BENCHMARK(BM_Planar422ToI420)->Apply(FrameSizes);

BENCHMARK_MAIN();
