// Frame: the unit that travels through a logical stream's processing tree: one captured picture
// (VideoFrame) or one block of audio samples (AudioFrame) with its frame time, sequence number,
// flags and the attributes the steps and the sink read. A frame either owns its buffer (allocated
// from pool, freed with the frame) or is laid over somebody else's buffer (a DMA buffer shared with
// the DSP, a pin's output buffer), which is detached before the frame is destroyed.
//
// Field names follow the record the stream engine works with. Two naming quirks are kept because
// every caller uses them: GetFrameNumber/SetFrameNumber carry the frame *time* (100-ns units), the
// sequence number is a field of its own.
//
// Ownership and the writable flag: a frame handed to a step may also be read by the step's
// siblings and by the producer later. Only a frame whose writable flag is set may be changed in
// place; Algorithm::DeliverToChildren keeps the flag only for a single child, and in-place steps
// choose their frame with Algorithm::PrepareInPlaceFrame (algorithm.h).
#pragma once
#include "kernel/driverheap.h"
#include "km/types.h"
#include "shared/ksstreamrecords.h"

// Values of the frame flags.
inline constexpr ULONG kFrameFlagGenerated = 0x1;  // made by the driver (backup, test, single-field or rebuilt
                                                   // frame): no further field handling
inline constexpr ULONG kFrameFlagBackup = 0x4;     // a backup frame made while the signal is lost
inline constexpr ULONG kFrameFlagVbiField1 = 0x8;  // a VBI frame carrying field 1
inline constexpr ULONG kFrameFlagVbiField0 = 0x10; // a VBI frame carrying field 0
// Cleared when the buffer goes back to the DSP.
inline constexpr ULONG kFrameFlagsClearedOnReturn = kFrameFlagGenerated | kFrameFlagBackup;

// The video standard word of a frame.
inline constexpr ULONG kFrameStandardOther = 0; // high definition, or unknown
inline constexpr ULONG kFrameStandard525 = 1;
inline constexpr ULONG kFrameStandard625 = 2;

// Width and line count (VBI) or width and height (active picture) of one field.
struct FrameFieldSize {
    LONG width;
    LONG height;
};

// Words of an audio frame's two information blocks.
inline constexpr ULONG kFrameInfoBlockWords = 8;

class Frame : public DriverAllocated {
public:
    // Clears every field; format 8.
    Frame();
    // Frees the data buffer when one is still attached.
    virtual ~Frame();
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    // Lays the frame over `data` of `size` bytes with the given format (bit depth or bits per
    // sample); clears the frame time, the word after the format and the flags. The frame owns
    // `data` from then on unless it is detached before destruction.
    void Initialize(PVOID data, ULONG size, LONG format);
    // Forgets the buffer without freeing it: data pointer and size 0, frame time 0.
    virtual void DetachBuffer();
    virtual PUCHAR GetFrameData() const { return m_data; }
    virtual ULONG GetDataSize() const { return m_dataSize; }
    // Copies the attributes that travel with a picture or block: frame time, frame interval and the
    // word after it, flags, time offset, host-frame mark, sequence number, input identifier, the
    // keep-continuity byte, the video standard word, the line-removal count, the caption words and
    // the VBI information header; the format only when withFormat is true. Never the buffer, the
    // geometry or the writable flag. A null destination is ignored.
    virtual void CopyAttributes(Frame* destination, bool withFormat) const;
    // Base: equal data sizes (false for null). VideoFrame: equal width and height (IsSameSize).
    virtual bool IsEqual(const Frame* other) const;
    // Equal input identifiers (false for null).
    virtual bool IsSameInput(const Frame* other) const;

    // Lays the frame over a foreign audio buffer: format = bits per sample, width = channel pairs,
    // height = samples, one plane of one row of `size` bytes. The frame does not own `data`:
    // detach it before destroying the frame.
    void SetBuffer(PVOID data, ULONG size, LONG bitsPerSample, LONG channelPairs, LONG samples);

