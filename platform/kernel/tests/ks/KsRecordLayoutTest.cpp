// The video, audio and property records that filters, pins and clients exchange: each size as both
// sides count it, the fields at the offsets the requests use, and every GUID against its published
// text (a digit typed wrong in one of the eleven fields would otherwise go unseen).
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "shared/ksaudiorecords.h"
#include "shared/kscategories.h"
#include "shared/ksvidcaprecords.h"
#include "shared/ksvideorecords.h"
#include "standin/devices.h"

namespace {

std::string Text(const GUID& guid)
{
    std::string text;
    for (char16_t c : standin::GuidText(guid))
        text += static_cast<char>(c >= u'a' && c <= u'f' ? c - u'a' + u'A' : c);
    return text;
}

} // namespace

TEST(KsRecordLayout, EverySizeAsCallersCountIt)
{
    const std::pair<size_t, size_t> sizes[] = {
        {sizeof(KS_BITMAPINFOHEADER), 40},
        {sizeof(KS_VIDEOINFOHEADER), 88},
        {sizeof(KS_VIDEOINFOHEADER2), 112},
        {sizeof(KS_VIDEOINFO), 1128},
        {sizeof(KS_VIDEO_STREAM_CONFIG_CAPS), 128},
        {sizeof(KS_DATARANGE_VIDEO), 296},
        {sizeof(KS_DATARANGE_VIDEO2), 320},
        {sizeof(KS_DATARANGE_VIDEO_PALETTE), 1336},
        {sizeof(KS_DATARANGE_VIDEO_VBI), 252},
        {sizeof(KS_DATAFORMAT_VIDEOINFOHEADER), 152},
        {sizeof(KS_DATAFORMAT_VIDEOINFO_PALETTE), 1192},
        {sizeof(KS_DATAFORMAT_VIDEOINFOHEADER2), 176},
        {sizeof(KS_DATAFORMAT_VBIINFOHEADER), 112},
        {sizeof(WAVEFORMATEX), 18},
        {sizeof(WAVEFORMATEXTENSIBLE), 40},
        {sizeof(KSDATAFORMAT_WAVEFORMATEX), 82},
        {sizeof(KSDATARANGE_AUDIO), 88},
        {sizeof(KSDATAFORMAT_WAVEFORMATEXTENSIBLE), 104},
        {sizeof(KSPROPERTY_CROSSBAR_CAPS_S), 32},
        {sizeof(KSPROPERTY_CROSSBAR_PININFO_S), 64},
        {sizeof(KSPROPERTY_CROSSBAR_ROUTE_S), 40},
        {sizeof(KSPROPERTY_VIDEODECODER_CAPS_S), 40},
        {sizeof(KSPROPERTY_VIDEODECODER_S), 32},
        {sizeof(KSPROPERTY_VIDEODECODER_STATUS_S), 32},
        {sizeof(KSPROPERTY_VIDEOPROCAMP_S), 40},
        {sizeof(KSPROPERTY_DROPPEDFRAMES_CURRENT_S), 48},
        {sizeof(KSPROPERTY_VIDEOCOMPRESSION_GETINFO_S), 48},
        {sizeof(KSPROPERTY_VIDEOCOMPRESSION_S), 32},
        {sizeof(KSNODEPROPERTY), 32},
        {sizeof(KSNODEPROPERTY_AUDIO_CHANNEL), 40},
        {sizeof(KSCOMPONENTID), 72},
    };
    for (size_t i = 0; i < std::size(sizes); ++i)
        EXPECT_EQ(sizes[i].first, sizes[i].second) << "record " << i;
}

