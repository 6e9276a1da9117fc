// Algorithm: a node of a capture stream's processing tree. The root is the stream's
// FrameProcessingSource, the inner nodes are the processing steps (crop, deinterlace, scale, colour
// space, ...) and the leaves are one FrameProcessedSink per streaming pin. A frame enters at the
// root and every node hands it, after its own work, to each of its children in slot order. Pins
// that ask for the same processing share nodes (LogicalStream::AddAlgorithmChain, through IsEqual).
//
// The base holds the tree links (16 child slots filled from slot 0 without gaps, parent, root),
// the step's algorithm id, a modified flag used when chains are rebuilt, searches over the tree,
// the step's own output frame and a timing record whose summary is traced when the step goes.
//
// Writing a step:
//   class CMyStep : public Algorithm {
//   public:
//       CMyStep() : Algorithm(kAlgorithmIdCrop) {}
//       bool IsEqual(const Algorithm* other) const override;   // ids and settings
//       void Process(Frame* frame) override
//       {
//           BeginTiming();
//           ... work: in place through PrepareInPlaceFrame, or into GetOutputFrame() ...
//           EndTiming();
//           DeliverToChildren(result);
//       }
//   };
// The tree has no lock of its own: it is processed under the source's processing lock on the
// stream's queue thread, and chains change under the same lock.
#pragma once
#include "kernel/driverheap.h"
#include "km/types.h"

class Frame;
class VideoFrame;
class AudioFrame;
class StreamingPinInterface;
struct FrameWorkItem;

// The algorithm ids; AlgorithmDisplayName gives the names the traces print.
enum AlgorithmId : LONG {
    kAlgorithmIdProcessingSource = 0, // FrameProcessingSource
    kAlgorithmIdProcessingSink = 1,   // FrameProcessedSink
    kAlgorithmIdFrameRate = 2,        // VideoFrameRateConverter
    kAlgorithmIdCrop = 3,             // CCrop
    kAlgorithmIdDeinterlace = 4,      // CDeInterlace
    kAlgorithmIdScale = 5,            // CScale
    kAlgorithmIdImage = 6,
    kAlgorithmIdProcAmp = 7,          // CColorSpaces
    kAlgorithmIdColorSpaceNotUsed = 8,
    kAlgorithmIdHistogram = 9,
    kAlgorithmIdRenderer = 10,
    kAlgorithmIdColorSpace = 11,      // COutColorSpace
    kAlgorithmIdLogo = 12,            // CLogo
    kAlgorithmIdSampleSize = 13,      // CAudioSampleSizeConverter
    kAlgorithmIdStereoPair = 14,      // CAudioStereoPairExtractor
    kAlgorithmIdCC = 15,              // CDeliverCC
    kAlgorithmIdOverlayCC = 16,       // COverlayCC
    kAlgorithmIdVolume = 17,          // CAudioVolumeControl
    kAlgorithmIdLOSOverlay = 18,      // CVideoLOS
    kAlgorithmIdVBI = 19,             // CDeliverVBIData
    kAlgorithmIdSeparateFrame = 20,   // CSeperateVBIFromVideo
    kAlgorithmIdSampleRate = 21,      // CAudioSampleRateConverter
    kAlgorithmIdEnd = 22,             // end marker
};
inline constexpr LONG kAlgorithmIdCount = 23;

// The display name of an id ("Processing Source", ..., "Seperate Frame", "End"); "Unknown" for a
// value outside 0..22.
const WCHAR* AlgorithmDisplayName(LONG id);

// The timing record of a step, in performance-counter ticks.
struct AlgorithmTiming {
    ULONGLONG frequency;   // ticks per second, read at construction
    ULONGLONG start;
    ULONGLONG end;
    ULONGLONG accumulated;
    ULONGLONG longest;
    ULONGLONG shortest;
    ULONGLONG count;       // timed calls
};

class Algorithm : public DriverAllocated {
public:
    static constexpr LONG kMaximumChildren = 16;

    // Trace "eBrevicorAlgorithmId=%d (%ls)". Modified flag 1, no links, timing zero, the counter's
    // frequency read.
    explicit Algorithm(LONG algorithmId);
    // Trace; Disconnect; every child destroyed (slot 0 taken until none is left) except sinks,
    // which their pins own: a sink child is disconnected and left alive, parentless; the output
    // frame destroyed; OutputCPUUsage.
    virtual ~Algorithm();
    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;

    // A no-op kept for the steps' table; no step overrides it.
    virtual void ReservedOperation(PVOID, PVOID, PVOID, PVOID) {}
    // Base: hands the frame to the children (DeliverToChildren).
    virtual void Process(Frame* frame);
    // Whether a new chain may share this node instead of `other`: the base compares the ids; each
    // step compares its settings too (false for null).
    virtual bool IsEqual(const Algorithm* other) const;
    // False when 16 children are there already; else the child takes the next slot and the count
    // grows (trace "m_eBrevicorAlgorithmId=%d (%ls), m_nChildCount=%d" at level 0x20).
    virtual bool AddToChildList(Algorithm* child);
    // Removes the child, moving the later ones down one slot and clearing slot 15; false when the
    // child is not in the list.
    virtual bool RemoveFromChildList(Algorithm* child);
    // Asks the tree's sink to lend its pin's next client buffer as `frame`'s data, so that a step
    // writes its result there directly: true only when a buffer of at least `bytesNeeded` bytes was
    // lent (the frame's data then points into it and its data size is the buffer's). Base: false.
    virtual bool GetDestinationBuffer(Frame* frame, ULONG bytesNeeded);
    // Gives the current work item's buffer back early (the DSP may refill it). Base: nothing; the
    // source honours it only when it has a single child. Steps reach it through GetRoot().
    virtual void ReturnBuffer();
    // Forgets what the step has detected in the frames so far (the VBI separator's caption
    // search); called on a shared step before a new chain joins it. Base: nothing.
    virtual void ResetDetectionState() {}