    // Frame time, 100-ns units (the presentation time the logical stream computes).
    LONGLONG GetFrameNumber() const { return m_frameTime; }
    void SetFrameNumber(LONGLONG frameTime) { m_frameTime = frameTime; }

    LONG GetFormat() const { return m_format; }
    void SetFormat(LONG format) { m_format = format; }
    void SetDataSize(ULONG size) { m_dataSize = size; }
    // Points the frame's data at another buffer (a lent client buffer) and back, without freeing
    // or laying out anything: whoever lends a buffer this way puts the frame's own pointer and size
    // back before the frame is used again or destroyed.
    void SetFrameData(PUCHAR data) { m_data = data; }

    // The word after the format: a code a step leaves for the steps below it (the audio
    // stereo-pair extractor's sample-format code). Cleared by Initialize and DetachBuffer, not
    // copied by CopyAttributes.
    ULONG GetFormatWord() const { return m_formatWord; }
    void SetFormatWord(ULONG word) { m_formatWord = word; }

    // Nominal interval of the frame, 100-ns units, and the word copied with it.
    ULONG GetFrameInterval() const { return m_frameInterval; }
    void SetFrameInterval(ULONG interval) { m_frameInterval = interval; }
    ULONG GetIntervalWord() const { return m_intervalWord; }
    void SetIntervalWord(ULONG word) { m_intervalWord = word; }

    ULONG GetFlags() const { return m_flags; }
    void SetFlags(ULONG flags) { m_flags = flags; }
    void AddFlags(ULONG flags) { m_flags |= flags; }
    void ClearFlags(ULONG flags) { m_flags &= ~flags; }
    bool HasFlags(ULONG flags) const { return (m_flags & flags) == flags; }

    // Added to the presentation time by the sink.
    LONG GetTimeOffset() const { return m_timeOffset; }
    void SetTimeOffset(LONG offset) { m_timeOffset = offset; }

    // Host frames go back to the stream's free ring instead of the DSP.
    bool IsHostFrame() const { return m_hostFrame != 0; }
    void SetHostFrame(bool host) { m_hostFrame = host ? 1 : 0; }

    // Stamped when the frame enters processing.
    ULONGLONG GetSequenceNumber() const { return m_sequenceNumber; }
    void SetSequenceNumber(ULONGLONG number) { m_sequenceNumber = number; }

    // The stream's signal type when the frame was reconditioned.
    ULONG GetInputIdentifier() const { return m_inputIdentifier; }
    void SetInputIdentifier(ULONG identifier) { m_inputIdentifier = identifier; }

    // Set on frames whose change of input must not mark a discontinuity.
    bool GetKeepContinuity() const { return m_keepContinuity != 0; }
    void SetKeepContinuity(bool keep) { m_keepContinuity = keep ? 1 : 0; }

    // kFrameStandard525, kFrameStandard625 or kFrameStandardOther.
    ULONG GetVideoStandard() const { return m_videoStandard; }
    void SetVideoStandard(ULONG standard) { m_videoStandard = standard; }

    // Lines the crop step removes from the top (set by the VBI separator).
    LONG GetLineRemoval() const { return m_lineRemoval; }
    void SetLineRemoval(LONG lines) { m_lineRemoval = lines; }

    // The two caption bytes decoded from field 0 or 1 (low byte first); 0x8080 when none.
    USHORT GetCaptionWord(LONG field) const { return (field == 0 || field == 1) ? m_captionWord[field] : 0x8080; }
    void SetCaptionWord(LONG field, USHORT word)
    {
        if (field == 0 || field == 1)
            m_captionWord[field] = word;
    }

    // How the VBI lines of the frame were sampled (the VBI pin's header); the sink copies it into
    // the extended header of VBI frames.
    const KS_VBIINFOHEADER& GetVBIInfoHeader() const { return m_vbiInfoHeader; }
    void SetVBIInfoHeader(const KS_VBIINFOHEADER& header) { m_vbiInfoHeader = header; }

    // Whether the step holding the frame may change it in place (see the file comment).
    bool IsWritable() const { return m_writable != 0; }
    void SetWritable(bool writable) { m_writable = writable ? 1 : 0; }