TEST(KsRecordLayout, FieldsSitWhereTheRequestsReadThem)
{
    // The wave format follows the 64-byte head directly, and the extensible part the 18 bytes.
    EXPECT_EQ(offsetof(KSDATAFORMAT_WAVEFORMATEX, WaveFormatEx), 64u);
    EXPECT_EQ(offsetof(KSDATAFORMAT_WAVEFORMATEXTENSIBLE, WaveFormatExt) +
                  offsetof(WAVEFORMATEXTENSIBLE, dwChannelMask),
              84u);
    EXPECT_EQ(offsetof(KS_DATARANGE_VIDEO, VideoInfoHeader) + offsetof(KS_VIDEOINFOHEADER, bmiHeader) +
                  offsetof(KS_BITMAPINFOHEADER, biCompression),
              272u);
    EXPECT_EQ(offsetof(KS_DATARANGE_VIDEO_VBI, VBIInfoHeader) + offsetof(KS_VBIINFOHEADER, BufferSize), 248u);
    EXPECT_EQ(offsetof(KS_DATAFORMAT_VIDEOINFOHEADER2, VideoInfoHeader2) + offsetof(KS_VIDEOINFOHEADER2, bmiHeader),
              136u);
    EXPECT_EQ(offsetof(KSPROPERTY_CROSSBAR_PININFO_S, Medium) + offsetof(KSPIN_MEDIUM, Id), 56u);
    EXPECT_EQ(offsetof(KSPROPERTY_DROPPEDFRAMES_CURRENT_S, PictureNumber), 24u);
    EXPECT_EQ(offsetof(KSPROPERTY_VIDEOCOMPRESSION_GETINFO_S, DefaultKeyFrameRate), 28u);
    EXPECT_EQ(offsetof(KSNODEPROPERTY_AUDIO_CHANNEL, Channel), 32u);

    // A packed audio format in a byte buffer reads back field by field.
    unsigned char bytes[sizeof(KSDATAFORMAT_WAVEFORMATEX)] = {};
    bytes[64] = 0x01;                 // wFormatTag
    bytes[66] = 0x02;                 // nChannels
    bytes[68] = 0x80, bytes[69] = 0xBB; // 48000
    auto* format = reinterpret_cast<KSDATAFORMAT_WAVEFORMATEX*>(bytes);
    EXPECT_EQ(format->WaveFormatEx.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format->WaveFormatEx.nChannels, 2);
    EXPECT_EQ(format->WaveFormatEx.nSamplesPerSec, 48000u);
}

TEST(KsRecordLayout, ItemIdsOfTheStandardSets)
{
    EXPECT_EQ(KSPROPERTY_CROSSBAR_CAPS, 0);
    EXPECT_EQ(KSPROPERTY_CROSSBAR_PININFO, 1);
    EXPECT_EQ(KSPROPERTY_CROSSBAR_CAN_ROUTE, 2);
    EXPECT_EQ(KSPROPERTY_CROSSBAR_ROUTE, 3);
    EXPECT_EQ(KSPROPERTY_VIDEODECODER_STATUS, 2);
    EXPECT_EQ(KSPROPERTY_VIDEOPROCAMP_SATURATION, 3);
    EXPECT_EQ(KSPROPERTY_VIDEOCOMPRESSION_OVERRIDE_FRAME_SIZE, 5);
    EXPECT_EQ(KSPROPERTY_VIDEOCOMPRESSION_WINDOWSIZE, 6);
    EXPECT_EQ(KSPROPERTY_AUDIO_LATENCY, 1);
    EXPECT_EQ(KSPROPERTY_AUDIO_VOLUMELEVEL, 4);
    EXPECT_EQ(KSPROPERTY_AUDIO_MUX_SOURCE, 12);
    EXPECT_EQ(KSPROPERTY_AUDIO_MUTE, 13);
    EXPECT_EQ(KSPROPERTY_AUDIO_CPU_RESOURCES, 33);
    EXPECT_EQ(KSPROPERTY_AUDIO_PEAKMETER, 37);
}

