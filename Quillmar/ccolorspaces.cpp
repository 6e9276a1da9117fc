// CColorSpaces: table building, the swap of SetTables under the processing lock, and the two
// adjustment passes.
#include "ccolorspaces.h"

#include <cstring>

#include "frameprocessingsource.h"
#include "kernel/driverheap.h"
#include "picturegeometry.h"
#include "planework.h"
#include "procamptables.h"
#include "stepguard.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videoframe.h"

namespace {

constexpr LONG kNeutralContrast = 100;
constexpr LONG kNeutralGamma = 100;
// The chroma tables' products are divided by this (tables scaled by 100000, saturation + 100 in
// percent).
constexpr LONGLONG kChromaDivisor = 10000000;

bool TablesAllZero(const ProcAmpBlock& block)
{
    for (UCHAR entry : block.lumaTable)
        if (entry != 0)
            return false;
    for (ULONG i = 0; i < 256; ++i)
        if (block.sineTable[i] != 0 || block.cosineTable[i] != 0)
            return false;
    return true;
}

// 128 + trunc(difference x k / 10,000,000), limited to 16..240. The product reaches about 3.7e9
// for tables in range and more for foreign ones: it is formed in 64 bits, and a product that does
// not fit even those lies far outside the limits anyway.
UCHAR ChromaEntry(LONGLONG difference, LONGLONG k)
{
    LONGLONG product = 0;
    LONGLONG quotient = 0;
    if (__builtin_mul_overflow(difference, k, &product))
        quotient = ((difference < 0) != (k < 0)) ? -kChromaDivisor : kChromaDivisor;
    else
        quotient = product / kChromaDivisor; // C++ division truncates toward zero
    LONGLONG value = 128 + quotient;
    if (value < CColorSpaces::kChromaMinimum)
        value = CColorSpaces::kChromaMinimum;
    else if (value > CColorSpaces::kChromaMaximum)
        value = CColorSpaces::kChromaMaximum;
    return static_cast<UCHAR>(value);
}

} // namespace

CColorSpaces::CColorSpaces() : Algorithm(kAlgorithmIdProcAmp), m_tables(AllocateTableSet(true))
{
    TRACE_SCOPE(this, "CColorSpaces::CColorSpaces", kTraceLowEnter);
}

CColorSpaces::~CColorSpaces()
{
    TRACE_SCOPE(this, "CColorSpaces::~CColorSpaces", kTraceLowEnter);
    DriverFree(m_tables);
}

CColorSpaces::TableSet* CColorSpaces::AllocateTableSet(bool raiseOnFailure)
{
    void* block = raiseOnFailure ? DriverAllocate(sizeof(TableSet)) : DriverAllocateNoRaise(sizeof(TableSet));
    if (block == nullptr)
        return nullptr;
    std::memset(block, 0, sizeof(TableSet));
    auto* set = static_cast<TableSet*>(block);
    set->settings.contrast = set->settings.contrastNeutral = kNeutralContrast;
    set->settings.gamma = set->settings.gammaNeutral = kNeutralGamma;
    return set;
}

void CColorSpaces::LoadBlock(TableSet* set, const ProcAmpBlock& block)
{
    set->settings = block;
    if (TablesAllZero(block)) {
        ProcAmpValues values{};
        values.brightness = block.brightness;
        values.brightnessNeutral = block.brightnessNeutral;
        values.contrast = block.contrast;
        values.hue = block.hue;
        values.gamma = block.gamma;
        ProcAmpTables tables;
        ComputeProcAmpTables(values, &tables);
        std::memcpy(set->settings.lumaTable, tables.luma, sizeof(tables.luma));
        std::memcpy(set->settings.sineTable, tables.sine, sizeof(tables.sine));
        std::memcpy(set->settings.cosineTable, tables.cosine, sizeof(tables.cosine));
    }
}

