// VideoPinDetails: the settings of one pin of one video input: its connection format kind and pin
// id, crop, deinterlace, image quality, logo, proc amp with its three tables, the closed-caption
// record, and a reserved block. Everything is zero at construction. The video input items hold
// five of these per input, indexed by pin type (0 input, 1 capture, 2 preview, 3 VBI, 4 captions).
//
// Every getter answers into the caller's variable and every setter stores one field; both report
// success. The owner serialises (the filter's property handlers hold the device mutex).
#pragma once
#include "brevicorrecords.h"
#include "kernel/driverheap.h"
#include "km/types.h"

// The plain 32-bit fields of the pin settings, in their order: (name of the accessor pair, member,
// type). Each gets a Get<name>(type*) and a Set<name>(type) here and in VideoInputItems. The logo's
// rectangle fields are not in this list: their getters answer 0 while no logo file is named.
#define VIDEO_PIN_PLAIN_FIELDS(X)                                                                            \
    X(CropEnabled, m_cropEnabled, ULONG)                                                                     \
    X(CropTop, m_cropTop, ULONG)                                                                             \
    X(CropHeight, m_cropHeight, ULONG)                                                                       \
    X(CropLeft, m_cropLeft, ULONG)                                                                           \
    X(CropWidth, m_cropWidth, ULONG)                                                                         \
    X(CropRefHeight, m_cropRefHeight, ULONG)                                                                 \
    X(CropRefWidth, m_cropRefWidth, ULONG)                                                                   \
    X(DeinterlaceEnabled, m_deinterlaceEnabled, ULONG)                                                       \
    X(DeinterlaceType, m_deinterlaceType, ULONG)                                                             \
    X(InverseTelicineEnabled, m_inverseTelicineEnabled, ULONG)                                               \
    X(ResyncIntervalEnabled, m_resyncIntervalEnabled, ULONG)                                                 \
    X(ResyncInterval, m_resyncInterval, ULONG)                                                               \
    X(AutoDetectTelecine, m_autoDetectTelecine, ULONG)                                                       \
    X(ImageQualityEnabled, m_imageQualityEnabled, ULONG)                                                     \
    X(ImageQualityMode, m_imageQualityMode, ULONG)                                                           \
    X(ImageQualityLevel, m_imageQualityLevel, ULONG)                                                         \
    X(LogoEnable, m_logoEnable, ULONG)                                                                       \
    X(LogoTransparencyEnable, m_logoTransparencyEnable, ULONG)                                               \
    X(LogoTransparencyPct, m_logoTransparencyPct, ULONG)                                                     \
    X(LogoKeyColorEnable, m_logoKeyColorEnable, ULONG)                                                       \
    X(LogoKeyColor, m_logoKeyColor, ULONG)                                                                   \
    X(LogoDuration, m_logoDuration, ULONG)                                                                   \
    X(LogoReferenceHeight, m_logoReferenceHeight, ULONG)                                                     \
    X(LogoReferenceWidth, m_logoReferenceWidth, ULONG)                                                       \
    X(VideoProcAmpBrightness, m_brightness, LONG)                                                            \
    X(VideoProcAmpContrast, m_contrast, LONG)                                                                \
    X(VideoProcAmpHue, m_hue, LONG)                                                                          \
    X(VideoProcAmpSaturation, m_saturation, LONG)                                                            \
    X(VideoProcAmpGamma, m_gamma, LONG)

// The logo rectangle: stored as given, read as 0 while the logo file name is empty.
#define VIDEO_PIN_LOGO_RECTANGLE_FIELDS(X)                                                                   \
    X(LogoDestinationTop, m_logoDestinationTop, ULONG)                                                       \
    X(LogoDestinationLeft, m_logoDestinationLeft, ULONG)                                                     \
    X(LogoDestinationHeight, m_logoDestinationHeight, ULONG)                                                 \
    X(LogoDestinationWidth, m_logoDestinationWidth, ULONG)                                                   \
    X(LogoOriginationHeight, m_logoOriginationHeight, ULONG)                                                 \
    X(LogoOriginationWidth, m_logoOriginationWidth, ULONG)

// Every field pair of both lists.
#define VIDEO_PIN_FIELDS(X) VIDEO_PIN_PLAIN_FIELDS(X) VIDEO_PIN_LOGO_RECTANGLE_FIELDS(X)

class VideoPinDetails : public DriverAllocated {
public:
    static constexpr ULONG kReservedBytes = 72;
    static constexpr ULONG kLogoFileNameCharacters = kRecordTextCharacters;
    static constexpr ULONG kTableEntries = kProcAmpTableEntries;

    VideoPinDetails();

#define VIDEO_PIN_DECLARE(name, member, type)                                                                \
    NTSTATUS Get##name(type* value) const;                                                                   \
    NTSTATUS Set##name(type value);
    VIDEO_PIN_FIELDS(VIDEO_PIN_DECLARE)
#undef VIDEO_PIN_DECLARE

