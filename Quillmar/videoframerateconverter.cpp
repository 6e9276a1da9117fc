// VideoFrameRateConverter: delivery clocks, history frames and the inverse-telecine analysis.
//
// Inverse telecine, frame by frame (after the first):
//  - search window (phase not found): five differences; when they lock, the phase (frames to push)
//    follows from the smallest one's position;
//  - check window (phase found, searching again at cycle position 0): five more; a lock at another
//    position moves the phase;
//  - rebuilding (phase found, from the seventh frame on): the frame at phase 0 carries the repeated
//    field; it is held back, and the next frame's field completes it into one progressive picture,
//    delivered in its place. The delivery clock may then lag by up to one output interval: the
//    rebuilt frame fills the held frame's delivery, and the clock catches up where the cycle has
//    a frame to spare, so that four pictures of every five frames go out, each once;
//  - resynchronisation: when the resync interval has passed since the last analysis while locked,
//    the next cycle position 0 starts a new check with a new analysis time.
#include "videoframerateconverter.h"

#include <algorithm>

#include "imaging/imaging.h"
#include "picturegeometry.h"
#include "roundtoint.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videoframe.h"

VideoFrameRateConverter::VideoFrameRateConverter(ULONG outputInterval, bool inverseTelecine, bool resync,
                                                 LONGLONG resyncInterval, bool autoDetectTelecine)
    : Algorithm(kAlgorithmIdFrameRate), m_nOutputInterval(outputInterval), m_bInverseTelecine(inverseTelecine),
      m_bResync(resync), m_nResyncInterval(resyncInterval), m_bAutoDetectTelecine(autoDetectTelecine)
{
    TRACE_SCOPE(this, "VideoFrameRateConverter::VideoFrameRateConverter", kTraceLowEnter,
                "OutputInterval=%u, InverseTelecine=%d, Resync=%d, ResyncInterval=%I64d, AutoDetect=%d",
                outputInterval, inverseTelecine ? 1 : 0, resync ? 1 : 0, resyncInterval, autoDetectTelecine ? 1 : 0);
}

VideoFrameRateConverter::~VideoFrameRateConverter()
{
    TRACE_SCOPE(this, "VideoFrameRateConverter::~VideoFrameRateConverter", kTraceLowEnter);
    DestroyHistory();
}

bool VideoFrameRateConverter::IsEqual(const Algorithm* other) const
{
    if (!Algorithm::IsEqual(other))
        return false;
    const auto* peer = static_cast<const VideoFrameRateConverter*>(other);
    if (m_nOutputInterval != peer->m_nOutputInterval || m_bInverseTelecine != peer->m_bInverseTelecine)
        return false;
    if (!m_bInverseTelecine)
        return true;
    if (m_nFieldOffset != peer->m_nFieldOffset || m_bResync != peer->m_bResync ||
        m_bAutoDetectTelecine != peer->m_bAutoDetectTelecine)
        return false;
    return !m_bResync || m_nResyncInterval == peer->m_nResyncInterval;
}

void VideoFrameRateConverter::DestroyHistory()
{
    delete m_pPreviousFrame;
    delete m_pCopyFrame;
    m_pPreviousFrame = nullptr;
    m_pCopyFrame = nullptr;
}

void VideoFrameRateConverter::ResetTelecine()
{
    for (double& diff : m_dblFrameDiffs)
        diff = 0.0;
    m_nSampleIndex = m_nBestIndex = m_nCheckIndex = m_nCheckBestIndex = 0;
    m_bSearching = true;
    m_bPhaseFound = m_bFlagIVTCLocked = m_bRepeatPending = m_bResyncDue = false;
    m_nFramesToPush = 0;
    m_nCycleCounter = 0;
    m_nAnalysisTime = kNoAnalysisTime;
}

