// AviTestFile: the header checks, the frame map and the frame reads of the AVI test file.
#include "avitestfile.h"

#include "kernel/poolallocation.h"
#include "messages/Talvexon.h"
#include "tracelogger.h"
#include "tracescope.h"

#include "km/access.h"
#include "km/file.h"
#include "km/string.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr ULONG kRiff = MakeFourCC('R', 'I', 'F', 'F');
constexpr ULONG kList = MakeFourCC('L', 'I', 'S', 'T');
constexpr ULONG kAviForm = MakeFourCC('A', 'V', 'I', ' ');
constexpr ULONG kAvixForm = MakeFourCC('A', 'V', 'I', 'X');
constexpr ULONG kHdrl = MakeFourCC('h', 'd', 'r', 'l');
constexpr ULONG kAvih = MakeFourCC('a', 'v', 'i', 'h');
constexpr ULONG kStrl = MakeFourCC('s', 't', 'r', 'l');
constexpr ULONG kStrh = MakeFourCC('s', 't', 'r', 'h');
constexpr ULONG kStrf = MakeFourCC('s', 't', 'r', 'f');
constexpr ULONG kMovi = MakeFourCC('m', 'o', 'v', 'i');
constexpr ULONG kVids = MakeFourCC('v', 'i', 'd', 's');
constexpr WCHAR kDosDevices[] = u"\\DosDevices\\";
constexpr ULONG kDosDevicesCharacters = 12;

// The parts of the header reads, in file order, with their entries.
enum ReadPartIndex : ULONG {
    kPartRiff,
    kPartList,
    kPartAviHeader,
    kPartAviMainHeader,
    kPartStreamList,
    kPartStreamHeaderSize,
    kPartStreamHeader,
    kPartStreamFormat,
    kPartBitmapInfo,
    kPartBitmapColors,
    kPartIndex,
    kPartCount
};
struct ReadPartText {
    NTSTATUS messageId;
    const char* format;
};
constexpr ReadPartText kReadParts[kPartCount] = {
    {MSG_ATTEMPT_READ_RIFF_HEADER_FILE_FAILED, "Attempt to read RIFF header in file [%ls] failed.  Status returned was 0x%08x"},
    {MSG_ATTEMPT_READ_LIST_HEADER_FILE_FAILED, "Attempt to read LIST header in file [%ls] failed.  Status returned was 0x%08x"},
    {MSG_ATTEMPT_READ_AVI_HEADER_FILE_FAILED, "Attempt to read AVI header in file [%ls] failed.  Status returned was 0x%08x"},
    {MSG_ATTEMPT_READ_AVI_MAIN_HEADER_FILE, "Attempt to read AVI main header in file [%ls] failed.  Status returned was 0x%08x"},
    {MSG_ATTEMPT_READ_LIST_STREAM_HEADER_FILE,
     "Attempt to read LIST stream header in file [%ls] failed.  Status returned was 0x%08x"},
    {MSG_ATTEMPT_READ_STREAM_HEADER_SIZE_FILE,
     "Attempt to read stream header size in file [%ls] failed.  Status returned was 0x%08x"},
    {MSG_ATTEMPT_READ_AVI_STREAM_HEADER_SIZE,
     "Attempt to read AVI stream header in file [%ls] failed.  Status returned was 0x%08x"},
    {MSG_ATTEMPT_READ_STREAM_FORMAT_HEADER_FILE,
     "Attempt to read stream format header in file [%ls] failed.  Status returned was 0x%08x"},
    {MSG_ATTEMPT_READ_BITMAP_INFO_HEADER_FILE,
     "Attempt to read bitmap info header in file [%ls] failed.  Status returned was 0x%08x"},
    {MSG_ATTEMPT_READ_BITMAP_INFO_COLORS_FILE,
     "Attempt to read bitmap info colors in file [%ls] failed.  Status returned was 0x%08x"},
    {MSG_ATTEMPT_READ_VIDEO_INDX_HEADER_FILE,
     "Attempt to read video INDX header in file [%ls] failed.  Status returned was 0x%08x"},
};

