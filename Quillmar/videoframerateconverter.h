// VideoFrameRateConverter: the frame-rate step (algorithm id 2), second in every capture and
// preview chain. At each output time of a child it delivers whichever of the last two input frames
// lies nearer; each child has its own delivery clock. For outputs of 24 or 23.976 frames a second
// it can undo 3:2 pull-down (inverse telecine): it measures how much one field of each frame
// differs from the frame before, finds the repeated field of the five-frame cycle and rebuilds the
// frame carrying it with the field of the next frame into one progressive picture.
//
// Frames: the stamp (GetFrameNumber) is the time in 100-ns units, the frame interval the input
// interval; flag kFrameFlagGenerated marks a progressive or already handled frame. The step keeps
// two history frames at the input size (the previous frame and the copy frame); they are never
// writable for the children. Passing the input through (equal intervals, no telecine) delivers
// the input itself; the stamp and sequence word it writes there are put back after the children.
#pragma once
#include "algorithm.h"
#include "km/types.h"

class VideoFrame;

class VideoFrameRateConverter : public Algorithm {
public:
    // Output intervals of 24 frames a second, and of 23.976 (film carried on 29.97-frame video),
    // the only ones inverse telecine runs for.
    static constexpr ULONG kTelecineOutputInterval = 416667;
    static constexpr ULONG kTelecineOutputIntervalShort = 416666;
    static constexpr ULONG kTelecineOutputIntervalFilm = 417083;
    static constexpr bool IsTelecineOutputInterval(ULONG interval)
    {
        return interval == kTelecineOutputInterval || interval == kTelecineOutputIntervalShort ||
               interval == kTelecineOutputIntervalFilm;
    }
    // Frames of the pull-down cycle and samples of each analysis window.
    static constexpr ULONG kCycleLength = 5;
    // Added to the candidate's difference: every other difference must lie above it to lock.
    static constexpr double kLockMargin = 500.0;
    // Pictures of this many lines or more (both fields) take the high-definition phase rules.
    static constexpr LONG kHighDefinitionLines = 720;
    // Frames seen before rebuilding starts.
    static constexpr ULONGLONG kFramesBeforeRebuilding = 7;
    // The analysis time before the first analysis: none.
    static constexpr LONGLONG kNoAnalysisTime = -1;

    // outputInterval and resyncInterval in 100-ns units. The field offset of the comparisons is 0.
    VideoFrameRateConverter(ULONG outputInterval, bool inverseTelecine, bool resync, LONGLONG resyncInterval,
                            bool autoDetectTelecine);
    ~VideoFrameRateConverter() override;

    void Process(Frame* frame) override;
    // Ids, output intervals and inverse-telecine flags equal; with inverse telecine also field
    // offsets, resync flags, resync intervals (when resync is on) and auto-detect flags.
    bool IsEqual(const Algorithm* other) const override;

    // One field (every second line from the field offset) of `source` into the same field of
    // `destination`, each frame with its own strides.
    void CopyFieldToFrame(const VideoFrame* source, VideoFrame* destination);
    // The difference of one luma field between the previous frame and `frame` over a band of a
    // quarter of the field's lines across the middle of the picture (field rows from height / 8),
    // full width, into m_dblFrameDiffs[*index]; *best follows the smallest (index 0 sets it);
    // *index is incremented.
    void PSNRThisFrame(const VideoFrame* frame, ULONG* index, ULONG* best);
    // Locked when every difference but the candidate's lies above the candidate's + 500 (while
    // searching; above 0 otherwise) and at most one other difference is exactly 0. Traces the five
    // differences and the decision; stores and returns the locked flag.
    bool ValidatePSNRResults(ULONG candidate);
    // One frame of the telecine analysis and rebuilding (see the source).
    void DoInverseTelecine();

