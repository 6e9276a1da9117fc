// The image primitives against the best-known peers on one thread: resizing against OpenCV's
// cv::resize (one thread, whatever instruction set it picks on this processor), the colour
// conversions and plane copies against libyuv (likewise). Ours stay within SSE3.
//
// Every case runs ours and the peer alternately, one call each (in turns, which goes first), for
// `runs` rounds after a warm-up call of each, and compares the medians: ratio = our median / the
// peer's median (lower is better). The last line gives the worst ratio of each group. Pin the
// program to one core when measuring:
//   taskset -c 2 build/default/bin/imaging_peer_comparison [runs] [filter]
// `filter` keeps only the cases whose name contains it.
#include "imaging/imaging.h"

#include <libyuv/convert.h>
#include <libyuv/convert_argb.h>
#include <libyuv/convert_from.h>
#include <libyuv/planar_functions.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

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

// A 64-byte aligned buffer of random bytes.
class Buffer {
public:
    explicit Buffer(size_t bytes, uint32_t seed = 1)
        : storage_(bytes + 64)
    {
        const auto at = reinterpret_cast<uintptr_t>(storage_.data());
        data_ = storage_.data() + ((64 - at % 64) % 64);
        std::mt19937 rng(seed);
        for (size_t i = 0; i < bytes; ++i)
            data_[i] = uint8_t(rng());
    }
    uint8_t* data() { return data_; }

private:
    std::vector<uint8_t> storage_;
    uint8_t* data_ = nullptr;
};

// Three planes of one picture, chroma at half width and full height (a 4:2:0 reader uses the
// upper half of each chroma plane).
struct Planes {
    Planes(int width, int height)
        : y(size_t(width) * height, 11), u(size_t(width / 2) * height, 12),
          v(size_t(width / 2) * height, 13)
    {
        ptr[0] = y.data();
        ptr[1] = u.data();
        ptr[2] = v.data();
        step[0] = width;
        step[1] = step[2] = width / 2;
    }
    Buffer y, u, v;
    uint8_t* ptr[3];
    int32_t step[3];
};