void CColorSpaces::BuildTables(TableSet* set)
{
    const ProcAmpBlock& s = set->settings;
    set->hueSaturationActive = s.hue != 0 || s.saturation != 0;
    set->brightnessContrastGammaActive =
        s.brightness != 0 || s.contrast != kNeutralContrast || s.gamma != kNeutralGamma;
    const LONGLONG k = static_cast<LONGLONG>(s.saturation) + 100;
    for (ULONG u = 0; u < 256; ++u) {
        const LONGLONG b = s.cosineTable[u];
        UCHAR* rowU = set->newU + u * 256;
        UCHAR* rowV = set->newV + u * 256;
        for (ULONG v = 0; v < 256; ++v) {
            const LONGLONG a = s.sineTable[v];
            rowU[v] = ChromaEntry(b - a, k);
            rowV[v] = ChromaEntry(b + a, k);
        }
    }
    set->tablesLoaded = true;
}

void CColorSpaces::LoadSettings(const ProcAmpBlock& block)
{
    TRACE_SCOPE(this, "CColorSpaces::LoadSettings", kTraceLowEnter);
    LoadBlock(m_tables, block);
}

void CColorSpaces::UpdateSettings()
{
    TRACE_SCOPE(this, "CColorSpaces::UpdateSettings", kTraceLowEnter);
    BuildTables(m_tables);
}

bool CColorSpaces::SetTables(const ULONG* block, ULONG words)
{
    TRACE_SCOPE(this, "CColorSpaces::SetTables", kTraceLowEnter);
    if (block == nullptr || words < kProcAmpBlockWords)
        return false;
    TableSet* fresh = AllocateTableSet(false);
    if (fresh == nullptr)
        return false;
    ProcAmpBlock incoming;
    std::memcpy(&incoming, block, sizeof(incoming));
    LoadBlock(fresh, incoming);
    BuildTables(fresh);

    TableSet* old = nullptr;
    auto* source = dynamic_cast<FrameProcessingSource*>(GetRoot());
    if (source != nullptr) {
        KPLXFastStackLock hold(source->GetProcessingLock(), this, "CColorSpaces::SetTables", __LINE__);
        old = m_tables;
        m_tables = fresh;
    } else {
        // Not in a stream's tree: nothing processes concurrently.
        old = m_tables;
        m_tables = fresh;
    }
    DriverFree(old);
    return true;
}

void CColorSpaces::Process(Frame* frame)
{
    BeginTiming();
    auto* in = static_cast<VideoFrame*>(frame);
    Frame* result = frame;
    const TableSet* set = m_tables;
    const bool adjust = set->tablesLoaded && (set->brightnessContrastGammaActive || set->hueSaturationActive);
    if (adjust && IsPictureUsable(in)) {
        // Every plane is written or copied by the passes, so the work frame needs no picture copy.
        VideoFrame* out = PrepareInPlaceFrame(in, false);
        if (out != nullptr) {
            const bool inPlace = out == in;
            bool done = true;
            if (set->brightnessContrastGammaActive)
                done = AdjustBrightnessContrastGamma(in, out, inPlace);
            if (done && set->hueSaturationActive)
                done = AdjustHueSaturation(in, out, inPlace);
            // A work frame left half made is not passed on: the incoming picture goes instead.
            result = (done || inPlace) ? out : frame;
        }
    }
    // Nothing to adjust: the incoming frame goes on as it came (same bytes as a copy would be).
    EndTiming();
    DeliverToChildren(result);
}

bool CColorSpaces::CheckGeometry(const VideoFrame* in, const VideoFrame* out) const
{
    return in == out ? IsPictureUsable(in) : ArePicturesCompatible(in, out);
}

