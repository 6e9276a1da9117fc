// AviTestFile: the AVI file the video test input plays in a loop. CheckForAviFile opens the file
// the driver parameter "VideoAviFileName" names ("\DosDevices\" + the name), reads and checks its
// headers up to the first video stream and maps the file (MapTheAviFile): the list of the file
// offsets of every video frame chunk. ReadFrame then reads frame n from the file reopened for
// random access.
//
// What a file must be (anything else leaves the test input on colour bars, with an event-log
// entry naming the file): "RIFF" "AVI ", a "LIST" "hdrl" whose first chunk is "avih", and a "LIST"
// "strl" of type "vids" among its lists (the first one is used; its place NN gives the frame chunk
// ids "NNdc" and "NNdb"). Its bitmap information header must describe a picture of 2..1920 x
// 2..1125 (a negative height counts as its size) with an even width and a frame size (biSizeImage,
// or when 0 the format's: RGB rows padded to 4 bytes, 2 x w x h for packed 4:2:2, w x h x 3 / 2 for
// I420) no smaller than the picture and no larger than 1920 x 1125 x 3. The map needs at least one
// frame: a chunk of a frame id whose size is the frame size and whose data lies inside the file,
// in the "movi" list of the "AVI " form or of an "AVIX" continuation. Chunks are walked by 8-byte
// headers, their data padded to an even length; list types are read only for lists.
//
// The parsing reads through an AviByteSource, so that the same code reads a file and, in the fuzz
// harness, memory.
#pragma once
#include "kernel/driverheap.h"
#include "kernel/kernelfile.h"
#include "kplxfastlock.h"
#include "km/status.h"
#include "km/types.h"
#include "shared/bitmapfile.h"

#include <cstddef>

// Where the bytes of an AVI file come from.
class AviByteSource {
public:
    virtual ~AviByteSource() = default;
    // Exactly `length` bytes at `offset`: STATUS_SUCCESS, or the read's failure (a short read is
    // STATUS_END_OF_FILE).
    virtual NTSTATUS ReadAt(ULONGLONG offset, void* buffer, ULONG length) = 0;
    // Bytes in the source.
    virtual ULONGLONG Size() = 0;
};

// Bytes in memory as a source (the fuzz harness).
class MemoryAviSource : public AviByteSource {
public:
    MemoryAviSource(const UCHAR* data, size_t size) : m_data(data), m_size(size) {}
    NTSTATUS ReadAt(ULONGLONG offset, void* buffer, ULONG length) override;
    ULONGLONG Size() override { return m_size; }

private:
    const UCHAR* m_data;
    size_t m_size;
};

// The 56-byte main header ("avih").
struct AviMainHeader {
    ULONG microSecPerFrame;
    ULONG maxBytesPerSec;
    ULONG paddingGranularity;
    ULONG flags;
    ULONG totalFrames;
    ULONG initialFrames;
    ULONG streams;
    ULONG suggestedBufferSize;
    ULONG width;
    ULONG height;
    ULONG reserved[4];
};
static_assert(sizeof(AviMainHeader) == 56);

// The 56-byte stream header ("strh"); some writers add 8 bytes, which are skipped.
struct AviStreamHeader {
    ULONG fccType;
    ULONG fccHandler;
    ULONG flags;
    USHORT priority;
    USHORT language;
    ULONG initialFrames;
    ULONG scale;
    ULONG rate;
    ULONG start;
    ULONG length;
    ULONG suggestedBufferSize;
    ULONG quality;
    ULONG sampleSize;
    SHORT frame[4];
};
static_assert(sizeof(AviStreamHeader) == 56);
static_assert(offsetof(AviStreamHeader, initialFrames) == 16);

// A four-character code as the file stores it.
constexpr ULONG MakeFourCC(char a, char b, char c, char d)
{
    return ULONG(UCHAR(a)) | ULONG(UCHAR(b)) << 8 | ULONG(UCHAR(c)) << 16 | ULONG(UCHAR(d)) << 24;
}

class AviTestFile : public DriverAllocated {
public:
    static constexpr LONG kMinimumDimension = 2;
    static constexpr LONG kMaximumWidth = 1920;
    static constexpr LONG kMaximumHeight = 1125;
    static constexpr ULONG kMaximumFrameBytes = 1920 * 1125 * 3;
    // Refusals of a picture that cannot be played.
    static constexpr NTSTATUS kUnsupportedPictureStatus = STATUS_NOT_SUPPORTED;

    static constexpr ULONG kUyvy = MakeFourCC('U', 'Y', 'V', 'Y');
    static constexpr ULONG kYuy2 = MakeFourCC('Y', 'U', 'Y', '2');
    static constexpr ULONG kI420 = MakeFourCC('I', '4', '2', '0');