bool VideoFrameRateConverter::EnsureHistory(const VideoFrame* input)
{
    if (m_pPreviousFrame != nullptr && !m_pPreviousFrame->IsSameSize(input)) {
        // A new picture size: new history, and the telecine analysis starts over.
        DestroyHistory();
        ResetTelecine();
    }
    if (m_pPreviousFrame != nullptr)
        return true;
    try {
        m_pPreviousFrame = new VideoFrame(input->GetWidth(), input->GetHeight(), 8, true);
        m_pCopyFrame = new VideoFrame(input->GetWidth(), input->GetHeight(), 8, true);
    } catch (...) {
        // The allocation raised: the frames that were made go again.
    }
    if (m_pPreviousFrame == nullptr || m_pCopyFrame == nullptr || !IsPictureUsable(m_pPreviousFrame) ||
        !IsPictureUsable(m_pCopyFrame)) {
        DestroyHistory();
        return false;
    }
    m_pPreviousFrame->CopyFrame(input);
    input->CopyAttributes(m_pPreviousFrame, true);
    m_pPreviousFrame->SetWritable(false);
    m_pCopyFrame->SetWritable(false);
    m_nPreviousStamp = input->GetFrameNumber();
    m_bPreviousFrameStale = false;
    return true;
}

void VideoFrameRateConverter::NoteInputInterval(ULONG interval)
{
    if (interval == m_nInputInterval)
        return;
    TRACE_LINE(this, "VideoFrameRateConverter::Process", kTraceHighs,
               "Input interval changed from %d to %d at frame# %d. Output Interval is %d", m_nInputInterval, interval,
               static_cast<LONG>(m_nFrameCounter), m_nOutputInterval);
    m_nInputInterval = interval;
    const ULONG band = static_cast<ULONG>(static_cast<ULONGLONG>(interval) * 200 / 1000);
    m_nInputIntervalHigh = interval + band;
    m_nInputIntervalLow = interval - band;
}

void VideoFrameRateConverter::Process(Frame* frame)
{
    BeginTiming();
    auto* input = static_cast<VideoFrame*>(frame);
    if (!IsPictureUsable(input)) {
        EndTiming();
        return;
    }
    // 1.
    ++m_nFrameCounter;
    m_bDeliver = true;

    // 2. History frames at the input size. Without them (no memory) the input passes through.
    if (!EnsureHistory(input)) {
        EndTiming();
        DeliverToChildren(input);
        return;
    }

    // 3.
    const ULONG inputInterval = input->GetFrameInterval();
    const ULONG previousInterval = m_nInputInterval;
    NoteInputInterval(inputInterval);

    // 4. Passing through needs no copy; everything else works on the copy frame.
    if (inputInterval == m_nOutputInterval && !m_bInverseTelecine) {
        m_pCurrentFrame = input;
        // Passing through keeps no history: the previous frame is older than the last input.
        m_bPreviousFrameStale = true;
    } else {
        m_pCopyFrame->CopyFrame(input);
        input->CopyAttributes(m_pCopyFrame, true);
        m_pCopyFrame->SetWritable(false);
        m_pCurrentFrame = m_pCopyFrame;
    }

    // 5.
    const bool inputHandled = input->HasFlags(kFrameFlagGenerated);
    if (!inputHandled) {
        m_pCurrentFrame->ClearFlags(kFrameFlagGenerated);
        if (m_bInverseTelecine && !m_bAutoDetectTelecine)
            m_pCurrentFrame->AddFlags(kFrameFlagGenerated);
    }

    // 6. The input's stamp, kept here: delivery rewrites the stamps of the frames it hands on.
    m_nCurrentTime = m_pCurrentFrame->GetFrameNumber();
    const LONGLONG stamp = m_nCurrentTime;

    // 7.
    if (!inputHandled && m_bInverseTelecine) {
        if (IsTelecineOutputInterval(m_nOutputInterval)) {
            DoInverseTelecine();
        } else {
            m_bInverseTelecine = false;
            m_bRepeatPending = false;
        }
    }
    EndTiming();

    // A gap in the input (frames the stream never got) moves every delivery clock on by the
    // time missing from it, so that the children's times follow the stream's and the gap shows
    // below as the frames dropped; a clock left behind would deliver late from then on.
    FollowInputGap(stamp, previousInterval);

    // 8. and 9.
    if (m_bDeliver)
        Deliver(input, stamp);

    // 10. The frame just made becomes the previous frame.
    if (m_pCurrentFrame != m_pPreviousFrame && (inputInterval != m_nOutputInterval || m_bInverseTelecine)) {
        VideoFrame* swap = m_pPreviousFrame;
        m_pPreviousFrame = m_pCopyFrame;
        m_pCopyFrame = swap;
        m_pPreviousFrame->SetIntervalWord(0);
        m_bPreviousFrameStale = false;
    }
    m_nPreviousStamp = stamp;
    m_pCurrentFrame = nullptr;
}