struct ChunkHeader {
    ULONG id;
    ULONG size;
};
static_assert(sizeof(ChunkHeader) == 8);
struct ListHeader {
    ULONG id;
    ULONG size;
    ULONG type;
};
static_assert(sizeof(ListHeader) == 12);

// The position after a chunk at `position` of data size `size` (padded to even).
ULONGLONG NextChunk(ULONGLONG position, ULONG size)
{
    return position + 8 + ULONGLONG(size) + (size & 1);
}

// Two decimal digits of a stream index, then the two-letter kind.
ULONG ChunkId(ULONG stream, char kind0, char kind1)
{
    return MakeFourCC(char('0' + stream / 10), char('0' + stream % 10), kind0, kind1);
}

// A file through the kernel's file functions.
class KernelFileSource : public AviByteSource {
public:
    explicit KernelFileSource(KernelFile* file) : m_file(file) {}
    NTSTATUS ReadAt(ULONGLONG offset, void* buffer, ULONG length) override
    {
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(offset);
        ULONG transferred = 0;
        const NTSTATUS status = m_file->Read(buffer, length, &transferred, &position);
        if (!NT_SUCCESS(status))
            return status;
        return transferred == length ? STATUS_SUCCESS : STATUS_END_OF_FILE;
    }
    ULONGLONG Size() override
    {
        FILE_STANDARD_INFORMATION info{};
        if (!NT_SUCCESS(m_file->QueryStandardInfo(&info)) || info.EndOfFile.QuadPart < 0)
            return 0;
        return static_cast<ULONGLONG>(info.EndOfFile.QuadPart);
    }

private:
    KernelFile* m_file;
};

NTSTATUS OpenFile(KernelFile* file, PCWSTR path, ULONG options)
{
    return file->Create(path, nullptr, GENERIC_READ | SYNCHRONIZE, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                        FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, FILE_OPEN,
                        FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE | options, nullptr);
}

} // namespace

NTSTATUS MemoryAviSource::ReadAt(ULONGLONG offset, void* buffer, ULONG length)
{
    if (offset > m_size || length > m_size - offset)
        return STATUS_END_OF_FILE;
    std::memcpy(buffer, m_data + offset, length);
    return STATUS_SUCCESS;
}

AviTestFile::AviTestFile() = default;

AviTestFile::~AviTestFile()
{
    CloseFile();
    ClearFrames();
    if (m_path != nullptr)
        FreePool(m_path);
}

ULONG AviTestFile::PictureBytes(const BITMAPINFOHEADER& header)
{
    const LONGLONG width = header.biWidth;
    const LONGLONG height = header.biHeight < 0 ? -LONGLONG(header.biHeight) : LONGLONG(header.biHeight);
    if (width < kMinimumDimension || width > kMaximumWidth || height < kMinimumDimension || height > kMaximumHeight)
        return 0;
    switch (header.biCompression) {
    case kUyvy:
    case kYuy2:
        return static_cast<ULONG>(2 * width * height);
    case kI420:
        return static_cast<ULONG>(width * height * 3 / 2);
    default:
        return static_cast<ULONG>((ULONGLONG(header.biBitCount) * ULONGLONG(width) + 31) / 32 * 4 * ULONGLONG(height));
    }
}

