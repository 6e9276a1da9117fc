// Media types from data ranges, and data formats from media types.
#include "ksproxy/KsMediaTypes.h"

#include <algorithm>
#include <cstring>

namespace ksproxy {

OfferedType::OfferedType(const OfferedType& other) : caps(other.caps)
{
    CopyMediaType(&type, &other.type);
}

OfferedType& OfferedType::operator=(const OfferedType& other)
{
    if (this != &other) {
        FreeMediaType(type);
        type = AM_MEDIA_TYPE{};
        CopyMediaType(&type, &other.type);
        caps = other.caps;
    }
    return *this;
}

OfferedType::~OfferedType()
{
    FreeMediaType(type);
}

namespace {

template <typename T> T Read(const std::vector<BYTE>& bytes, size_t at = 0)
{
    T value;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

void SetBlock(AM_MEDIA_TYPE* type, const void* block, size_t size)
{
    type->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(size));
    if (!type->pbFormat)
        return;
    std::memcpy(type->pbFormat, block, size);
    type->cbFormat = ULONG(size);
}

void SetCaps(OfferedType* offered, const KS_VIDEO_STREAM_CONFIG_CAPS& caps)
{
    offered->caps.resize(sizeof caps);
    std::memcpy(offered->caps.data(), &caps, sizeof caps);
}

// An audio range's format as the pin's intersection with that range alone gives it.
bool AudioIntersection(HANDLE filter, ULONG pinId, const std::vector<BYTE>& range, std::vector<BYTE>* format)
{
    const size_t rangeSize = (range.size() + 7) & ~size_t(7);
    std::vector<BYTE> request(sizeof(KSP_PIN) + sizeof(KSMULTIPLE_ITEM) + rangeSize, 0);
    KSP_PIN pin{};
    pin.Property.Set = KSPROPSETID_Pin;
    pin.Property.Id = KSPROPERTY_PIN_DATAINTERSECTION;
    pin.Property.Flags = KSPROPERTY_TYPE_GET;
    pin.PinId = pinId;
    const KSMULTIPLE_ITEM list{uint32_t(sizeof(KSMULTIPLE_ITEM) + rangeSize), 1};
    std::memcpy(request.data(), &pin, sizeof pin);
    std::memcpy(request.data() + sizeof pin, &list, sizeof list);
    std::memcpy(request.data() + sizeof pin + sizeof list, range.data(), range.size());
    ULONG bytes = 0;
    HRESULT hr = KsSynchronousDeviceControl(filter, IOCTL_KS_PROPERTY, request.data(), ULONG(request.size()),
                                            nullptr, 0, &bytes);
    if (hr != HRESULT_FROM_WIN32(ERROR_MORE_DATA) || bytes < sizeof(KSDATAFORMAT_WAVEFORMATEX))
        return false;
    format->assign(bytes, 0);
    hr = KsSynchronousDeviceControl(filter, IOCTL_KS_PROPERTY, request.data(), ULONG(request.size()),
                                    format->data(), bytes, &bytes);
    return SUCCEEDED(hr) && bytes >= sizeof(KSDATAFORMAT_WAVEFORMATEX);
}


// The largest sample size an audio range is asked about: no PCM format is wider, and a range that
// claims more cannot make the proxy send a request for each of billions of sizes.
constexpr ULONG kWidestAudioSample = 64;

// An audio range's types: one per sample size from the range's largest down to its smallest in
// steps of 8 bits, each the pin's intersection answer for the range narrowed to that size, with
// the capabilities of that size. A size the driver finds no format for is left out.
void AddAudioTypes(HANDLE filter, ULONG pinId, const std::vector<BYTE>& range, std::vector<OfferedType>* types)
{
    const auto audio = Read<KSDATARANGE_AUDIO>(range);
    const ULONG smallest = std::max<ULONG>(audio.MinimumBitsPerSample, 1);
    for (ULONG bits = std::min(audio.MaximumBitsPerSample, kWidestAudioSample); bits >= smallest; bits -= 8) {
        std::vector<BYTE> narrowed = range;
        KSDATARANGE_AUDIO sized = audio;
        sized.MinimumBitsPerSample = bits;
        sized.MaximumBitsPerSample = bits;
        std::memcpy(narrowed.data(), &sized, sizeof sized);
        std::vector<BYTE> format;
        if (AudioIntersection(filter, pinId, narrowed, &format)) {
            OfferedType offered;
            AM_MEDIA_TYPE& type = offered.type;
            const auto answer = Read<KSDATAFORMAT>(format);
            const auto wave = Read<WAVEFORMATEX>(format, sizeof(KSDATAFORMAT));
            type.majortype = answer.MajorFormat;
            type.subtype = answer.SubFormat;
            type.formattype = answer.Specifier;
            type.bFixedSizeSamples = TRUE;
            type.bTemporalCompression = (answer.Flags & KSDATAFORMAT_TEMPORAL_COMPRESSION) ? TRUE : FALSE;
            type.lSampleSize = wave.nBlockAlign;
            const size_t block = std::min<size_t>(format.size() - sizeof(KSDATAFORMAT),
                                                  sizeof(WAVEFORMATEX) + wave.cbSize);
            SetBlock(&type, format.data() + sizeof(KSDATAFORMAT), block);
            AUDIO_STREAM_CONFIG_CAPS caps{};
            caps.guid = MEDIATYPE_Audio;
            caps.MinimumChannels = 1;
            caps.MaximumChannels = audio.MaximumChannels;
            caps.ChannelsGranularity = 1;
            caps.MinimumBitsPerSample = bits;
            caps.MaximumBitsPerSample = bits;
            caps.BitsPerSampleGranularity = 8;
            caps.MinimumSampleFrequency = audio.MinimumSampleFrequency;
            caps.MaximumSampleFrequency = audio.MaximumSampleFrequency;
            caps.SampleFrequencyGranularity = 1;
            offered.caps.resize(sizeof caps);
            std::memcpy(offered.caps.data(), &caps, sizeof caps);
            types->push_back(offered);
        }
        if (bits < 8 + smallest)
            break; // the next step would pass the smallest size
    }
}

} // namespace

std::vector<OfferedType> TypesFromRanges(HANDLE filter, const PinFactory& pin)
{
    std::vector<OfferedType> types;
    for (const std::vector<BYTE>& range : pin.ranges) {
        const auto head = Read<KSDATARANGE>(range);
        OfferedType offered;
        AM_MEDIA_TYPE& type = offered.type;
        type.majortype = head.MajorFormat;
        type.subtype = head.SubFormat;
        type.formattype = head.Specifier;
        type.bFixedSizeSamples = TRUE;
        type.bTemporalCompression = (head.Flags & KSDATAFORMAT_TEMPORAL_COMPRESSION) ? TRUE : FALSE;
        type.lSampleSize = head.SampleSize;
        if (head.Specifier == KSDATAFORMAT_SPECIFIER_VIDEOINFO && range.size() >= sizeof(KS_DATARANGE_VIDEO)) {
            const auto video = Read<KS_DATARANGE_VIDEO>(range);
            type.bFixedSizeSamples = video.bFixedSizeSamples ? TRUE : FALSE;
            type.bTemporalCompression = video.bTemporalCompression ? TRUE : FALSE;
            type.lSampleSize = video.VideoInfoHeader.bmiHeader.biSizeImage;
            SetBlock(&type, &video.VideoInfoHeader, sizeof video.VideoInfoHeader);
            SetCaps(&offered, video.ConfigCaps);
        } else if (head.Specifier == KSDATAFORMAT_SPECIFIER_VIDEOINFO2 &&
                   range.size() >= sizeof(KS_DATARANGE_VIDEO2)) {
            const auto video = Read<KS_DATARANGE_VIDEO2>(range);
            type.bFixedSizeSamples = video.bFixedSizeSamples ? TRUE : FALSE;
            type.bTemporalCompression = video.bTemporalCompression ? TRUE : FALSE;
            type.lSampleSize = video.VideoInfoHeader.bmiHeader.biSizeImage;
            SetBlock(&type, &video.VideoInfoHeader, sizeof video.VideoInfoHeader);
            SetCaps(&offered, video.ConfigCaps);
        } else if (head.Specifier == KSDATAFORMAT_SPECIFIER_VBI && range.size() >= sizeof(KS_DATARANGE_VIDEO_VBI)) {
            const auto vbi = Read<KS_DATARANGE_VIDEO_VBI>(range);
            type.bFixedSizeSamples = vbi.bFixedSizeSamples ? TRUE : FALSE;
            type.lSampleSize = vbi.VBIInfoHeader.BufferSize;
            SetBlock(&type, &vbi.VBIInfoHeader, sizeof vbi.VBIInfoHeader);
            SetCaps(&offered, vbi.ConfigCaps);
        } else if (head.MajorFormat == KSDATAFORMAT_TYPE_AUDIO && range.size() >= sizeof(KSDATARANGE_AUDIO)) {
            AddAudioTypes(filter, pin.id, range, &types);
            continue;
        }
        types.push_back(offered);
    }
    return types;
}

int CapsSize(const std::vector<OfferedType>& types)
{
    bool audioOnly = !types.empty();
    for (const OfferedType& offered : types)
        audioOnly = audioOnly && offered.caps.size() == sizeof(AUDIO_STREAM_CONFIG_CAPS);
    return audioOnly ? int(sizeof(AUDIO_STREAM_CONFIG_CAPS)) : int(sizeof(VIDEO_STREAM_CONFIG_CAPS));
}

std::vector<BYTE> DataFormatOf(const AM_MEDIA_TYPE& type)
{
    const size_t block = type.pbFormat ? type.cbFormat : 0;
    if (block > 0x100000)
        return {};
    KSDATAFORMAT head{};
    head.FormatSize = uint32_t(sizeof head + block);
    head.Flags = type.bTemporalCompression ? KSDATAFORMAT_TEMPORAL_COMPRESSION : 0;
    head.SampleSize = type.bFixedSizeSamples ? type.lSampleSize : 0;
    head.MajorFormat = type.majortype;
    head.SubFormat = type.subtype;
    head.Specifier = type.formattype;
    std::vector<BYTE> format(sizeof head + block);
    std::memcpy(format.data(), &head, sizeof head);
    if (block)
        std::memcpy(format.data() + sizeof head, type.pbFormat, block);
    return format;
}

ULONG SampleSizeOf(const AM_MEDIA_TYPE& type)
{
    if (type.pbFormat && type.formattype == FORMAT_VideoInfo && type.cbFormat >= sizeof(VIDEOINFOHEADER))
        return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader.biSizeImage;
    if (type.pbFormat && type.formattype == FORMAT_VideoInfo2 && type.cbFormat >= sizeof(VIDEOINFOHEADER2))
        return reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat)->bmiHeader.biSizeImage;
    if (type.pbFormat && type.formattype == FORMAT_WaveFormatEx && type.cbFormat >= sizeof(WAVEFORMATEX)) {
        WAVEFORMATEX wave;
        std::memcpy(&wave, type.pbFormat, sizeof wave);
        return wave.nBlockAlign;
    }
    return type.lSampleSize;
}

bool SameType(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b)
{
    if (a.majortype != b.majortype || a.subtype != b.subtype || a.formattype != b.formattype ||
        a.cbFormat != b.cbFormat)
        return false;
    return a.cbFormat == 0 || (a.pbFormat && b.pbFormat && std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0);
}

} // namespace ksproxy