    // One element of the frame list.
    struct FrameEntry {
        ULONGLONG offset; // of the chunk's data
        ULONG size;
        ULONG reserved;
    };
    static_assert(sizeof(FrameEntry) == 16);

    AviTestFile();
    ~AviTestFile();
    AviTestFile(const AviTestFile&) = delete;
    AviTestFile& operator=(const AviTestFile&) = delete;

    // The whole check of the file "VideoAviFileName" names: the path, the open, the headers, the
    // map, the reopen for random access. True (AVI mode) when a file with at least one frame was
    // found; an empty or null name gives false without an entry.
    bool CheckForAviFile(PCWSTR fileName);
    // The headers of `source`, `path` naming it in the entries: true when they describe a
    // playable video stream (the picture, chunk ids and frame size are then set).
    bool CheckHeaders(AviByteSource* source, PCWSTR path);
    // Builds the frame list from `source` (after CheckHeaders); STATUS_SUCCESS with at least one
    // frame, 0xC0071027 (logged) with none.
    NTSTATUS MapTheAviFile(AviByteSource* source, PCWSTR path);
    // Opens the checked file for random-access reads when it is not open; the open's status.
    NTSTATUS OpenForReading();
    void CloseFile();
    // Reads frame `index` (modulo the frame count) into `buffer` of `length` bytes: the frame size
    // bytes. STATUS_BUFFER_TOO_SMALL for a shorter buffer, STATUS_END_OF_FILE when the file no
    // longer holds the frame, STATUS_NOT_FOUND without frames, else the open's or the read's status.
    NTSTATUS ReadFrame(ULONG index, PVOID buffer, ULONG length);

    bool IsAviMode() const { return m_aviMode; }
    ULONG GetFrameCount();
    // The data offset of frame `index`, 0 when there is none.
    ULONGLONG GetFrameOffset(ULONG index);
    LONG GetWidth() const { return m_width; }
    LONG GetHeight() const { return m_height; } // absolute
    bool IsTopDown() const { return m_topDown; }
    ULONG GetCompression() const { return m_bitmapInfo.biCompression; }
    USHORT GetBitCount() const { return m_bitmapInfo.biBitCount; }
    ULONG GetFrameSize() const { return m_frameSize; }
    ULONG GetCompressedChunkId() const { return m_chunkIdCompressed; }
    ULONG GetDibChunkId() const { return m_chunkIdDib; }
    const AviMainHeader& GetMainHeader() const { return m_mainHeader; }
    const AviStreamHeader& GetStreamHeader() const { return m_streamHeader; }
    const BITMAPINFOHEADER& GetBitmapInfo() const { return m_bitmapInfo; }
    // "\DosDevices\" + the name; empty before CheckForAviFile.
    PCWSTR GetPath() const { return m_path != nullptr ? m_path : u""; }

    // The bytes a frame of this picture takes by its format (0 for a picture out of range).
    static ULONG PictureBytes(const BITMAPINFOHEADER& header);

private:
    // A failed read of `part`: its entry (path and status) and trace.
    bool ReadPart(AviByteSource* source, ULONGLONG offset, void* buffer, ULONG length, ULONG part, PCWSTR path);
    void LogInvalid(NTSTATUS messageId, const char* format, PCWSTR path);
    // The checks of the video stream's bitmap information header.
    bool CheckPicture(PCWSTR path);
    bool CheckStreamList(AviByteSource* source, ULONGLONG listStart, ULONGLONG listEnd, ULONG streamIndex, PCWSTR path,
                         bool* isVideo);
    void MapMovi(AviByteSource* source, ULONGLONG start, ULONGLONG end, ULONGLONG fileEnd);
    bool AppendFrame(ULONGLONG offset);
    void ClearFrames();
    bool BuildPath(PCWSTR fileName);

    bool m_aviMode = false;
    PWSTR m_path = nullptr;
    KernelFile m_file;
    bool m_fileOpen = false;
    AviMainHeader m_mainHeader{};
    AviStreamHeader m_streamHeader{};
    BITMAPINFOHEADER m_bitmapInfo{};
    LONG m_width = 0;
    LONG m_height = 0;
    bool m_topDown = false;
    ULONG m_frameSize = 0;
    ULONG m_chunkIdCompressed = 0;
    ULONG m_chunkIdDib = 0;

    // The frame list, under its lock.
    KPLXFastLock m_listLock;
    FrameEntry* m_frames = nullptr;
    ULONG m_frameCount = 0;
    ULONG m_frameCapacity = 0;
};