bool CColorSpaces::AdjustBrightnessContrastGamma(const VideoFrame* in, VideoFrame* out, bool inPlace)
{
    if (!CheckGeometry(in, out))
        return false;
    const TableSet* set = m_tables;
    const UCHAR* luma = set->settings.lumaTable;
    const LONG width = in->GetWidth();
    const LONG height = in->GetHeight();
    return GuardedStepWork(this, "CColorSpaces::AdjustBrightnessContrastGamma", "adjust brightness, contrast and gamma",
                           &m_exceptionCount, [&] {
                               const UCHAR* src = in->GetPlane(0);
                               UCHAR* dst = out->GetPlane(0);
                               for (LONG row = 0; row < height; ++row) {
                                   const UCHAR* s = src + static_cast<LONGLONG>(in->GetStride(0)) * row;
                                   UCHAR* d = dst + static_cast<LONGLONG>(out->GetStride(0)) * row;
                                   for (LONG x = 0; x < width; ++x)
                                       d[x] = luma[s[x]];
                               }
                               if (!inPlace && !set->hueSaturationActive) {
                                   for (ULONG p = 1; p < 3; ++p)
                                       CopyPlaneRows(in->GetPlane(p), in->GetStride(p), out->GetPlane(p),
                                                     out->GetStride(p), width / 2, height);
                               }
                           });
}

bool CColorSpaces::AdjustHueSaturation(const VideoFrame* in, VideoFrame* out, bool inPlace)
{
    if (!CheckGeometry(in, out))
        return false;
    const TableSet* set = m_tables;
    const LONG width = in->GetWidth();
    const LONG height = in->GetHeight();
    return GuardedStepWork(this, "CColorSpaces::AdjustHueSaturation", "adjust hue and saturation", &m_exceptionCount,
                           [&] {
                               if (!inPlace && !set->brightnessContrastGammaActive)
                                   CopyPlaneRows(in->GetPlane(0), in->GetStride(0), out->GetPlane(0),
                                                 out->GetStride(0), width, height);
                               const LONG pairs = width / 2;
                               for (LONG row = 0; row < height; ++row) {
                                   const UCHAR* su = in->GetPlane(1) + static_cast<LONGLONG>(in->GetStride(1)) * row;
                                   const UCHAR* sv = in->GetPlane(2) + static_cast<LONGLONG>(in->GetStride(2)) * row;
                                   UCHAR* du = out->GetPlane(1) + static_cast<LONGLONG>(out->GetStride(1)) * row;
                                   UCHAR* dv = out->GetPlane(2) + static_cast<LONGLONG>(out->GetStride(2)) * row;
                                   for (LONG x = 0; x < pairs; ++x) {
                                       const ULONG u = su[x];
                                       const ULONG v = sv[x];
                                       du[x] = set->newU[u * 256 + v];
                                       dv[x] = set->newV[v * 256 + u];
                                   }
                               }
                           });
}

bool CColorSpaces::IsEqual(const Algorithm* other) const
{
    if (!Algorithm::IsEqual(other))
        return false;
    const auto* peer = static_cast<const CColorSpaces*>(other);
    const TableSet* a = m_tables;
    const TableSet* b = peer->m_tables;
    const ProcAmpBlock& x = a->settings;
    const ProcAmpBlock& y = b->settings;
    return a->brightnessContrastGammaActive == b->brightnessContrastGammaActive &&
           a->hueSaturationActive == b->hueSaturationActive && x.hue == y.hue && x.hueNeutral == y.hueNeutral &&
           x.saturation == y.saturation && x.saturationNeutral == y.saturationNeutral && x.contrast == y.contrast &&
           x.contrastNeutral == y.contrastNeutral && x.gamma == y.gamma && x.gammaNeutral == y.gammaNeutral &&
           x.brightness == y.brightness && x.brightnessNeutral == y.brightnessNeutral;
}

bool CColorSpaces::IsBrightnessContrastGammaActive() const
{
    return m_tables->brightnessContrastGammaActive;
}

bool CColorSpaces::IsHueSaturationActive() const
{
    return m_tables->hueSaturationActive;
}

bool CColorSpaces::AreTablesLoaded() const
{
    return m_tables->tablesLoaded;
}

ProcAmpBlock CColorSpaces::GetSettings() const
{
    return m_tables->settings;
}

UCHAR CColorSpaces::NewU(UCHAR u, UCHAR v) const
{
    return m_tables->newU[static_cast<ULONG>(u) * 256 + v];
}

UCHAR CColorSpaces::NewV(UCHAR u, UCHAR v) const
{
    return m_tables->newV[static_cast<ULONG>(v) * 256 + u];
}