    // Plane geometry. Video: Y, U, V planes; row width = luma width rounded up to 16 bytes.
    // Audio: one plane, one row of data-size bytes.
    PUCHAR GetPlane(ULONG index) const { return index < 3 ? m_plane[index] : nullptr; }
    LONG GetStride(ULONG index) const { return index < 3 ? m_stride[index] : 0; }
    ULONG GetRowWidth() const { return m_rowWidth; }
    ULONG GetRowCount() const { return m_rowCount; }
    ULONG GetSecondRowWidth() const { return m_rowWidth2; }
    ULONG GetSecondRowCount() const { return m_rowCount2; }
    // Width and height in pixels (video); channel pairs and samples per frame (audio).
    LONG GetWidth() const { return m_width; }
    LONG GetHeight() const { return m_height; }
    LONG GetBytesPerPixel() const { return m_bytesPerPixel; }

    // VBI sizes (width, line count) and active sizes (width, height) of field 0 and field 1; a
    // field index other than 0 or 1 reads as zero and is not written.
    FrameFieldSize GetVbiSize(LONG field) const;
    void SetVbiSize(LONG field, LONG width, LONG lines);
    FrameFieldSize GetActiveSize(LONG field) const;
    void SetActiveSize(LONG field, LONG width, LONG height);

protected:
    // Lays out the plane fields (used by VideoFrame::Initialize and SetBuffer).
    void SetPlanes(PUCHAR y, LONG strideY, PUCHAR u, LONG strideU, PUCHAR v, LONG strideV);
    void SetGeometry(ULONG rowWidth, ULONG rowCount, LONG width, LONG height);
    void SetSecondGeometry(ULONG rowWidth, ULONG rowCount)
    {
        m_rowWidth2 = rowWidth;
        m_rowCount2 = rowCount;
    }
    void SetBytesPerPixel(LONG bytes) { m_bytesPerPixel = bytes; }
    // Frees the attached buffer (if any) and forgets it.
    void FreeBuffer();
    void SetData(PUCHAR data) { m_data = data; }
    // The two information blocks of audio frames (DSP status words, stream descriptor).
    ULONG* InfoBlock(ULONG index) { return m_infoBlock[index & 1]; }
    const ULONG* InfoBlock(ULONG index) const { return m_infoBlock[index & 1]; }

private:
    LONGLONG m_frameTime = 0;
    ULONG m_dataSize = 0;
    PUCHAR m_data = nullptr;
    LONG m_format = 8;
    ULONG m_formatWord = 0; // cleared by Initialize and DetachBuffer
    ULONG m_frameInterval = 0;
    ULONG m_intervalWord = 0;
    ULONG m_flags = 0;
    LONG m_timeOffset = 0;
    UCHAR m_hostFrame = 0;
    ULONGLONG m_sequenceNumber = 0;
    ULONG m_inputIdentifier = 0;
    PUCHAR m_plane[3] = {};
    ULONG m_rowWidth = 0;
    ULONG m_rowCount = 0;
    ULONG m_rowWidth2 = 0;
    ULONG m_rowCount2 = 0;
    LONG m_stride[3] = {};
    LONG m_height = 0;
    LONG m_width = 0;
    LONG m_bytesPerPixel = 0;
    FrameFieldSize m_vbiSize[2] = {};
    FrameFieldSize m_activeSize[2] = {};
    ULONG m_infoBlock[2][kFrameInfoBlockWords] = {};
    UCHAR m_keepContinuity = 0;
    ULONG m_videoStandard = kFrameStandardOther;
    LONG m_lineRemoval = 0;
    USHORT m_captionWord[2] = {0x8080, 0x8080};
    KS_VBIINFOHEADER m_vbiInfoHeader = {};
    UCHAR m_writable = 0;
    UCHAR m_reservedBytes[16] = {}; // cleared at construction
    PVOID m_extraBuffer = nullptr;   // owned, freed with the frame
    ULONG m_reservedWords[3] = {};
};