bool AviTestFile::BuildPath(PCWSTR fileName)
{
    if (m_path != nullptr) {
        FreePool(m_path);
        m_path = nullptr;
    }
    size_t characters = 0;
    while (fileName[characters] != 0)
        ++characters;
    const size_t total = kDosDevicesCharacters + characters + 1;
    auto* buffer = total * sizeof(WCHAR) <= 0xFFFE ? static_cast<PWSTR>(AllocatePoolOfType(total * sizeof(WCHAR), PagedPool))
                                                   : nullptr;
    if (buffer == nullptr) {
        TRACE_LINE(this, "AviTestFile::CheckForAviFile", kTraceErrors, "Error initializing file name string.");
        return false;
    }
    UNICODE_STRING path;
    path.Buffer = buffer;
    path.Length = 0;
    path.MaximumLength = static_cast<USHORT>(total * sizeof(WCHAR));
    if (!NT_SUCCESS(RtlAppendUnicodeToString(&path, kDosDevices)) || !NT_SUCCESS(RtlAppendUnicodeToString(&path, fileName))) {
        TRACE_LINE(this, "AviTestFile::CheckForAviFile", kTraceErrors, "Error appending file name to string.");
        FreePool(buffer);
        return false;
    }
    buffer[path.Length / sizeof(WCHAR)] = 0;
    m_path = buffer;
    return true;
}

bool AviTestFile::CheckForAviFile(PCWSTR fileName)
{
    TRACE_SCOPE(this, "AviTestFile::CheckForAviFile", kTraceLowEnter);
    m_aviMode = false;
    CloseFile();
    ClearFrames();
    if (fileName == nullptr || fileName[0] == 0)
        return false;
    TRACE_LINE(this, "AviTestFile::CheckForAviFile", kTraceHighs, "Video AVI File name is [%ls]", fileName);
    if (!BuildPath(fileName))
        return false;
    const NTSTATUS status = OpenFile(&m_file, m_path, FILE_SEQUENTIAL_ONLY);
    if (!NT_SUCCESS(status)) {
        TRACE_STATUS(this, "AviTestFile::CheckForAviFile", kTraceErrors, MSG_ATTEMPT_OPEN_FILE_FAILED_STATUS_RETURNED,
                     "Attempt to open file [%ls] failed.  Status returned was 0x%08x", m_path, status);
        return false;
    }
    m_fileOpen = true;
    KernelFileSource source(&m_file);
    if (!CheckHeaders(&source, m_path) || !NT_SUCCESS(MapTheAviFile(&source, m_path))) {
        CloseFile();
        ClearFrames();
        return false;
    }
    // Frames are read at their offsets from now on.
    CloseFile();
    OpenForReading();
    m_aviMode = true;
    return true;
}

bool AviTestFile::ReadPart(AviByteSource* source, ULONGLONG offset, void* buffer, ULONG length, ULONG part, PCWSTR path)
{
    const NTSTATUS status = source->ReadAt(offset, buffer, length);
    if (NT_SUCCESS(status))
        return true;
    TRACE_STATUS(this, "AviTestFile::CheckForAviFile", kTraceErrors, kReadParts[part].messageId, kReadParts[part].format,
                 path, status);
    return false;
}

void AviTestFile::LogInvalid(NTSTATUS messageId, const char* format, PCWSTR path)
{
    TRACE_STATUS(this, "AviTestFile::CheckForAviFile", kTraceErrors, messageId, format, path);
}