    // State, for traces and tests.
    ULONG GetOutputInterval() const { return m_nOutputInterval; }
    bool IsInverseTelecineOn() const { return m_bInverseTelecine; }
    bool IsLocked() const { return m_bFlagIVTCLocked; }
    bool IsPhaseFound() const { return m_bPhaseFound; }
    bool IsSearching() const { return m_bSearching; }
    bool IsRepeatPending() const { return m_bRepeatPending; }
    LONG GetFramesToPush() const { return m_nFramesToPush; }
    ULONG GetCycleCounter() const { return m_nCycleCounter; }
    double GetFrameDiff(ULONG index) const { return index < kCycleLength ? m_dblFrameDiffs[index] : 0.0; }
    ULONG GetInputInterval() const { return m_nInputInterval; }
    ULONGLONG GetFrameCounter() const { return m_nFrameCounter; }
    LONGLONG GetAnalysisTime() const { return m_nAnalysisTime; }
    // Progressive frames rebuilt from two fields so far.
    ULONGLONG GetRebuiltFrameCount() const { return m_nRebuiltFrames; }
    const VideoFrame* GetPreviousFrame() const { return m_pPreviousFrame; }
    const VideoFrame* GetCopyFrame() const { return m_pCopyFrame; }

private:
    friend class VideoFrameRateConverterTestPeer;

    bool EnsureHistory(const VideoFrame* input);
    void DestroyHistory();
    void ResetTelecine();
    void NoteInputInterval(ULONG interval);
    // A step from the previous input's stamp to `stamp` beyond 1.2 x the input interval (the
    // larger of `previousInterval` and the current one): the converter's and every child's next
    // delivery time move on by the step less one interval.
    void FollowInputGap(LONGLONG stamp, ULONG previousInterval);
    void Deliver(VideoFrame* input, LONGLONG stamp);
    void AdjustNextDelivery(LONGLONG stamp);
    bool IsHighDefinition(const VideoFrame* frame) const;

    // Settings.
    ULONG m_nOutputInterval;
    bool m_bInverseTelecine;
    bool m_bResync;
    LONGLONG m_nResyncInterval;
    bool m_bAutoDetectTelecine;
    LONG m_nFieldOffset = 0;

    // Input interval last seen and the band 0.8 x to 1.2 x around it.
    ULONG m_nInputInterval = 0;
    ULONG m_nInputIntervalLow = 0;
    ULONG m_nInputIntervalHigh = 0;

    ULONGLONG m_nFrameCounter = 0;
    bool m_bDeliver = false;
    ULONG m_nSequence = 0;

    VideoFrame* m_pPreviousFrame = nullptr;
    VideoFrame* m_pCopyFrame = nullptr;
    VideoFrame* m_pCurrentFrame = nullptr; // the frame of this Process call: input, copy or rebuilt
    LONGLONG m_nPreviousStamp = 0;
    // Set while passing through: the previous frame no longer is the input before this one.
    bool m_bPreviousFrameStale = false;

    bool m_bNextDeliveryStarted = false;
    LONGLONG m_nNextDeliveryTime = 0;
    LONGLONG m_nChildNextDeliveryTime[kMaximumChildren] = {};
    const Algorithm* m_pChildClockOwner[kMaximumChildren] = {};

    LONGLONG m_nCurrentTime = 0;
    LONGLONG m_nAnalysisTime = kNoAnalysisTime;

    double m_dblFrameDiffs[kCycleLength] = {};
    ULONG m_nSampleIndex = 0;
    ULONG m_nBestIndex = 0;
    ULONG m_nCheckIndex = 0;
    ULONG m_nCheckBestIndex = 0;

    bool m_bSearching = true;
    bool m_bPhaseFound = false;
    bool m_bFlagIVTCLocked = false;
    bool m_bRepeatPending = false;
    bool m_bResyncDue = false;
    LONG m_nFramesToPush = 0;
    ULONG m_nCycleCounter = 0;
    ULONGLONG m_nRebuiltFrames = 0;
};