void VideoFrameRateConverter::FollowInputGap(LONGLONG stamp, ULONG previousInterval)
{
    // Across a change of rate the step from the last input is either interval.
    const ULONG interval = std::max(previousInterval, m_nInputInterval);
    if (!m_bNextDeliveryStarted || interval == 0)
        return;
    const LONGLONG step = stamp - m_nPreviousStamp;
    if (step <= static_cast<LONGLONG>(interval) + static_cast<LONGLONG>(interval) * 200 / 1000)
        return;
    const LONGLONG missing = step - static_cast<LONGLONG>(interval);
    TRACE_LINE(this, "VideoFrameRateConverter::Process", kTraceHighs,
               "Input gap of %I64d at frame# %d: delivery times move on by %I64d", step,
               static_cast<LONG>(m_nFrameCounter), missing);
    m_nNextDeliveryTime += missing;
    for (LONG i = 0; i < kMaximumChildren; ++i)
        if (m_pChildClockOwner[i] != nullptr)
            m_nChildNextDeliveryTime[i] += missing;
}

void VideoFrameRateConverter::Deliver(VideoFrame* input, LONGLONG stamp)
{
    if (!m_bNextDeliveryStarted) {
        m_nNextDeliveryTime = m_nCurrentTime;
        m_bNextDeliveryStarted = true;
    }
    if (m_nNextDeliveryTime > m_nCurrentTime)
        return;

    const ULONG inputInterval = m_nInputInterval;
    const LONGLONG larger = m_nOutputInterval > inputInterval ? m_nOutputInterval : inputInterval;
    LONGLONG d1 = m_nNextDeliveryTime - m_nPreviousStamp;
    LONGLONG d2 = m_nCurrentTime - m_nNextDeliveryTime;
    if (m_nOutputInterval <= inputInterval) {
        d1 = 1;
        d2 = 0;
    }
    VideoFrame* delivered = m_pCurrentFrame;
    if (d1 < d2 && !m_pCurrentFrame->HasFlags(kFrameFlagGenerated) && !m_bPreviousFrameStale) {
        delivered = m_pPreviousFrame;
        input->CopyAttributes(delivered, false);
    }

    // The input itself is only lent for the children: what is written into it is put back.
    const bool passingInput = delivered == input;
    const LONGLONG inputStamp = input->GetFrameNumber();
    const ULONG inputSequence = input->GetIntervalWord();
    const bool inputWritable = input->IsWritable();
    const LONG children = GetChildCount();
    ++m_nSequence;
    for (LONG i = 0; i < kMaximumChildren; ++i) {
        Algorithm* child = GetChild(i);
        if (child == nullptr)
            break;
        if (m_pChildClockOwner[i] != child) {
            // A child new in this slot starts its clock at the converter's.
            m_pChildClockOwner[i] = child;
            m_nChildNextDeliveryTime[i] = m_nNextDeliveryTime;
        }
        delivered->SetFrameNumber(m_nChildNextDeliveryTime[i]);
        delivered->SetIntervalWord(m_nSequence);
        delivered->SetWritable(passingInput && inputWritable && children == 1);
        m_nChildNextDeliveryTime[i] += larger;
        child->Process(delivered);
    }
    if (passingInput) {
        input->SetFrameNumber(inputStamp);
        input->SetIntervalWord(inputSequence);
        input->SetWritable(inputWritable);
    } else {
        delivered->SetWritable(false);
    }
    AdjustNextDelivery(stamp);
}