bool AviTestFile::CheckHeaders(AviByteSource* source, PCWSTR path)
{
    m_frameSize = 0;
    m_width = m_height = 0;
    ListHeader riff{};
    if (!ReadPart(source, 0, &riff, sizeof riff, kPartRiff, path))
        return false;
    if (riff.id != kRiff || riff.type != kAviForm) {
        LogInvalid(MSG_INVALID_RIFF_HEADER_FILE, "Invalid RIFF header in file [%ls].", path);
        return false;
    }
    ListHeader hdrl{};
    if (!ReadPart(source, 12, &hdrl, sizeof hdrl, kPartList, path))
        return false;
    if (hdrl.id != kList || hdrl.type != kHdrl) {
        LogInvalid(MSG_INVALID_LIST_HEADER_FILE, "Invalid LIST header in file [%ls].", path);
        return false;
    }
    const ULONGLONG hdrlEnd = 20 + ULONGLONG(hdrl.size);
    ChunkHeader avih{};
    if (!ReadPart(source, 24, &avih, sizeof avih, kPartAviHeader, path))
        return false;
    if (avih.id != kAvih) {
        LogInvalid(MSG_INVALID_AVI_MAIN_HEADER_FILE, "Invalid AVI main header in file [%ls].", path);
        return false;
    }
    std::memset(&m_mainHeader, 0, sizeof m_mainHeader);
    if (!ReadPart(source, 32, &m_mainHeader, std::min<ULONG>(avih.size, sizeof m_mainHeader), kPartAviMainHeader, path))
        return false;

    // The stream lists: the first of type "vids" is the one played.
    ULONGLONG position = NextChunk(24, avih.size);
    ULONG streamIndex = 0;
    while (position + 8 <= hdrlEnd) {
        ListHeader list{};
        if (!ReadPart(source, position, &list, sizeof list, kPartStreamList, path))
            return false;
        const ULONGLONG next = NextChunk(position, list.size);
        if (list.id == kList && list.type == kStrl) {
            bool isVideo = false;
            if (!CheckStreamList(source, position, std::min(next, hdrlEnd), streamIndex, path, &isVideo))
                return false;
            if (isVideo)
                return CheckPicture(path);
            ++streamIndex;
        }
        position = next;
    }
    LogInvalid(MSG_INVALID_LIST_STREAM_HEADER_FILE, "Invalid LIST stream header in file [%ls].", path);
    return false;
}

bool AviTestFile::CheckStreamList(AviByteSource* source, ULONGLONG listStart, ULONGLONG listEnd, ULONG streamIndex,
                                  PCWSTR path, bool* isVideo)
{
    *isVideo = false;
    const ULONGLONG strhAt = listStart + 12;
    ChunkHeader strh{};
    if (!ReadPart(source, strhAt, &strh, sizeof strh, kPartStreamHeaderSize, path))
        return false;
    if (strh.id != kStrh || strh.size < sizeof(ULONG) || strhAt + 8 + strh.size > listEnd) {
        LogInvalid(MSG_INVALID_LIST_STREAM_HEADER_FILE, "Invalid LIST stream header in file [%ls].", path);
        return false;
    }
    AviStreamHeader header{};
    if (!ReadPart(source, strhAt + 8, &header, std::min<ULONG>(strh.size, sizeof header), kPartStreamHeader, path))
        return false;
    if (header.fccType != kVids)
        return true;
    if (streamIndex > 99) {
        LogInvalid(MSG_INVALID_LIST_STREAM_HEADER_FILE, "Invalid LIST stream header in file [%ls].", path);
        return false;
    }
    const ULONGLONG strfAt = NextChunk(strhAt, strh.size);
    ChunkHeader strf{};
    if (!ReadPart(source, strfAt, &strf, sizeof strf, kPartStreamFormat, path))
        return false;
    if (strf.id != kStrf) {
        LogInvalid(MSG_INVALID_LIST_STREAM_HEADER_FILE, "Invalid LIST stream header in file [%ls].", path);
        return false;
    }
    BITMAPINFOHEADER info{};
    if (!ReadPart(source, strfAt + 8, &info, sizeof info, kPartBitmapInfo, path))
        return false;
    if (strf.size < sizeof info || info.biSize < sizeof info || info.biSize > strf.size) {
        TRACE_STATUS(this, "AviTestFile::CheckForAviFile", kTraceErrors, kReadParts[kPartBitmapInfo].messageId,
                     kReadParts[kPartBitmapInfo].format, path, kUnsupportedPictureStatus);
        return false;
    }
    if (info.biBitCount <= 8) {
        // The colour table.
        ULONG colours = info.biClrUsed != 0 ? info.biClrUsed : (1u << info.biBitCount);
        colours = std::min<ULONG>(colours, 256);
        ULONG table[256];
        if (!ReadPart(source, strfAt + 8 + info.biSize, table, colours * 4, kPartBitmapColors, path))
            return false;
    }
    // The chunk after the format (a super index in files above 1 GB): only its read is checked.
    ChunkHeader index{};
    if (!ReadPart(source, NextChunk(strfAt, strf.size), &index, sizeof index, kPartIndex, path))
        return false;
    m_streamHeader = header;
    m_bitmapInfo = info;
    m_chunkIdCompressed = ChunkId(streamIndex, 'd', 'c');
    m_chunkIdDib = ChunkId(streamIndex, 'd', 'b');
    *isVideo = true;
    return true;
}

