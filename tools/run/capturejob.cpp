#include "capturejob.h"

#include "aviwriter.h"
#include "board/CaptureBoard.h"
#include "captionpairlog.h"
#include "contactsheet.h"
#include "filterdirectory.h"
#include "glyphfileformat.h"
#include "picturesamples.h"
#include "pinreader.h"
#include "privatesetguids.h"
#include "shared/ksaudiorecords.h"
#include "shared/kscategories.h"
#include "shared/ksvideorecords.h"
#include "shared/ksvidcaprecords.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>

namespace capture {
namespace {

namespace fs = std::filesystem;

constexpr ULONG kCapturePin = 1;
constexpr ULONG kPreviewPin = 2;
constexpr ULONG kCaptionPin = 4;
constexpr ULONG kAudioPin = 0;
// Every pin's stream header: the header and room for a video pin's frame information (the audio
// and caption pins take the same size).
constexpr uint32_t kVideoHeaderBytes = 112;
constexpr uint32_t kPlainHeaderBytes = 112;
constexpr int64_t kFrameTime = 333667;      // 29.97 pictures a second
constexpr uint32_t kAudioRate = 48000;
constexpr uint32_t kAudioBlock = 4;          // 16-bit stereo
constexpr int64_t kAudioBufferTime = 100000; // 10 ms a buffer
// Buffers kept back for reordering before they go to the file.
constexpr size_t kReorderDepth = 2 * PinReader::kOutstanding;

KS_DATAFORMAT_VIDEOINFOHEADER VideoFormat(const GUID& subFormat, LONG width, LONG height, USHORT bits)
{
    KS_DATAFORMAT_VIDEOINFOHEADER format{};
    format.DataFormat.FormatSize = sizeof(format);
    format.DataFormat.MajorFormat = KSDATAFORMAT_TYPE_VIDEO;
    format.DataFormat.SubFormat = subFormat;
    format.DataFormat.Specifier = KSDATAFORMAT_SPECIFIER_VIDEOINFO;
    const ULONG stride = ((ULONG(width) * bits / 8) + 3) & ~3u;
    format.DataFormat.SampleSize = stride * ULONG(height);
    format.VideoInfoHeader.AvgTimePerFrame = kFrameTime;
    KS_BITMAPINFOHEADER& bitmap = format.VideoInfoHeader.bmiHeader;
    bitmap.biSize = sizeof(bitmap);
    bitmap.biWidth = width;
    bitmap.biHeight = height; // positive: bottom-up
    bitmap.biPlanes = 1;
    bitmap.biBitCount = bits;
    bitmap.biCompression = KS_BI_RGB;
    bitmap.biSizeImage = format.DataFormat.SampleSize;
    return format;
}

KSDATAFORMAT CaptionFormat()
{
    KSDATAFORMAT format{};
    format.FormatSize = sizeof(format);
    format.MajorFormat = KSDATAFORMAT_TYPE_AUXLine21Data;
    format.SubFormat = KSDATAFORMAT_SUBTYPE_Line21_BytePair;
    format.Specifier = KSDATAFORMAT_SPECIFIER_NONE;
    format.SampleSize = 2;
    return format;
}

KSDATAFORMAT_WAVEFORMATEX AudioFormat()
{
    KSDATAFORMAT_WAVEFORMATEX format{};
    format.DataFormat.FormatSize = sizeof(format);
    format.DataFormat.MajorFormat = KSDATAFORMAT_TYPE_AUDIO;
    format.DataFormat.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    format.DataFormat.Specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    format.WaveFormatEx = {WAVE_FORMAT_PCM, 2, kAudioRate, kAudioRate * kAudioBlock, kAudioBlock, 16, 0};
    return format;
}

// Capital letters, digits and a few signs as 5 x 7 cells, a row a byte (bit 4 the leftmost).
const std::map<char, std::array<uint8_t, 7>>& SmallFont()
{
    static const std::map<char, std::array<uint8_t, 7>> font = {
        {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
        {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
        {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
        {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
        {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
        {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
        {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
        {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
        {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
        {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
        {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
        {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
        {'Y', {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
        {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
        {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
        {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
        {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
        {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
        {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}},
        {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {'!', {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04}},
        {'?', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04}}, {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    };
    return font;
}

// The caption overlay's font: every printable code in every style, the small font's cells drawn
// two pixels a dot (a frame for a code it lacks), on a 20-row cell.
std::vector<uint8_t> CaptionGlyphFile()
{
    using namespace glyphfile;
    constexpr uint32_t kScale = 2, kWidth = 5 * kScale + 2, kHeight = 7 * kScale;
    std::vector<uint8_t> header(kHeaderSize, 0);
    WriteU32(&header[kFormatOffset], kFormatNumber);
    WriteU32(&header[kHeaderSizeOffset], kHeaderSize);
    WriteU32(&header[kFontWeightOffset], 400);
    std::vector<uint8_t> bitmaps;
    for (uint32_t style = 0; style < kStyleCount; ++style) {
        WriteU32(&header[kCellHeightOffset + 4 * style], 20);
        WriteU32(&header[kAscentOffset + 4 * style], 16);
        WriteU32(&header[kDescentOffset + 4 * style], 4);
        for (uint32_t code = 32; code < 127; ++code) {
            const char c = static_cast<char>(code >= 'a' && code <= 'z' ? code - 32 : code);
            const auto cell = SmallFont().find(c);
            std::array<uint8_t, 7> rows{};
            if (cell != SmallFont().end())
                rows = cell->second;
            else if (c != ' ')
                rows = {0x1F, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1F};
            const uint32_t rowBytes = RowBytes(kWidth);
            GlyphEntry entry = {kWidth, kHeight, 0, int32_t(kHeight), int16_t(kWidth + 2), 0, kHeight * rowBytes,
                                bitmaps.size()};
            WriteEntry(header.data(), style, code, entry);
            for (uint32_t y = 0; y < kHeight; ++y) {
                std::vector<uint8_t> row(rowBytes, 0);
                for (uint32_t x = 0; x < 5 * kScale; ++x)
                    if (rows[y / kScale] & (0x10 >> (x / kScale)))
                        row[(x + 1) >> 3] |= uint8_t(0x80u >> ((x + 1) & 7));
                bitmaps.insert(bitmaps.end(), row.begin(), row.end());
            }
        }
    }
    header.insert(header.end(), bitmaps.begin(), bitmaps.end());
    return header;
}

bool WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

// The caption overlay of the preview pin: CC1 in the lower part of the picture, white on black,
// in the job's own font, kept for this run only (not saved).
bool TurnOnPreviewCaptions(HANDLE video)
{
    const GUID captionSet = PROPSETID_BREVICOR_CC;
    std::vector<uint8_t> bytes(sizeof(BrevicorCCRecord), 0);
    BrevicorCCRecord record{};
    record.pinType = kPreviewPin;
    std::memcpy(bytes.data(), &record, sizeof(record));
    if (!FilterDirectory::GetProperty(video, captionSet, 0, &bytes))
        return false;
    std::memcpy(&record, bytes.data(), sizeof(record));
    record.pinType = kPreviewPin;
    record.CCField = 1;
    record.CCChannel = 1;
    record.CCEnable = 1;
    record.CCReferenceHeight = 480;
    record.CCReferenceWidth = 720;
    record.CCDestinationTop = 330;
    record.CCDestinationLeft = 40;
    record.CCDestinationHeight = 120;
    record.CCDestinationWidth = 640;
    record.CCTransparencyEnable = 0;
    record.CCForegroundColor = 0xFFFFFF;
    record.CCBackgroundColor = 0x000000;
    record.noPersist = 1;
    const char16_t font[] = u"C:\\captions.gph";
    std::memset(record.CCFontFileName, 0, sizeof(record.CCFontFileName));
    std::memcpy(record.CCFontFileName, font, sizeof(font));
    KSPROPERTY property{};
    property.Set = captionSet;
    property.Id = 0;
    property.Flags = KSPROPERTY_TYPE_SET;
    std::memcpy(record.header, &property, sizeof(property));
    DWORD returned = 0;
    return DeviceIoControl(video, IOCTL_KS_PROPERTY, &record, DWORD(sizeof(record)), &record, DWORD(sizeof(record)),
                           &returned, nullptr) != 0;
}

// DROPPEDFRAMES of a filter: pictures delivered and dropped by its running pin.
bool DroppedFrames(HANDLE filter, int64_t* delivered, int64_t* dropped)
{
    std::vector<uint8_t> record(48);
    if (!FilterDirectory::GetProperty(filter, PROPSETID_VIDCAP_DROPPEDFRAMES, KSPROPERTY_DROPPEDFRAMES_CURRENT,
                                      &record))
        return false;
    std::memcpy(delivered, &record[24], 8);
    std::memcpy(dropped, &record[32], 8);
    return true;
}

// The capture pin's pictures and the audio blocks, in time order into the AVI file. Pictures are
// keyed by picture number and audio by presentation time; a few are held back so that buffers
// completed by different reader threads go out in order.
class Interleaver {
public:
    Interleaver(AviWriter* writer, uint32_t frameBytes, int64_t frameLimit, int64_t audioLimitBytes)
        : m_writer(writer), m_frameBytes(frameBytes), m_frameLimit(frameLimit), m_audioLimit(audioLimitBytes)
    {
    }

    void AddPicture(int64_t number, const uint8_t* data, uint32_t size)
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (size != m_frameBytes)
            return;
        m_pictures[number].assign(data, data + size);
        Flush(false);
    }
    void AddAudio(int64_t time, const uint8_t* data, uint32_t size)
    {
        std::lock_guard<std::mutex> hold(m_lock);
        size -= size % kAudioBlock;
        m_audio[time].assign(data, data + size);
        Flush(false);
    }
    void Finish()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        Flush(true);
    }
    int64_t PicturesWritten() const { return m_written; }
    // Why the writer refused its first chunk (empty when it took every one).
    std::string Refusal()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_refusal;
    }
    int64_t Repeated() const { return m_repeated; }
    uint64_t AudioWritten() const { return m_audioWritten; }

private:
    // The time of picture `number` relative to the first.
    int64_t PictureTime(int64_t number) const { return (number - m_firstPicture) * kFrameTime; }

    void Flush(bool all)
    {
        for (;;) {
            const bool picture = !m_pictures.empty() && (all || m_pictures.size() > kReorderDepth);
            const bool audio = !m_audio.empty() && (all || m_audio.size() > kReorderDepth);
            if (!picture && !audio)
                return;
            if (m_firstPicture < 0 && !m_pictures.empty())
                m_firstPicture = m_pictures.begin()->first;
            if (m_firstAudio < 0 && !m_audio.empty())
                m_firstAudio = m_audio.begin()->first;
            const int64_t pictureTime = picture ? PictureTime(m_pictures.begin()->first) : INT64_MAX;
            const int64_t audioTime = audio ? m_audio.begin()->first - m_firstAudio : INT64_MAX;
            if (picture && pictureTime <= audioTime)
                WritePicture();
            else
                WriteAudio();
        }
    }

    // The writer's answer, its first refusal kept: a file cut short is reported, not passed off as whole.
    bool Keep(bool taken)
    {
        if (!taken && m_refusal.empty())
            m_refusal = m_writer->Error();
        return taken;
    }

    void WritePicture()
    {
        auto first = m_pictures.begin();
        // A missing picture number repeats the last picture, so the stream keeps its rate.
        while (m_written > 0 && m_lastNumber + 1 < first->first && m_written < m_frameLimit) {
            Keep(m_writer->AddVideoFrame(m_last.data(), m_last.size()));
            ++m_lastNumber;
            ++m_written;
            ++m_repeated;
        }
        if (m_written < m_frameLimit && first->first > m_lastNumber) {
            Keep(m_writer->AddVideoFrame(first->second.data(), first->second.size()));
            ++m_written;
            m_lastNumber = first->first;
            m_last = std::move(first->second);
        }
        m_pictures.erase(first);
    }

    void WriteAudio()
    {
        auto first = m_audio.begin();
        const int64_t room = m_audioLimit - int64_t(m_audioWritten);
        const size_t size = size_t(std::max<int64_t>(0, std::min<int64_t>(room, int64_t(first->second.size()))));
        if (size > 0 && Keep(m_writer->AddAudio(first->second.data(), size)))
            m_audioWritten += size;
        m_audio.erase(first);
    }

    std::mutex m_lock;
    AviWriter* m_writer;
    uint32_t m_frameBytes;
    int64_t m_frameLimit;
    int64_t m_audioLimit;
    std::map<int64_t, std::vector<uint8_t>> m_pictures;
    std::map<int64_t, std::vector<uint8_t>> m_audio;
    int64_t m_firstPicture = -1;
    int64_t m_firstAudio = -1;
    int64_t m_lastNumber = -1;
    int64_t m_written = 0;
    int64_t m_repeated = 0;
    uint64_t m_audioWritten = 0;
    std::vector<uint8_t> m_last;
    std::string m_refusal;
};

} // namespace

std::vector<std::array<uint8_t, 2>> CaptionScript(const std::string& text)
{
    // Roll-up, two rows: the mode and a carriage return, each sent twice as captioners do.
    std::vector<std::array<uint8_t, 2>> pairs = {{0x14, 0x25}, {0x14, 0x25}, {0x14, 0x2D}, {0x14, 0x2D}};
    for (size_t i = 0; i < text.size(); i += 2)
        pairs.push_back({uint8_t(text[i] & 0x7F), uint8_t(i + 1 < text.size() ? text[i + 1] & 0x7F : 0)});
    return pairs;
}

std::string CaptionText(const std::vector<std::array<uint8_t, 2>>& pairs)
{
    auto oddParity = [](uint8_t byte) { return __builtin_popcount(byte) % 2 == 1; };
    std::string text;
    for (const auto& pair : pairs) {
        if (!oddParity(pair[0]) || !oddParity(pair[1]))
            continue;
        const uint8_t first = pair[0] & 0x7F, second = pair[1] & 0x7F;
        if (first < 0x20) // a control or special-character pair
            continue;
        for (uint8_t c : {first, second})
            if (c >= 0x20 && c < 0x7F)
                text += static_cast<char>(c);
    }
    return text;
}

CaptureResult RunCapture(board::CaptureBoard& board, const fs::path& machineRoot, int seconds, const fs::path& out)
{
    CaptureResult result;
    auto fail = [&](const std::string& reason) {
        result.error = reason;
        return result;
    };

    // The board's input 0: colour bars of the 525-line standard, roll-up captions on line 21 and
    // its tones (1 kHz left on pair 0).
    const std::string captionLine = "INPUT 0 COLOUR BARS - 1 KHZ TONE  ";
    std::vector<std::array<uint8_t, 2>> script;
    for (int i = 0; i < 4 + seconds; ++i) {
        auto part = CaptionScript(captionLine);
        script.insert(script.end(), part.begin(), part.end());
    }
    // Both fields carry it, so that the caption pin and the overlay read it whichever field they take.
    board.Commands().QueueCaptions(1, script);
    board.Commands().QueueCaptions(2, script);

    fs::create_directories(machineRoot / "C");
    if (!WriteBytes(machineRoot / "C" / "captions.gph", CaptionGlyphFile()))
        return fail("the caption font cannot be written to the machine's drive C");

    const std::vector<FilterInterface> captureFilters = FilterDirectory::List(KSCATEGORY_CAPTURE);
    DeviceNames names;
    if (captureFilters.empty() || !FilterDirectory::ReadDeviceNames(captureFilters.front().path, &names))
        return fail("no capture filter answers its device configuration");
    const std::u16string videoPath = FilterDirectory::FindByName(KSCATEGORY_CAPTURE, names.Video());
    std::u16string audioPath;
    for (const FilterInterface& audio : FilterDirectory::List(KSCATEGORY_AUDIO)) {
        uint32_t index = 0;
        std::u16string input;
        if (FilterDirectory::ReadAudioInput(audio.path, &index, &input) && index == 0)
            audioPath = FilterDirectory::FindByName(KSCATEGORY_AUDIO, names.Audio(input));
    }
    if (videoPath.empty() || audioPath.empty())
        return fail("the video capture filter or input 0's audio filter is missing");
    HANDLE video = FilterDirectory::Open(videoPath);
    HANDLE audio = FilterDirectory::Open(audioPath);
    if (video == INVALID_HANDLE_VALUE || audio == INVALID_HANDLE_VALUE) {
        if (video != INVALID_HANDLE_VALUE)
            CloseHandle(video);
        if (audio != INVALID_HANDLE_VALUE)
            CloseHandle(audio);
        return fail("the filters cannot be opened");
    }
    if (!TurnOnPreviewCaptions(video))
        std::printf("  the preview pin's caption overlay could not be turned on (0x%08X)\n",
                    static_cast<unsigned>(GetLastError()));
    else
        std::printf("  caption overlay on for the preview pin (CC1, font C:\\captions.gph)\n");

    const auto captureFormat = VideoFormat(KSDATAFORMAT_SUBTYPE_RGB24, 640, 480, 24);
    const auto previewFormat = VideoFormat(KSDATAFORMAT_SUBTYPE_RGB32, 320, 240, 32);
    const KSDATAFORMAT captionFormat = CaptionFormat();
    const KSDATAFORMAT_WAVEFORMATEX audioFormat = AudioFormat();
    const uint32_t frameBytes = captureFormat.VideoInfoHeader.bmiHeader.biSizeImage;
    const int64_t framesWanted = (int64_t(seconds) * 10'000'000 + kFrameTime - 1) / kFrameTime;
    const int64_t audioWanted = int64_t(seconds) * kAudioRate * kAudioBlock;

    AviWriter writer;
    const fs::path aviPath = out / "capture.avi";
    if (!writer.Open(aviPath, {640, 480, 24, kFrameTime}, {kAudioRate, 2, 16}))
        return fail("capture.avi: " + writer.Error());
    Interleaver interleaver(&writer, frameBytes, framesWanted, audioWanted);
    PictureSamples captureSamples(640, 480, 3, std::max<int64_t>(1, framesWanted / ContactSheet::kColumns));
    PictureSamples previewSamples(320, 240, 4, std::max<int64_t>(1, framesWanted / ContactSheet::kColumns));
    std::mutex shared;
    std::vector<int16_t> samples;
    CaptionPairLog captionLog;
    std::atomic<int64_t> firstPicture{-1}, lastPicture{-1}, firstPreview{-1}, lastPreview{-1};
    std::atomic<int64_t> firstAudio{-1}, lastAudio{-1};
    // Raises `last` to `value`.
    auto raise = [](std::atomic<int64_t>& last, int64_t value) {
        int64_t seen = last.load();
        while (value > seen && !last.compare_exchange_weak(seen, value)) {
        }
    };

    PinReader capturePin("capture", frameBytes, kVideoHeaderBytes, [&](const DeliveredBuffer& buffer) {
        const int64_t number = buffer.frameInfo.PictureNumber;
        int64_t expected = -1;
        firstPicture.compare_exchange_strong(expected, number);
        raise(lastPicture, number);
        interleaver.AddPicture(number, buffer.data, buffer.dataUsed);
        captureSamples.Add(number - firstPicture.load(), buffer.data, buffer.dataUsed);
    });
    PinReader previewPin("preview", previewFormat.VideoInfoHeader.bmiHeader.biSizeImage, kVideoHeaderBytes,
                         [&](const DeliveredBuffer& buffer) {
                             const int64_t number = buffer.frameInfo.PictureNumber;
                             int64_t expected = -1;
                             firstPreview.compare_exchange_strong(expected, number);
                             raise(lastPreview, number);
                             previewSamples.Add(number - firstPreview.load(), buffer.data, buffer.dataUsed);
                         });
    PinReader captionPin("captions", 2, kVideoHeaderBytes, [&](const DeliveredBuffer& buffer) {
        if (buffer.dataUsed < 2)
            return;
        captionLog.Add(buffer.header.PresentationTime.Time, {buffer.data[0], buffer.data[1]});
    });
    PinReader audioPin("audio", kAudioRate / 100 * kAudioBlock, kPlainHeaderBytes, [&](const DeliveredBuffer& buffer) {
        const int64_t time = buffer.header.PresentationTime.Time;
        int64_t expected = -1;
        firstAudio.compare_exchange_strong(expected, time);
        raise(lastAudio, time);
        interleaver.AddAudio(time, buffer.data, buffer.dataUsed);
        std::lock_guard<std::mutex> hold(shared);
        const size_t count = buffer.dataUsed / 2;
        const auto* values = reinterpret_cast<const int16_t*>(buffer.data);
        if (samples.size() < size_t(kAudioRate) * 2 / 10) // the first 100 ms make the waveform
            samples.insert(samples.end(), values, values + count);
    });

    struct Opened {
        PinReader* reader;
        HANDLE filter;
        ULONG pin;
        const void* format;
        size_t bytes;
    };
    const Opened pins[] = {
        {&capturePin, video, kCapturePin, &captureFormat, sizeof(captureFormat)},
        {&previewPin, video, kPreviewPin, &previewFormat, sizeof(previewFormat)},
        {&captionPin, video, kCaptionPin, &captionFormat, sizeof(captionFormat)},
        {&audioPin, audio, kAudioPin, &audioFormat, sizeof(audioFormat)},
    };
    std::string startError;
    for (const Opened& pin : pins) {
        if (const DWORD error = pin.reader->Open(pin.filter, pin.pin, pin.format, pin.bytes)) {
            startError = pin.reader->Name() + " pin: KsCreatePin failed with " + std::to_string(error);
            break;
        }
    }
    for (const Opened& pin : pins) {
        if (!startError.empty())
            break;
        if (const DWORD error = pin.reader->Run())
            startError = pin.reader->Name() + " pin: Run failed with " + std::to_string(error);
    }

    std::printf("  capturing %d s: capture 640 x 480 RGB24, preview 320 x 240 RGB32, captions, audio 48000 Hz "
                "16-bit stereo, %d requests outstanding a pin\n",
                seconds, PinReader::kOutstanding);
    // A loaded machine only makes the capture take longer: the run waits as long as buffers keep
    // coming, and gives up when no pin has completed one for kStall, or at the outer bound.
    constexpr auto kStall = std::chrono::seconds(10);
    const auto start = std::chrono::steady_clock::now();
    const auto bound = start + std::chrono::seconds(10 * seconds + 60);
    auto lastProgress = start;
    uint64_t progress = 0;
    int shown = 0;
    while (startError.empty()) {
        // Every pin covers the seconds asked: pictures by their numbers (a dropped one counts), the
        // captions by their pairs, the audio by its buffers.
        auto span = [](const std::atomic<int64_t>& first, const std::atomic<int64_t>& last) {
            return first.load() < 0 ? 0 : last.load() - first.load() + 1;
        };
        const bool enough = span(firstPicture, lastPicture) >= framesWanted &&
                            span(firstPreview, lastPreview) >= framesWanted &&
                            captionPin.Completed() >= uint64_t(framesWanted) &&
                            audioPin.Completed() * kAudioRate / 100 * kAudioBlock >= uint64_t(audioWanted);
        const auto now = std::chrono::steady_clock::now();
        const uint64_t completed =
            capturePin.Completed() + previewPin.Completed() + captionPin.Completed() + audioPin.Completed();
        if (completed != progress) {
            progress = completed;
            lastProgress = now;
        }
        if (enough)
            break;
        if (now >= lastProgress + kStall || now >= bound) {
            std::printf("  stopped short of %d s: %s\n", seconds,
                        now >= bound ? "the time allowed ran out" : "no buffer came for 10 s");
            break;
        }
        if (now >= start + std::chrono::seconds(shown + 1)) {
            ++shown;
            std::printf("  %2d s: capture %llu, preview %llu, captions %llu, audio %llu buffers\n", shown,
                        static_cast<unsigned long long>(capturePin.Completed()),
                        static_cast<unsigned long long>(previewPin.Completed()),
                        static_cast<unsigned long long>(captionPin.Completed()),
                        static_cast<unsigned long long>(audioPin.Completed()));
            std::fflush(stdout);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    // DROPPEDFRAMES answers for the first running pin of a filter: the capture pin, the audio pin.
    int64_t filterDelivered = 0, filterDropped = 0, audioDelivered = 0, audioDropped = 0;
    const bool haveDropped = DroppedFrames(video, &filterDelivered, &filterDropped);
    const bool haveAudioDropped = DroppedFrames(audio, &audioDelivered, &audioDropped);
    for (const Opened& pin : pins)
        pin.reader->Stop();
    CloseHandle(video);
    CloseHandle(audio);
    interleaver.Finish();
    const bool closed = writer.Close();
    if (!startError.empty())
        return fail(startError);
    if (!closed)
        return fail("capture.avi: " + writer.Error());
    if (const std::string refusal = interleaver.Refusal(); !refusal.empty())
        return fail("capture.avi is cut short at " + std::to_string(writer.VideoFrames()) + " pictures: " + refusal);

    // Buffers missing between the first and the last one a reader received.
    auto gaps = [](int64_t first, int64_t last, int64_t step, uint64_t delivered) {
        if (first < 0 || last < first)
            return uint64_t(0);
        const uint64_t span = uint64_t((last - first) / step + 1);
        return span > delivered ? span - delivered : 0;
    };
    result.pins = {
        {"capture", capturePin.Completed(),
         haveDropped ? uint64_t(filterDropped) : gaps(firstPicture, lastPicture, 1, capturePin.Completed())},
        {"preview", previewPin.Completed(), gaps(firstPreview, lastPreview, 1, previewPin.Completed())},
        {"captions", captionPin.Completed(), 0},
        {"audio", audioPin.Completed(),
         haveAudioDropped ? uint64_t(audioDropped) : gaps(firstAudio, lastAudio, kAudioBufferTime, audioPin.Completed())},
    };
    result.repeatedPictures = uint64_t(interleaver.Repeated());
    const std::vector<std::array<uint8_t, 2>> pairs = captionLog.Pairs();
    result.captionPairs = pairs;
    result.captionText = CaptionText(pairs);
    result.aviFrames = writer.VideoFrames();
    result.aviAudioBytes = writer.AudioBytes();

    ContactSheet sheet;
    captureSamples.AddTo(&sheet, true);
    previewSamples.AddTo(&sheet, false);
    sheet.SetCaptionPairs(pairs);
    sheet.SetAudio(samples, 2);
    std::string sheetError;
    if (!sheet.Write(out / "contact.png", &sheetError))
        return fail("contact.png: " + sheetError);
    result.ok = true;
    return result;
}

} // namespace capture