TEST(KsRecordLayout, GuidsAsPublished)
{
    const std::pair<GUID, const char*> guids[] = {
        {PROPSETID_VIDCAP_CROSSBAR, "{6A2E0640-28E4-11D0-A18C-00A0C9118956}"},
        {PROPSETID_VIDCAP_VIDEODECODER, "{C6E13350-30AC-11D0-A18C-00A0C9118956}"},
        {PROPSETID_VIDCAP_VIDEOPROCAMP, "{C6E13360-30AC-11D0-A18C-00A0C9118956}"},
        {PROPSETID_VIDCAP_VIDEOCOMPRESSION, "{C6E13343-30AC-11D0-A18C-00A0C9118956}"},
        {PROPSETID_VIDCAP_DROPPEDFRAMES, "{C6E13344-30AC-11D0-A18C-00A0C9118956}"},
        {KSPROPSETID_Audio, "{45FFAAA0-6E1B-11D0-BCF2-444553540000}"},
        {PIN_CATEGORY_PREVIEW, "{FB6C4282-0353-11D1-905F-0000C0CC16BA}"},
        {PIN_CATEGORY_VBI, "{FB6C4284-0353-11D1-905F-0000C0CC16BA}"},
        {PIN_CATEGORY_CC, "{FB6C4289-0353-11D1-905F-0000C0CC16BA}"},
        {PINNAME_CAPTURE, "{FB6C4281-0353-11D1-905F-0000C0CC16BA}"},
        {PINNAME_VIDEO_ANALOGVIDEOIN, "{FB6C4283-0353-11D1-905F-0000C0CC16BA}"},
        {KSNODETYPE_VOLUME, "{3A5ACC00-C557-11D0-8A2B-00A0C9255AC1}"},
        {KSNODETYPE_MUTE, "{02B223C0-C557-11D0-8A2B-00A0C9255AC1}"},
        {KSNODETYPE_PEAKMETER, "{A085651E-5F0D-4B36-A869-D195D6AB4B9E}"},
        {KSNODETYPE_SUM, "{DA441A60-C556-11D0-8A2B-00A0C9255AC1}"},
        {KSNODETYPE_MUX, "{2CEAF780-C556-11D0-8A2B-00A0C9255AC1}"},
        {KSDATAFORMAT_TYPE_AUDIO, "{73647561-0000-0010-8000-00AA00389B71}"},
        {KSDATAFORMAT_TYPE_VBI, "{F72A76E1-EB0A-11D0-ACE4-0000C0CC16BA}"},
        {KSDATAFORMAT_TYPE_AUXLine21Data, "{670AEA80-3A82-11D0-B79B-00AA003767A7}"},
        {KSDATAFORMAT_SUBTYPE_PCM, "{00000001-0000-0010-8000-00AA00389B71}"},
        {KSDATAFORMAT_SUBTYPE_RAW8, "{CA20D9A0-3E3E-11D1-9BF9-00C04FBBDEBF}"},
        {KSDATAFORMAT_SUBTYPE_Line21_BytePair, "{6E8D4A22-310C-11D0-B79A-00AA003767A7}"},
        {KSDATAFORMAT_SUBTYPE_RGB24, "{E436EB7D-524F-11CE-9F53-0020AF0BA770}"},
        {KSDATAFORMAT_SUBTYPE_RGB555, "{E436EB7C-524F-11CE-9F53-0020AF0BA770}"},
        {KSDATAFORMAT_SUBTYPE_RGB8, "{E436EB7A-524F-11CE-9F53-0020AF0BA770}"},
        {KSDATAFORMAT_SUBTYPE_YUY2, "{32595559-0000-0010-8000-00AA00389B71}"},
        {KSDATAFORMAT_SUBTYPE_I420, "{30323449-0000-0010-8000-00AA00389B71}"},
        {KSDATAFORMAT_SUBTYPE_YVU9, "{39555659-0000-0010-8000-00AA00389B71}"},
        {KSDATAFORMAT_SPECIFIER_VIDEOINFO2, "{F72A76A0-EB0A-11D0-ACE4-0000C0CC16BA}"},
        {KSDATAFORMAT_SPECIFIER_VBI, "{F72A76E0-EB0A-11D0-ACE4-0000C0CC16BA}"},
        {KSDATAFORMAT_SPECIFIER_WAVEFORMATEX, "{05589F81-C356-11CE-BF01-00AA0055595A}"},
    };
    for (const auto& [guid, text] : guids)
        EXPECT_EQ(Text(guid), text);
    // The four-character subtypes carry their code in the first field.
    EXPECT_EQ(KSDATAFORMAT_SUBTYPE_YUY2.Data1, uint32_t('Y') | 'U' << 8 | 'Y' << 16 | uint32_t('2') << 24);
}