bool AviTestFile::CheckPicture(PCWSTR path)
{
    const BITMAPINFOHEADER& info = m_bitmapInfo;
    const ULONG picture = PictureBytes(info);
    const ULONG frameSize = info.biSizeImage != 0 ? info.biSizeImage : picture;
    if (picture == 0 || (info.biWidth & 1) != 0 || frameSize < picture || frameSize > kMaximumFrameBytes) {
        TRACE_STATUS(this, "AviTestFile::CheckForAviFile", kTraceErrors, kReadParts[kPartBitmapInfo].messageId,
                     kReadParts[kPartBitmapInfo].format, path, kUnsupportedPictureStatus);
        return false;
    }
    m_width = info.biWidth;
    m_height = info.biHeight < 0 ? -info.biHeight : info.biHeight;
    m_topDown = info.biHeight < 0;
    m_frameSize = frameSize;
    return true;
}

NTSTATUS AviTestFile::MapTheAviFile(AviByteSource* source, PCWSTR path)
{
    TRACE_SCOPE(this, "AviTestFile::MapTheAviFile", kTraceLowEnter);
    ClearFrames();
    if (m_frameSize == 0)
        return STATUS_NOT_FOUND;
    const ULONGLONG fileEnd = source->Size();
    ULONGLONG position = 0;
    while (position + 8 <= fileEnd) {
        ChunkHeader chunk{};
        if (!NT_SUCCESS(source->ReadAt(position, &chunk, sizeof chunk)))
            break;
        const ULONGLONG end = std::min(NextChunk(position, chunk.size), fileEnd);
        ULONG form = 0;
        if (chunk.id == kRiff && NT_SUCCESS(source->ReadAt(position + 8, &form, sizeof form)) &&
            (form == kAviForm || form == kAvixForm)) {
            // The lists of the form, up to its "movi".
            ULONGLONG inner = position + 12;
            while (inner + 8 <= end) {
                ListHeader list{};
                if (!NT_SUCCESS(source->ReadAt(inner, &list, sizeof(ChunkHeader))))
                    break;
                const ULONGLONG next = std::min(NextChunk(inner, list.size), end);
                if (list.id == kList && inner + 12 <= next &&
                    NT_SUCCESS(source->ReadAt(inner + 8, &list.type, sizeof list.type)) && list.type == kMovi) {
                    MapMovi(source, inner + 12, next, fileEnd);
                }
                inner = NextChunk(inner, list.size);
            }
        }
        position = NextChunk(position, chunk.size);
    }
    TRACE_LINE(this, "AviTestFile::MapTheAviFile", kTraceHighs, "End of file found at %I64u", std::min(position, fileEnd));
    if (GetFrameCount() == 0) {
        LogInvalid(MSG_INVALID_AVI_MAIN_HEADER_FILE, "Invalid AVI main header in file [%ls].", path);
        return MSG_INVALID_AVI_MAIN_HEADER_FILE;
    }
    return STATUS_SUCCESS;
}

void AviTestFile::MapMovi(AviByteSource* source, ULONGLONG start, ULONGLONG end, ULONGLONG fileEnd)
{
    ULONGLONG position = start;
    while (position + 8 <= end) {
        ChunkHeader chunk{};
        if (!NT_SUCCESS(source->ReadAt(position, &chunk, sizeof chunk)))
            return;
        if ((chunk.id == m_chunkIdCompressed || chunk.id == m_chunkIdDib) && chunk.size == m_frameSize &&
            position + 8 + chunk.size <= fileEnd) {
            if (!AppendFrame(position + 8))
                return;
        }
        position = NextChunk(position, chunk.size);
    }
}