    // parent := `parent`, root := the parent's root, then joins the parent's child list. False
    // (and the step left parentless) when the parent is null or refuses a 17th child.
    bool Connect(Algorithm* parent);
    // Leaves the parent's child list; parent := null.
    void Disconnect();

    // The child in `index` for 0..15, else null.
    Algorithm* GetChild(LONG index) const;
    LONG GetChildCount() const { return m_childCount; }
    Algorithm* GetParent() const { return m_parent; }
    // The tree's source (the source itself for the source); null before Connect.
    Algorithm* GetRoot() const { return m_root; }
    LONG GetAlgorithmId() const { return m_algorithmId; }

    // The first child in slots 0..15 with the id; its slot goes to *index. Null (index untouched)
    // when none matches.
    Algorithm* FindFirstAlgorithmWithId(LONG* index, LONG id) const;
    // The same from slot *index + 1 on; null when *index + 1 is 16 or more, or nothing matches.
    Algorithm* FindNextAlgorithmWithId(LONG* index, LONG id) const;
    // Depth-first, pre-order search below this step (this step not tested): null when nothing has
    // the id.
    Algorithm* FindAlgorithmWithId(LONG id) const;
    // The nearest ancestor with the id, from the parent up; null when none.
    Algorithm* FindParentWithId(LONG id) const;

    bool IsModified() const { return m_modified != 0; }
    // Sets the modified flag here and on every ancestor.
    void MarkChainModified();
    // Clears the flag of this childless step and of each childless ancestor above it; stops at the
    // first ancestor with children (which keeps its flag). Nothing when this step has children.
    void ClearModifiedUpward();

    // Bracket the work of every Process: the performance counter at both ends; EndTiming adds the
    // delta to the accumulated time, updates the longest and shortest and counts the call.
    void BeginTiming();
    void EndTiming();
    // The same with given counter readings (tests use known tick counts).
    void BeginTimingAt(ULONGLONG counter);
    void EndTimingAt(ULONGLONG counter);
    const AlgorithmTiming& GetTiming() const { return m_timing; }
    // Nothing when no call was timed; else the trace line
    // "Algorithm=%ls, TF=%I64u, FC=%I64u, ACU=%I64u, HCU=%I64u, LCU=%I64u" at level 0x20.
    void OutputCPUUsage() const;

    // The pin a sink feeds; null for every other step.
    StreamingPinInterface* GetPin() const { return m_pin; }

    // The step's own frame (null until it makes one), destroyed with the step.
    Frame* GetOutputFrame() const { return m_outputFrame; }
    // Replaces the output frame; the previous one is destroyed (unless it is `frame`).
    void SetOutputFrame(Frame* frame);

protected:
    // Hands `frame` to each child in slot order, stopping at the first empty slot. The frame
    // arrives writable for the children only when it was writable here and this step has exactly
    // one child: with several children each sees it read-only. A null frame is not delivered.
    void DeliverToChildren(Frame* frame);

    // The one choice of every step that changes a picture in place (deinterlace, colour, logo,
    // caption and loss-of-signal overlays): the frame the step writes.
    //  - `incoming` writable: the incoming frame itself.
    //  - otherwise the step's work frame (its output frame), made, or made anew when its width,
    //    height or format differ from the incoming frame's, as an allocated VideoFrame of that
    //    geometry; it gets the incoming frame's attributes (CopyAttributes with format) and, with
    //    copyPicture, its picture (CopyFrame). It is marked writable: the step owns it.
    // Null when `incoming` is null or the work frame cannot be allocated: the step then passes the
    // incoming frame on unchanged. Deliver the frame returned (DeliverToChildren), not `incoming`.
    VideoFrame* PrepareInPlaceFrame(VideoFrame* incoming, bool copyPicture);
    // The same for audio steps that change samples in place (volume): the work frame is an
    // AudioFrame of the incoming frame's channel pairs, bits per sample and samples, re-made when
    // any of them or the data size differ; with copySamples the incoming bytes are copied.
    AudioFrame* PrepareInPlaceFrame(AudioFrame* incoming, bool copySamples);

    void SetPin(StreamingPinInterface* pin) { m_pin = pin; }
    void SetRoot(Algorithm* root) { m_root = root; }
    FrameWorkItem* GetCurrentWorkItem() const { return m_currentWorkItem; }
    void SetCurrentWorkItem(FrameWorkItem* item) { m_currentWorkItem = item; }
    // A word left to derived steps (0 at construction).
    ULONG m_stepWord = 0;

private:
    Algorithm* m_children[kMaximumChildren] = {};
    Algorithm* m_parent = nullptr;
    LONG m_algorithmId;
    UCHAR m_modified = 1;
    StreamingPinInterface* m_pin = nullptr;
    Algorithm* m_root = nullptr;
    Frame* m_outputFrame = nullptr;
    LONG m_childCount = 0;
    FrameWorkItem* m_currentWorkItem = nullptr;
    AlgorithmTiming m_timing = {};
};