void VideoFrameRateConverter::AdjustNextDelivery(LONGLONG stamp)
{
    const ULONG inputInterval = m_nInputInterval;
    const LONGLONG larger = m_nOutputInterval > inputInterval ? m_nOutputInterval : inputInterval;
    m_nNextDeliveryTime += larger;
    if (m_nNextDeliveryTime >= stamp || m_bRepeatPending)
        return;
    if (m_nOutputInterval < inputInterval) {
        m_nNextDeliveryTime = stamp + inputInterval;
        return;
    }
    // While rebuilding, a lag of one output interval is the held-back frame's and is caught up.
    if (m_bPhaseFound && m_bInverseTelecine && stamp - m_nNextDeliveryTime <= static_cast<LONGLONG>(m_nOutputInterval))
        return;
    TRACE_LINE(this, "VideoFrameRateConverter::Process", kTraceHighs,
               m_nOutputInterval > inputInterval ? "Adjusting next frame delivery time (0)"
                                                 : "Adjusting next frame delivery time (1)");
    // Whole output intervals until the time is not before the stamp (at once, not a loop: a long
    // gap in the stamps costs nothing, an output interval of 0 cannot hang).
    if (m_nOutputInterval == 0) {
        m_nNextDeliveryTime = stamp;
        return;
    }
    const LONGLONG behind = stamp - m_nNextDeliveryTime;
    const LONGLONG steps = (behind + m_nOutputInterval - 1) / m_nOutputInterval;
    m_nNextDeliveryTime += steps * m_nOutputInterval;
}

bool VideoFrameRateConverter::IsHighDefinition(const VideoFrame* frame) const
{
    return frame->GetActiveSize(0).height + frame->GetActiveSize(1).height >= kHighDefinitionLines;
}

void VideoFrameRateConverter::CopyFieldToFrame(const VideoFrame* source, VideoFrame* destination)
{
    if (source == nullptr || destination == nullptr)
        return;
    destination->CopyFieldToFrame(source, m_nFieldOffset, m_nFieldOffset, 0);
}

void VideoFrameRateConverter::PSNRThisFrame(const VideoFrame* frame, ULONG* index, ULONG* best)
{
    if (*index >= kCycleLength)
        return;
    double result = 0.0;
    const VideoFrame* previous = m_pPreviousFrame;
    if (previous != nullptr && previous->IsSameSize(frame)) {
        const LONG height = frame->GetHeight();
        // Field rows height / 8 to 3 x height / 8: frame rows from 2 x (height / 8) + field offset.
        const LONGLONG firstRow = 2LL * (height / 8) + m_nFieldOffset;
        const LONG fieldRows = height / 4;
        const LONG previousStride = previous->GetStride(0);
        const LONG frameStride = frame->GetStride(0);
        const ImagingStatus status = NormDiffL2Plane(
            previous->GetPlane(0) + firstRow * previousStride, 2 * previousStride,
            frame->GetPlane(0) + firstRow * frameStride, 2 * frameStride, frame->GetWidth(), fieldRows, &result);
        if (status != StatusOk)
            result = 0.0;
    }
    m_dblFrameDiffs[*index] = result;
    if (*index == 0 || result < m_dblFrameDiffs[*best])
        *best = *index;
    ++*index;
}

bool VideoFrameRateConverter::ValidatePSNRResults(ULONG candidate)
{
    if (candidate >= kCycleLength)
        candidate = 0;
    const double threshold = m_bSearching ? m_dblFrameDiffs[candidate] + kLockMargin : 0.0;
    bool locked = true;
    ULONG zeros = 0;
    for (ULONG i = 0; i < kCycleLength; ++i) {
        if (i == candidate)
            continue;
        if (!(m_dblFrameDiffs[i] > threshold))
            locked = false;
        if (m_dblFrameDiffs[i] == 0.0)
            ++zeros;
    }
    if (zeros > 1)
        locked = false;
    for (ULONG i = 0; i < kCycleLength; ++i)
        TRACE_LINE(this, "VideoFrameRateConverter::ValidatePSNRResults", kTraceHighs, "m_dblFrameDiffs[%d]=%d", i,
                   RoundToInt(m_dblFrameDiffs[i]));
    TRACE_LINE(this, "VideoFrameRateConverter::ValidatePSNRResults", kTraceHighs,
               "nTempInterlacedFrameIndex=%d, m_bFlagIVTCLocked=%d", candidate, locked ? 1 : 0);
    m_bFlagIVTCLocked = locked;
    return locked;
}