    // The logo rectangle's fields as stored, whether or not a file is named: what a setter
    // compares a new value with.
#define VIDEO_PIN_DECLARE_STORED(name, member, type) NTSTATUS GetStored##name(type* value) const;
    VIDEO_PIN_LOGO_RECTANGLE_FIELDS(VIDEO_PIN_DECLARE_STORED)
#undef VIDEO_PIN_DECLARE_STORED

    // The tables: `count` entries copied in or out (at most kTableEntries, else
    // STATUS_INVALID_PARAMETER with nothing copied). The proc-amp path passes 256.
    NTSTATUS GetVideoProcAmpGammaValues(UCHAR* values, ULONG count) const;
    NTSTATUS SetVideoProcAmpGammaValues(const UCHAR* values, ULONG count);
    NTSTATUS GetVideoProcAmpSinValues(LONG* values, ULONG count) const;
    NTSTATUS SetVideoProcAmpSinValues(const LONG* values, ULONG count);
    NTSTATUS GetVideoProcAmpCosValues(LONG* values, ULONG count) const;
    NTSTATUS SetVideoProcAmpCosValues(const LONG* values, ULONG count);

    // The logo file name: a field of 260 characters. The setter takes a field of that size (a
    // record's): a name that ends within it replaces the stored one (the stored field is cleared
    // first); a field with no terminating zero is refused with STATUS_INVALID_PARAMETER and the
    // stored name stays. The getter copies all 260 characters.
    NTSTATUS GetLogoFileName(WCHAR* name) const;
    NTSTATUS SetLogoFileName(const WCHAR* name);
    bool HasLogoFileName() const
    {
        return m_logoFileName[0] != 0;
    }

    // The whole closed-caption record. The setter refuses a record whose font file name is not
    // terminated within its field (STATUS_INVALID_PARAMETER, nothing stored).
    NTSTATUS GetCCSettings(BrevicorCCRecord* record) const;
    NTSTATUS SetCCSettings(const BrevicorCCRecord* record);

    // The connection format kind: 0 none, otherwise the form stored (1 video-info, 2 video-info-2).
    NTSTATUS GetConnectionFormatInfo(ULONG* kind) const;
    NTSTATUS SetConnectionFormatKind(ULONG kind);

    ULONG GetPinId() const
    {
        return m_pinId;
    }
    void SetPinId(ULONG id)
    {
        m_pinId = id;
    }

private:
    // identity
    ULONG m_connectionFormatKind = 0;
    ULONG m_pinId = 0;
    // crop
    ULONG m_cropEnabled = 0;
    ULONG m_cropTop = 0;
    ULONG m_cropHeight = 0;
    ULONG m_cropLeft = 0;
    ULONG m_cropWidth = 0;
    ULONG m_cropRefHeight = 0;
    ULONG m_cropRefWidth = 0;
    // deinterlace
    ULONG m_deinterlaceEnabled = 0;
    ULONG m_deinterlaceType = 0;
    ULONG m_inverseTelicineEnabled = 0;
    ULONG m_resyncIntervalEnabled = 0;
    ULONG m_resyncInterval = 0;
    ULONG m_autoDetectTelecine = 0;
    // image quality
    ULONG m_imageQualityEnabled = 0;
    ULONG m_imageQualityMode = 0;
    ULONG m_imageQualityLevel = 0;
    // logo
    ULONG m_logoDestinationTop = 0;
    ULONG m_logoDestinationLeft = 0;
    ULONG m_logoDestinationHeight = 0;
    ULONG m_logoDestinationWidth = 0;
    ULONG m_logoOriginationHeight = 0;
    ULONG m_logoOriginationWidth = 0;
    ULONG m_logoEnable = 0;
    ULONG m_logoTransparencyEnable = 0;
    ULONG m_logoTransparencyPct = 0;
    ULONG m_logoKeyColorEnable = 0;
    ULONG m_logoKeyColor = 0;
    ULONG m_logoDuration = 0;
    ULONG m_logoReferenceHeight = 0;
    ULONG m_logoReferenceWidth = 0;
    WCHAR m_logoFileName[kLogoFileNameCharacters] = {};
    // proc amp
    LONG m_brightness = 0;
    LONG m_contrast = 0;
    LONG m_hue = 0;
    LONG m_saturation = 0;
    LONG m_gamma = 0;
    UCHAR m_gammaTable[kTableEntries] = {};
    LONG m_sineTable[kTableEntries] = {};
    LONG m_cosineTable[kTableEntries] = {};
    // closed captions
    BrevicorCCRecord m_cc = {};
    // reserved
    UCHAR m_reserved[kReservedBytes] = {};
};