double Seconds(const std::function<void()>& call)
{
    const auto start = std::chrono::steady_clock::now();
    call();
    const auto stop = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(stop - start).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Case {
    std::string group;
    std::string name;
    std::string peer;
    std::function<void()> ours;
    std::function<void()> theirs;
};

std::string ProcessorName()
{
    std::ifstream info("/proc/cpuinfo");
    std::string line;
    while (std::getline(info, line))
        if (line.rfind("model name", 0) == 0)
            return line.substr(line.find(':') + 2);
    return "unknown processor";
}

struct Size {
    int w;
    int h;
};

const char* InterName(int interpolation)
{
    switch (interpolation) {
    case 1: return "nearest";
    case 2: return "linear";
    case 4: return "cubic";
    case 16: return "lanczos3";
    default: return "supersample";
    }
}

int PeerInterpolation(int interpolation)
{
    switch (interpolation) {
    case 1: return cv::INTER_NEAREST;
    case 2: return cv::INTER_LINEAR;
    case 4: return cv::INTER_CUBIC;
    case 16: return cv::INTER_LANCZOS4;
    default: return cv::INTER_AREA;
    }
}

void AddResizeCases(std::vector<Case>& cases)
{
    const Size from1080{1920, 1080};
    const std::vector<std::pair<Size, Size>> shapes = {
        {from1080, {1280, 720}}, {from1080, {720, 480}}, {from1080, {640, 360}},
        {{720, 480}, from1080}};
    for (int interpolation : {1, 2, 4, 16, 8}) {
        for (const auto& [s, d] : shapes) {
            if (interpolation == 8 && d.w > s.w)
                continue; // supersampling only shrinks
            auto src = std::make_shared<Buffer>(size_t(s.w) * s.h, 7);
            auto ours = std::make_shared<Buffer>(size_t(d.w) * d.h);
            auto theirs = std::make_shared<Buffer>(size_t(d.w) * d.h);
            const double fx = double(d.w) / s.w, fy = double(d.h) / s.h;
            char name[96];
            std::snprintf(name, sizeof name, "%s %dx%d to %dx%d", InterName(interpolation), s.w,
                          s.h, d.w, d.h);
            Case c;
            c.group = "resize";
            c.name = name;
            c.peer = std::string("cv::resize ") +
                     (interpolation == 16 ? "INTER_LANCZOS4"
                                          : (interpolation == 8 ? "INTER_AREA" : InterName(interpolation)));
            c.ours = [=] {
                ResizePlane(src->data(), s.w, s.h, s.w, {0, 0, s.w, s.h}, ours->data(), d.w, d.w,
                            d.h, fx, fy, interpolation);
            };
            c.theirs = [=] {
                const cv::Mat in(s.h, s.w, CV_8UC1, src->data(), size_t(s.w));
                cv::Mat out(d.h, d.w, CV_8UC1, theirs->data(), size_t(d.w));
                cv::resize(in, out, cv::Size(d.w, d.h), 0, 0, PeerInterpolation(interpolation));
            };
            cases.push_back(std::move(c));
        }
    }
}

void AddConversionCases(std::vector<Case>& cases)
{
    const int w = 1920, h = 1080;
    auto p422 = std::make_shared<Planes>(w, h);
    auto p420 = std::make_shared<Planes>(w, h);
    auto out422 = std::make_shared<Planes>(w, h);
    auto packed = std::make_shared<Buffer>(size_t(w) * h * 4);
    auto rgb24 = std::make_shared<Buffer>(size_t(w) * h * 3, 5);
    using namespace libyuv;

    cases.push_back({"conversions", "planar 4:2:2 to RGB24", "libyuv I422ToRAW (R, G, B bytes)",
                     [=] { ConvertPlanar422ToRGB24(p422->ptr, p422->step, packed->data(), 3 * w, w, h); },
                     [=] {
                         I422ToRAW(p422->ptr[0], w, p422->ptr[1], w / 2, p422->ptr[2], w / 2,
                                   packed->data(), 3 * w, w, h);
                     }});
    cases.push_back({"conversions", "planar 4:2:2 to RGB32", "libyuv I422ToABGR (R, G, B, A bytes)",
                     [=] { ConvertPlanar422ToRGB32(p422->ptr, p422->step, packed->data(), 4 * w, w, h); },
                     [=] {
                         I422ToABGR(p422->ptr[0], w, p422->ptr[1], w / 2, p422->ptr[2], w / 2,
                                    packed->data(), 4 * w, w, h);
                     }});
    cases.push_back({"conversions", "planar 4:2:2 to RGB555", "libyuv I420ToARGB1555 (no 4:2:2 source there)",
                     [=] { ConvertPlanar422ToRGB555(p422->ptr, p422->step, packed->data(), 2 * w, w, h); },
                     [=] {
                         I420ToARGB1555(p420->ptr[0], w, p420->ptr[1], w / 2, p420->ptr[2], w / 2,
                                        packed->data(), 2 * w, w, h);
                     }});
    cases.push_back({"conversions", "RGB24 to planar 4:2:2", "libyuv RAWToI420 (no 4:2:2 result there)",
                     [=] { ConvertRGB24ToPlanar422(rgb24->data(), 3 * w, out422->ptr, out422->step, w, h); },
                     [=] {
                         RAWToI420(rgb24->data(), 3 * w, out422->ptr[0], w, out422->ptr[1], w / 2,
                                   out422->ptr[2], w / 2, w, h);
                     }});
    cases.push_back({"conversions", "planar 4:2:2 to I420", "libyuv I422ToI420",
                     [=] { ConvertPlanar422ToI420(p422->ptr, p422->step, out422->ptr, out422->step, w, h); },
                     [=] {
                         I422ToI420(p422->ptr[0], w, p422->ptr[1], w / 2, p422->ptr[2], w / 2,
                                    out422->ptr[0], w, out422->ptr[1], w / 2, out422->ptr[2], w / 2,
                                    w, h);
                     }});
    cases.push_back({"conversions", "I420 to planar 4:2:2", "libyuv I420ToI422",
                     [=] { ConvertI420ToPlanar422(p420->ptr, p420->step, out422->ptr, out422->step, w, h); },
                     [=] {
                         I420ToI422(p420->ptr[0], w, p420->ptr[1], w / 2, p420->ptr[2], w / 2,
                                    out422->ptr[0], w, out422->ptr[1], w / 2, out422->ptr[2], w / 2,
                                    w, h);
                     }});
}

void AddCopyCases(std::vector<Case>& cases)
{
    struct Shape {
        int width, height, stride;
    };
    for (const Shape s : {Shape{1900, 1080, 2048}, Shape{1920, 1080, 1920}}) {
        auto src = std::make_shared<Buffer>(size_t(s.stride) * s.height, 3);
        auto dst = std::make_shared<Buffer>(size_t(s.stride) * s.height);
        char name[64];
        std::snprintf(name, sizeof name, "CopyPlane %dx%d stride %d", s.width, s.height, s.stride);
        cases.push_back(
            {"copies", name, "libyuv CopyPlane",
             [=] { CopyPlane(src->data(), s.stride, dst->data(), s.stride, s.width, s.height); },
             [=] { libyuv::CopyPlane(src->data(), s.stride, dst->data(), s.stride, s.width, s.height); }});
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(21, std::atoi(argv[1])) : 31;
    const std::string filter = argc > 2 ? argv[2] : "";
    cv::setNumThreads(1);

    std::vector<Case> cases;
    AddResizeCases(cases);
    AddConversionCases(cases);
    AddCopyCases(cases);

    std::printf("processor: %s\n", ProcessorName().c_str());
    std::printf("OpenCV %s (%s), %d thread; libyuv; %d alternating runs a case, medians\n",
                CV_VERSION, cv::checkHardwareSupport(CV_CPU_AVX2) ? "AVX2 present" : "no AVX2",
                cv::getNumThreads(), runs);
    std::printf("%-36s %10s %10s %7s  %s\n", "case", "ours ms", "peer ms", "ratio", "peer");

    std::map<std::string, std::pair<double, std::string>> worst;
    std::vector<std::string> order;
    for (const Case& c : cases) {
        if (!filter.empty() && c.name.find(filter) == std::string::npos &&
            c.group.find(filter) == std::string::npos)
            continue;
        c.ours();
        c.theirs();
        std::vector<double> ours, theirs;
        // Who goes first alternates too, so that neither side always runs on the other's caches.
        for (int r = 0; r < runs; ++r) {
            if (r & 1) {
                theirs.push_back(Seconds(c.theirs));
                ours.push_back(Seconds(c.ours));
            } else {
                ours.push_back(Seconds(c.ours));
                theirs.push_back(Seconds(c.theirs));
            }
        }
        const double a = Median(ours), b = Median(theirs);
        const double ratio = a / b;
        std::printf("%-36s %10.3f %10.3f %7.2f  %s\n", c.name.c_str(), a * 1e3, b * 1e3, ratio,
                    c.peer.c_str());
        std::fflush(stdout);
        if (!worst.count(c.group)) {
            order.push_back(c.group);
            worst[c.group] = {ratio, c.name};
        } else if (ratio > worst[c.group].first) {
            worst[c.group] = {ratio, c.name};
        }
    }
    std::printf("worst ratio:");
    for (size_t i = 0; i < order.size(); ++i)
        std::printf("%s %s %.2f (%s)", i ? ";" : "", order[i].c_str(), worst[order[i]].first,
                    worst[order[i]].second.c_str());
    std::printf("\n");
    return 0;
}