bool AviTestFile::AppendFrame(ULONGLONG offset)
{
    KPLXFastStackLock hold(&m_listLock, this, "AviTestFile::AppendFrame", __LINE__);
    if (m_frameCount == m_frameCapacity) {
        if (m_frameCapacity >= 0x1000000)
            return false;
        const ULONG capacity = m_frameCapacity == 0 ? 64 : 2 * m_frameCapacity;
        auto* frames = static_cast<FrameEntry*>(AllocatePoolOfType(size_t(capacity) * sizeof(FrameEntry), PagedPool));
        if (frames == nullptr) {
            TRACE_LINE(this, "AviTestFile::AppendFrame", kTraceErrors, "No memory for the AVI frame list.");
            return false;
        }
        if (m_frames != nullptr) {
            std::memcpy(frames, m_frames, size_t(m_frameCount) * sizeof(FrameEntry));
            FreePool(m_frames);
        }
        m_frames = frames;
        m_frameCapacity = capacity;
    }
    m_frames[m_frameCount++] = FrameEntry{offset, m_frameSize, 0};
    return true;
}

void AviTestFile::ClearFrames()
{
    KPLXFastStackLock hold(&m_listLock, this, "AviTestFile::ClearFrames", __LINE__);
    if (m_frames != nullptr)
        FreePool(m_frames);
    m_frames = nullptr;
    m_frameCount = m_frameCapacity = 0;
}

ULONG AviTestFile::GetFrameCount()
{
    KPLXFastStackLock hold(&m_listLock, this, "AviTestFile::GetFrameCount", __LINE__);
    return m_frameCount;
}

ULONGLONG AviTestFile::GetFrameOffset(ULONG index)
{
    KPLXFastStackLock hold(&m_listLock, this, "AviTestFile::GetFrameOffset", __LINE__);
    return index < m_frameCount ? m_frames[index].offset : 0;
}

NTSTATUS AviTestFile::OpenForReading()
{
    if (m_fileOpen)
        return STATUS_SUCCESS;
    if (m_path == nullptr)
        return STATUS_OBJECT_NAME_INVALID;
    // Random-access reads of whole frames at their offsets. The buffering stays: frame offsets
    // are not aligned to sectors.
    const NTSTATUS status = OpenFile(&m_file, m_path, FILE_RANDOM_ACCESS);
    if (!NT_SUCCESS(status)) {
        TRACE_LINE(this, "AviTestFile::OpenForReading", kTraceErrors,
                   "Attempt to open file [%ls] failed.  Status returned was 0x%08x", m_path, status);
        return status;
    }
    m_fileOpen = true;
    return STATUS_SUCCESS;
}

void AviTestFile::CloseFile()
{
    m_file.Close();
    m_fileOpen = false;
}

NTSTATUS AviTestFile::ReadFrame(ULONG index, PVOID buffer, ULONG length)
{
    ULONGLONG offset;
    {
        KPLXFastStackLock hold(&m_listLock, this, "AviTestFile::ReadFrame", __LINE__);
        if (m_frameCount == 0)
            return STATUS_NOT_FOUND;
        offset = m_frames[index % m_frameCount].offset;
    }
    if (buffer == nullptr || length < m_frameSize)
        return STATUS_BUFFER_TOO_SMALL;
    NTSTATUS status = OpenForReading();
    if (!NT_SUCCESS(status))
        return status;
    KernelFileSource source(&m_file);
    status = source.ReadAt(offset, buffer, m_frameSize);
    if (!NT_SUCCESS(status)) {
        TRACE_LINE(this, "AviTestFile::ReadFrame", kTraceErrors,
                   "Attempt to read AVI frame %u in file [%ls] failed.  Status returned was 0x%08x", index, m_path,
                   status);
        // The next read opens the file anew.
        CloseFile();
    }
    return status;
}