void VideoFrameRateConverter::DoInverseTelecine()
{
    if (m_nFrameCounter <= 1)
        return;
    VideoFrame* current = m_pCurrentFrame;
    const bool highDefinition = IsHighDefinition(current);

    // 1. Search window.
    if (!m_bPhaseFound && m_bSearching) {
        PSNRThisFrame(current, &m_nSampleIndex, &m_nBestIndex);
        if (m_nSampleIndex >= kCycleLength) {
            const bool locked = ValidatePSNRResults(m_nBestIndex);
            m_bSearching = false;
            if (locked) {
                m_nFramesToPush = static_cast<LONG>(m_nBestIndex);
                if (highDefinition) {
                    m_nFramesToPush -= 2;
                    if (m_nFramesToPush < 0)
                        m_nFramesToPush += 4;
                }
                TRACE_LINE(this, "VideoFrameRateConverter::DoInverseTelecine", kTraceHighs, "m_nFramesToPush = %d",
                           m_nFramesToPush);
                m_bPhaseFound = true;
            } else {
                m_nSampleIndex = 0;
                m_nBestIndex = 0;
                m_bSearching = true;
            }
            m_nAnalysisTime = current->GetFrameNumber();
        }
    }
    // 2. Check window.
    else if (m_bPhaseFound && m_bSearching) {
        PSNRThisFrame(current, &m_nCheckIndex, &m_nCheckBestIndex);
        if (m_nCheckIndex >= kCycleLength) {
            const bool locked = ValidatePSNRResults(m_nCheckBestIndex);
            m_bSearching = false;
            if (locked && m_nCheckBestIndex != m_nBestIndex) {
                m_nBestIndex = m_nCheckBestIndex;
                if (highDefinition) {
                    m_nFramesToPush = static_cast<LONG>(m_nBestIndex) - 1;
                    if (m_nFramesToPush < 0)
                        m_nFramesToPush += 5;
                } else {
                    m_nFramesToPush = static_cast<LONG>(m_nBestIndex) + 1;
                }
                TRACE_LINE(this, "VideoFrameRateConverter::DoInverseTelecine", kTraceHighs, "m_nFramesToPush = %d",
                           m_nFramesToPush);
            }
            m_nAnalysisTime = current->GetFrameNumber();
            m_nCheckIndex = 0;
            m_nCheckBestIndex = 0;
            for (double& diff : m_dblFrameDiffs)
                diff = 0.0;
        }
    }

    // 3. Rebuilding.
    if (m_bPhaseFound && m_nFrameCounter >= kFramesBeforeRebuilding) {
        if (m_nFramesToPush == 0) {
            // This frame carries the repeated field (half of it is the picture before): it is not
            // delivered; the next frame's field completes it into the picture it began.
            m_bRepeatPending = true;
            m_bDeliver = false;
        } else if (m_bRepeatPending) {
            m_bRepeatPending = false;
            CopyFieldToFrame(current, m_pPreviousFrame);
            m_pPreviousFrame->SetFrameNumber(current->GetFrameNumber());
            m_pPreviousFrame->SetFrameInterval(current->GetFrameInterval());
            m_pPreviousFrame->AddFlags(kFrameFlagGenerated);
            m_pCurrentFrame = current = m_pPreviousFrame;
            ++m_nRebuiltFrames;
        }
        --m_nFramesToPush;
        if (m_nFramesToPush < 0)
            m_nFramesToPush = static_cast<LONG>(kCycleLength) - 1;
        if (++m_nCycleCounter >= kCycleLength)
            m_nCycleCounter = 0;
    }

    // 4. Resynchronisation and the restart of the check at each cycle start.
    if (m_nAnalysisTime != kNoAnalysisTime) {
        if (m_bResync && m_bFlagIVTCLocked && m_nCurrentTime >= m_nAnalysisTime + m_nResyncInterval)
            m_bResyncDue = true;
        if (m_nCycleCounter == 0) {
            if (m_bResyncDue) {
                m_bResyncDue = false;
                m_bSearching = true;
                m_nCheckIndex = 0;
                m_nCheckBestIndex = 0;
                m_nAnalysisTime = m_nCurrentTime;
            } else if (!(m_bPhaseFound && !m_bResync)) {
                m_bSearching = true;
                m_nCheckIndex = 0;
                m_nCheckBestIndex = 0;
            }
        }
    } else {
        m_nAnalysisTime = m_nCurrentTime;
    }

    // 5.
    if (m_bFlagIVTCLocked)
        current->AddFlags(kFrameFlagGenerated);
}
