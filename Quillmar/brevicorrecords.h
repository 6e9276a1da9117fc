// The records of the driver's own property sets, the change-notification record and its payloads,
// and the identifiers of those sets and of the notification event set. Every record is the request
// and the answer of one property: the 24-byte property header (set, id, flags) and the payload after
// it, so every offset below counts from the start of the header. The layouts are what the property
// pages and any other client exchange with the driver: each is packed, and its size and the offsets
// clients rely on are asserted. Fields are little-endian 32-bit words unless declared otherwise.
//
// The performance record (PerformanceSettings) and the trace record (BrevicorSupportSettings) live
// with the driver-wide object in driver.h.
#pragma once
#include "km/types.h"
#include "common/procamptables.h"
#include "shared/guiddef.h"

#include <cstddef>

// ---- Property set and event set identifiers ---------------------------------------------------

DEFINE_GUIDSTRUCT_VALUE(PROPSETID_BREVICOR_INTERFACE_VERSION, 0xB724AF09L, 0x8027, 0x4C87, 0x89, 0xD8, 0x26,
                        0xDA, 0x63, 0x3D, 0xA1, 0x67);
DEFINE_GUIDSTRUCT_VALUE(PROPSETID_BREVICOR_DIAGNOSTICS, 0x4A5EB9FBL, 0xDF54, 0x4115, 0xBC, 0x44, 0xE7, 0xED,
                        0xC3, 0xB5, 0x2D, 0x25);
DEFINE_GUIDSTRUCT_VALUE(PROPSETID_BREVICOR_PERFORMANCE, 0xBECF09FFL, 0x66FE, 0x47AE, 0x9E, 0xAA, 0x47, 0x94,
                        0x67, 0x8B, 0x86, 0x0F);
DEFINE_GUIDSTRUCT_VALUE(PROPSETID_BREVICOR_IMAGEQUALITY, 0x28A6269EL, 0x209B, 0x4ADB, 0xB0, 0xBA, 0x06, 0xD4,
                        0xC4, 0x2F, 0x7A, 0xB6);
DEFINE_GUIDSTRUCT_VALUE(PROPSETID_BREVICOR_TRACE, 0x07F60A7CL, 0x78E7, 0x432B, 0xBC, 0x23, 0x9B, 0xF1, 0x93,
                        0x36, 0x15, 0x3B);
DEFINE_GUIDSTRUCT_VALUE(PROPSETID_BREVICOR_CROSSBAR, 0xD1B620E9L, 0x7DDF, 0x4FB5, 0xBC, 0x93, 0x00, 0x55,
                        0x99, 0x1E, 0x75, 0x3C);
DEFINE_GUIDSTRUCT_VALUE(PROPSETID_BREVICOR_VIDEODECODER, 0xFE57CE7EL, 0x67F4, 0x4D00, 0xB6, 0x74, 0x07, 0x38,
                        0x16, 0xAD, 0xA7, 0x64);
DEFINE_GUIDSTRUCT_VALUE(PROPSETID_BREVICOR_VIDEOPROCAMP, 0x7CA213A8L, 0xCEE0, 0x4609, 0xB9, 0x70, 0x3E, 0x0E,
                        0x66, 0x9A, 0xA6, 0x46);
DEFINE_GUIDSTRUCT_VALUE(PROPSETID_BREVICOR_AUDIO_CONFIG, 0xE5D2B57AL, 0x6352, 0x4B4F, 0x88, 0xD5, 0x42, 0x71,
                        0x07, 0x2F, 0x58, 0x4A);
DEFINE_GUIDSTRUCT_VALUE(PROPSETID_BREVICOR_CC, 0x0E5D1E1DL, 0x1251, 0x41EF, 0x9A, 0x0C, 0x54, 0x8A, 0x5C,
                        0x70, 0x19, 0xE6);
DEFINE_GUIDSTRUCT_VALUE(PROPSETID_BREVICOR_CROP, 0xD52525F4L, 0x5FA9, 0x4A79, 0x8D, 0xF7, 0x69, 0x1D, 0xF9,
                        0xEC, 0x87, 0xFF);
DEFINE_GUIDSTRUCT_VALUE(PROPSETID_BREVICOR_LOS, 0x1FC0CD53L, 0xE668, 0x46C5, 0xA1, 0xB4, 0x8F, 0xFA, 0xCF,
                        0x57, 0xAE, 0x41);
DEFINE_GUIDSTRUCT_VALUE(PROPSETID_BREVICOR_LOGO, 0x344FFA73L, 0x7BC0, 0x4453, 0x87, 0x36, 0x52, 0x9B, 0x94,
                        0xA4, 0x56, 0x04);
DEFINE_GUIDSTRUCT_VALUE(PROPSETID_BREVICOR_DEINTERLACE, 0x0564D75CL, 0xE596, 0x4811, 0xB6, 0x61, 0xD8, 0xE5,
                        0xC5, 0x2A, 0x15, 0xEC);
DEFINE_GUIDSTRUCT_VALUE(PROPSETID_BREVICOR_INPUTDETECT, 0xC82227CCL, 0x7BA6, 0x4EF0, 0x95, 0x02, 0xD7, 0xB5,
                        0x15, 0xE4, 0x3B, 0x2D);
DEFINE_GUIDSTRUCT_VALUE(PROPSETID_BREVICOR_DEVICE_CONFIG, 0x558207A6L, 0xE472, 0x420B, 0xAF, 0xC6, 0xFF, 0x99,
                        0x09, 0x07, 0xE6, 0xFE);
DEFINE_GUIDSTRUCT_VALUE(PROPSETID_BREVICOR_DRIVER_INFORMATION, 0x2230DEEBL, 0x297D, 0x4D20, 0xBE, 0x06, 0x49,
                        0x4D, 0x13, 0xB2, 0xC7, 0x84);
DEFINE_GUIDSTRUCT_VALUE(PROPSETID_BREVICOR_AUDIO_INPUT_INFO, 0x1577AC43L, 0xA6EA, 0x4745, 0x9C, 0x57, 0x25,
                        0x67, 0x62, 0x31, 0x3F, 0xBA);
DEFINE_GUIDSTRUCT_VALUE(KSEVENTSETID_BREVICOR_NOTIFICATION, 0x219342C0L, 0x3309, 0x4A91, 0xB7, 0xB8, 0xB8,
                        0x8B, 0xD5, 0x48, 0x59, 0x10);

// Identifiers the driver information record carries.
DEFINE_GUIDSTRUCT_VALUE(kBrevicorManufacturerGuid, 0x1DFF3A8FL, 0xCD49, 0x479F, 0xB6, 0xEB, 0x47, 0xFA, 0xE9,
                        0x33, 0x47, 0x0C);
DEFINE_GUIDSTRUCT_VALUE(kBrevicorDriverInformationGuid2, 0xB2E6BA7AL, 0x1264, 0x4E2E, 0xBD, 0x81, 0x20, 0x44,
                        0x40, 0x66, 0xF2, 0x39);
DEFINE_GUIDSTRUCT_VALUE(kBrevicorDriverInformationGuid4, 0x3766E380L, 0xB58F, 0x4ED0, 0x8C, 0x8C, 0x0B, 0xBB,
                        0xCA, 0x44, 0x1B, 0xF4);

// ---- Common pieces -----------------------------------------------------------------------------

// Wide characters of every file name and text field of the records (259 and a terminating zero).
inline constexpr ULONG kRecordTextCharacters = 260;
// Words of the property header in front of every record.
inline constexpr ULONG kPropertyHeaderWords = 6;
inline constexpr ULONG kPropertyHeaderBytes = 24;

// The pin-type selector of the per-pin records.
inline constexpr ULONG kPinTypeSelectorBoth = 255;

#pragma pack(push, 1)

// PROPSETID_BREVICOR_INTERFACE_VERSION, id 0 (get).
struct BrevicorInterfaceVersionRecord {
    ULONG header[kPropertyHeaderWords];
    ULONG interfaceVersion; // always 1
};
static_assert(sizeof(BrevicorInterfaceVersionRecord) == 28);
static_assert(offsetof(BrevicorInterfaceVersionRecord, interfaceVersion) == 24);

// PROPSETID_BREVICOR_DRIVER_INFORMATION, id 0 (get).
struct BrevicorDriverInformationRecord {
    ULONG header[kPropertyHeaderWords];
    GUID manufacturer; // kBrevicorManufacturerGuid
    GUID identifier2;  // kBrevicorDriverInformationGuid2
    GUID identifier3;  // zero
    GUID identifier4;  // kBrevicorDriverInformationGuid4
    ULONG value1;      // 1
    ULONG value2;      // 1
    ULONG value3;      // 1
};
static_assert(sizeof(BrevicorDriverInformationRecord) == 100);
static_assert(offsetof(BrevicorDriverInformationRecord, manufacturer) == 24);
static_assert(offsetof(BrevicorDriverInformationRecord, identifier2) == 40);
static_assert(offsetof(BrevicorDriverInformationRecord, identifier3) == 56);
static_assert(offsetof(BrevicorDriverInformationRecord, identifier4) == 72);
static_assert(offsetof(BrevicorDriverInformationRecord, value1) == 88);
static_assert(offsetof(BrevicorDriverInformationRecord, value3) == 96);

// PROPSETID_BREVICOR_DEVICE_CONFIG, id 0 (get; a set changes nothing).
inline constexpr ULONG kDeviceConfigProductNameCharacters = 256;
struct BrevicorDeviceConfigRecord {
    ULONG header[kPropertyHeaderWords];
    ULONG driverVersion[4];                                // 2, 1, 62, 0
    USHORT boardModel;                                     // 40
    USHORT hardwareByteA;                                  // 42
    USHORT hardwareByteB;                                  // 44
    USHORT hardwareByteC;                                  // 46
    USHORT hardwareWordD;                                  // 48
    UCHAR identification1[28];                             // 50
    UCHAR identification2[38];                             // 78
    WCHAR productName[kDeviceConfigProductNameCharacters]; // 116, to the end of the record
};
static_assert(sizeof(BrevicorDeviceConfigRecord) == 628);
static_assert(offsetof(BrevicorDeviceConfigRecord, driverVersion) == 24);
static_assert(offsetof(BrevicorDeviceConfigRecord, boardModel) == 40);
static_assert(offsetof(BrevicorDeviceConfigRecord, hardwareWordD) == 48);
static_assert(offsetof(BrevicorDeviceConfigRecord, identification1) == 50);
static_assert(offsetof(BrevicorDeviceConfigRecord, identification2) == 78);
static_assert(offsetof(BrevicorDeviceConfigRecord, productName) == 116);

// PROPSETID_BREVICOR_DIAGNOSTICS, id 0 (get and set). The data window is exchanged with DSP memory
// at address 0x20; the PCI tester's buffer address and cookie sit inside it.
inline constexpr ULONG kDiagnosticsWindowBytes = 1784;
inline constexpr ULONG kDiagnosticsTestBufferPhysicalOffset = 160; // record offset, 8 bytes
inline constexpr ULONG kDiagnosticsTestBufferAddressOffset = 168;  // record offset, 4 bytes
struct BrevicorDiagnosticsRecord {
    ULONG header[kPropertyHeaderWords];
    ULONG reserved[4];                     // 24 to 39
    ULONG address;                         // 40: DSP memory address or FPGA register number
    ULONG length;                          // 44: bytes of a fill
    ULONG value;                           // 48: FPGA register value
    ULONG mask;                            // 52: FPGA register mask or second value
    ULONG flag;                            // 56: FPGA register write, non-zero sets
    ULONG command;                         // 60
    UCHAR window[kDiagnosticsWindowBytes]; // 64
    UCHAR fillByte;                        // 1848: fill byte (command 3), restart flag (command 0)
};
static_assert(sizeof(BrevicorDiagnosticsRecord) == 1849);
static_assert(offsetof(BrevicorDiagnosticsRecord, address) == 40);
static_assert(offsetof(BrevicorDiagnosticsRecord, command) == 60);
static_assert(offsetof(BrevicorDiagnosticsRecord, window) == 64);
static_assert(offsetof(BrevicorDiagnosticsRecord, fillByte) == 1848);
static_assert(kDiagnosticsTestBufferPhysicalOffset >= offsetof(BrevicorDiagnosticsRecord, window) &&
              kDiagnosticsTestBufferAddressOffset + 4 <= offsetof(BrevicorDiagnosticsRecord, fillByte));

// PROPSETID_BREVICOR_AUDIO_CONFIG, id 0 (get and set): eight audio inputs.
inline constexpr ULONG kAudioConfigInputs = 8;
struct BrevicorAudioInputConfiguration {
    UCHAR connectorType;    // the input type
    UCHAR defaultFrequency; // 0 to 2
    UCHAR inputEnabled;
    UCHAR unused;
};
static_assert(sizeof(BrevicorAudioInputConfiguration) == 4);
struct BrevicorAudioConfigRecord {
    ULONG header[kPropertyHeaderWords];
    ULONG daughterCardState;  // 24: low five bits all set means no daughter card (get only)
    ULONG daughterCardEnable; // 28
    UCHAR volumeAdjustmentDisabled[kAudioConfigInputs];         // 32: the inputs' bypass modes
    BrevicorAudioInputConfiguration inputs[kAudioConfigInputs]; // 40 + 4i
    LONG gain[kAudioConfigInputs];                              // 72 + 4i
    LONG gainMinimum;                                           // 104 (get only)
    LONG gainMaximum;                                           // 108 (get only)
    LONG gainSpan;                                              // 112 (get only)
    ULONG reserved;                                             // 116: 0
    UCHAR legacyAudioFilters;                                   // 120 (get only)
    UCHAR kernelVersion6;                                       // 121 (get only)
};
static_assert(sizeof(BrevicorAudioConfigRecord) == 122);
static_assert(offsetof(BrevicorAudioConfigRecord, daughterCardEnable) == 28);
static_assert(offsetof(BrevicorAudioConfigRecord, volumeAdjustmentDisabled) == 32);
static_assert(offsetof(BrevicorAudioConfigRecord, inputs) == 40);
static_assert(offsetof(BrevicorAudioConfigRecord, gain) == 72);
static_assert(offsetof(BrevicorAudioConfigRecord, gainMinimum) == 104);
static_assert(offsetof(BrevicorAudioConfigRecord, reserved) == 116);
static_assert(offsetof(BrevicorAudioConfigRecord, legacyAudioFilters) == 120);
static_assert(offsetof(BrevicorAudioConfigRecord, kernelVersion6) == 121);

// PROPSETID_BREVICOR_INPUTDETECT id 0 (get): the number of inputs of a list.
inline constexpr ULONG kInputListVideo = 1; // any other selector names the audio inputs
struct BrevicorInputCountRecord {
    ULONG header[kPropertyHeaderWords];
    ULONG listSelector; // 24
    ULONG inputCount;   // 28
};
static_assert(sizeof(BrevicorInputCountRecord) == 32);
static_assert(offsetof(BrevicorInputCountRecord, inputCount) == 28);

// PROPSETID_BREVICOR_INPUTDETECT id 1 (get): one input's detection record. The input items keep one
// per input (header copy included); the change notification carries it from offset 24.
inline constexpr UCHAR kInputStateNoSignal = 0;
inline constexpr UCHAR kInputStateSignalPresent = 1;
inline constexpr UCHAR kInputStateStandardDetected = 2;
struct BrevicorInputDetectRecord {
    ULONG header[kPropertyHeaderWords];
    ULONG listSelector;        // 24
    ULONG inputNumber;         // 28: which input (the routing word of the input items)
    ULONG inputType;           // 32: a get answers the connector type
    UCHAR ioIndex;             // 36
    UCHAR state;               // 37
    ULONG detectedStandard;    // 38 (unaligned)
    ULONG activePixels;        // 42
    ULONG blankingPixels;      // 46
    ULONG activeLinesField1;   // 50
    ULONG activeLinesField2;   // 54
    ULONG blankingLinesField1; // 58
    ULONG blankingLinesField2; // 62
    ULONG frameRate;           // 66: hundredths of a frame per second
    UCHAR reserved[510];       // 70 to 579
};
static_assert(sizeof(BrevicorInputDetectRecord) == 580);
static_assert(offsetof(BrevicorInputDetectRecord, inputNumber) == 28);
static_assert(offsetof(BrevicorInputDetectRecord, inputType) == 32);
static_assert(offsetof(BrevicorInputDetectRecord, ioIndex) == 36);
static_assert(offsetof(BrevicorInputDetectRecord, state) == 37);
static_assert(offsetof(BrevicorInputDetectRecord, detectedStandard) == 38);
static_assert(offsetof(BrevicorInputDetectRecord, frameRate) == 66);
static_assert(offsetof(BrevicorInputDetectRecord, reserved) == 70);

// PROPSETID_BREVICOR_AUDIO_INPUT_INFO id 0 (get).
struct BrevicorAudioInputCountRecord {
    ULONG header[kPropertyHeaderWords];
    ULONG inputCount;   // 24
    ULONG muxNodeOrAll; // 28
};
static_assert(sizeof(BrevicorAudioInputCountRecord) == 32);

// PROPSETID_BREVICOR_AUDIO_INPUT_INFO id 1 (get).
struct BrevicorAudioInputInfoRecord {
    ULONG header[kPropertyHeaderWords];
    ULONG lookupMode;                       // 24: 0 by name
    ULONG inputIndex;                       // 28
    WCHAR inputName[kRecordTextCharacters]; // 32
    ULONG topologyIds[4];                   // 552
};
static_assert(sizeof(BrevicorAudioInputInfoRecord) == 568);
static_assert(offsetof(BrevicorAudioInputInfoRecord, inputName) == 32);
static_assert(offsetof(BrevicorAudioInputInfoRecord, topologyIds) == 552);

// PROPSETID_BREVICOR_CROP, id 0.
struct BrevicorCropRecord {
    ULONG header[kPropertyHeaderWords];
    ULONG pinType;         // 24
    ULONG enable;          // 28
    ULONG top;             // 32
    ULONG height;          // 36
    ULONG left;            // 40
    ULONG width;           // 44
    ULONG referenceHeight; // 48
    ULONG referenceWidth;  // 52
    ULONG minimumHeight;   // 56 (get): the smallest output height
    ULONG minimumWidth;    // 60 (get): the smallest output width
    ULONG granularityY;    // 64 (get)
    ULONG granularityX;    // 68 (get)
    ULONG reserved;        // 72: 0 on get
    ULONG noSave;          // 76: applies without a registry write and without the notification
};
static_assert(sizeof(BrevicorCropRecord) == 80);
static_assert(offsetof(BrevicorCropRecord, pinType) == 24);
static_assert(offsetof(BrevicorCropRecord, referenceWidth) == 52);
static_assert(offsetof(BrevicorCropRecord, minimumHeight) == 56);
static_assert(offsetof(BrevicorCropRecord, granularityX) == 68);
static_assert(offsetof(BrevicorCropRecord, noSave) == 76);

// PROPSETID_BREVICOR_DEINTERLACE, id 0.
struct BrevicorDeinterlaceRecord {
    ULONG header[kPropertyHeaderWords];
    ULONG pinType;               // 24
    ULONG enable;                // 28
    ULONG type;                  // 32: 1 to 4
    ULONG inverseTelecineEnable; // 36
    ULONG resyncIntervalEnable;  // 40
    ULONG resyncInterval;        // 44: 0 to 429000
    ULONG autoDetectTelecine;    // 48
    ULONG unused;                // 52
    ULONG noSave;                // 56: no registry write and no notification
};
static_assert(sizeof(BrevicorDeinterlaceRecord) == 60);
static_assert(offsetof(BrevicorDeinterlaceRecord, autoDetectTelecine) == 48);
static_assert(offsetof(BrevicorDeinterlaceRecord, noSave) == 56);

// PROPSETID_BREVICOR_IMAGEQUALITY, id 0.
struct BrevicorImageQualityRecord {
    ULONG header[kPropertyHeaderWords];
    ULONG pinType; // 24
    ULONG enable;  // 28
    ULONG mode;    // 32: 0 to 2
    ULONG level;   // 36: 5 to 95 in steps of 5
};
static_assert(sizeof(BrevicorImageQualityRecord) == 40);
static_assert(offsetof(BrevicorImageQualityRecord, level) == 36);

// PROPSETID_BREVICOR_LOGO, id 0.
struct BrevicorLogoRecord {
    ULONG header[kPropertyHeaderWords];
    ULONG pinType;                           // 24
    ULONG referenceHeight;                   // 28
    ULONG referenceWidth;                    // 32
    ULONG destinationTop;                    // 36
    ULONG destinationLeft;                   // 40
    ULONG destinationHeight;                 // 44
    ULONG destinationWidth;                  // 48
    ULONG originationHeight;                 // 52
    ULONG originationWidth;                  // 56
    ULONG enable;                            // 60
    ULONG transparencyEnable;                // 64
    ULONG transparencyPercent;               // 68
    ULONG keyColorEnable;                    // 72
    ULONG keyColor;                          // 76
    ULONG duration;                          // 80
    ULONG reserved;                          // 84: 0 on get
    ULONG noSave;                            // 88
    WCHAR fileName[kRecordTextCharacters];   // 92
    WCHAR filterText[kRecordTextCharacters]; // 612: the file dialog's filter (get)
};
static_assert(sizeof(BrevicorLogoRecord) == 1132);
static_assert(offsetof(BrevicorLogoRecord, enable) == 60);
static_assert(offsetof(BrevicorLogoRecord, duration) == 80);
static_assert(offsetof(BrevicorLogoRecord, noSave) == 88);
static_assert(offsetof(BrevicorLogoRecord, fileName) == 92);
static_assert(offsetof(BrevicorLogoRecord, filterText) == 612);

// PROPSETID_BREVICOR_VIDEOPROCAMP, id 0: five groups of value, minimum, maximum, default, step,
// then the flag and the three tables.
// kProcAmpTableEntries: the entries of each table (procamptables.h, shared with the pages).
struct BrevicorProcAmpGroup {
    LONG value;
    LONG minimum;
    LONG maximum;
    LONG defaultValue; // gamma: 1
    LONG step;         // gamma: 100
};
static_assert(sizeof(BrevicorProcAmpGroup) == 20);
struct BrevicorProcAmpRecord {
    ULONG header[kPropertyHeaderWords];
    ULONG pinType;                          // 24
    BrevicorProcAmpGroup brightness;        // 28
    BrevicorProcAmpGroup contrast;          // 48
    BrevicorProcAmpGroup hue;               // 68
    BrevicorProcAmpGroup saturation;        // 88
    BrevicorProcAmpGroup gamma;             // 108
    ULONG noSave;                           // 128
    UCHAR gammaTable[kProcAmpTableEntries]; // 132
    LONG sineTable[kProcAmpTableEntries];   // 388
    LONG cosineTable[kProcAmpTableEntries]; // 1412
};
static_assert(sizeof(BrevicorProcAmpRecord) == 2436);
static_assert(offsetof(BrevicorProcAmpRecord, brightness) == 28);
static_assert(offsetof(BrevicorProcAmpRecord, contrast) == 48);
static_assert(offsetof(BrevicorProcAmpRecord, hue) == 68);
static_assert(offsetof(BrevicorProcAmpRecord, saturation) == 88);
static_assert(offsetof(BrevicorProcAmpRecord, gamma) == 108);
static_assert(offsetof(BrevicorProcAmpRecord, noSave) == 128);
static_assert(offsetof(BrevicorProcAmpRecord, gammaTable) == 132);
static_assert(offsetof(BrevicorProcAmpRecord, sineTable) == 388);
static_assert(offsetof(BrevicorProcAmpRecord, cosineTable) == 1412);

// PROPSETID_BREVICOR_VIDEODECODER, id 0.
inline constexpr ULONG kVideoDecoderStandardsMask = 0x61FFFF;
struct BrevicorVideoDecoderRecord {
    ULONG header[kPropertyHeaderWords];
    ULONG standardsMask;      // 24: 0x61FFFF on get
    ULONG currentSignalType;  // 28
    ULONG currentHeight;      // 32
    ULONG currentWidth;       // 36
    ULONG currentFrameTime;   // 40
    ULONG detectedSignalType; // 44
    ULONG detectedHeight;     // 48
    ULONG detectedWidth;      // 52
    ULONG detectedFrameTime;  // 56
};
static_assert(sizeof(BrevicorVideoDecoderRecord) == 60);
static_assert(offsetof(BrevicorVideoDecoderRecord, currentSignalType) == 28);
static_assert(offsetof(BrevicorVideoDecoderRecord, detectedFrameTime) == 56);

// PROPSETID_BREVICOR_CC, id 0. The pin settings keep the whole record.
struct BrevicorCCRecord {
    ULONG header[kPropertyHeaderWords];
    ULONG pinType;                             // 24
    ULONG field;                               // 28
    ULONG channel;                             // 32
    ULONG enable;                              // 36
    ULONG referenceHeight;                     // 40
    ULONG referenceWidth;                      // 44
    ULONG destinationTop;                      // 48
    ULONG destinationLeft;                     // 52
    ULONG destinationHeight;                   // 56
    ULONG destinationWidth;                    // 60
    ULONG transparencyEnable;                  // 64
    ULONG foregroundColor;                     // 68
    ULONG backgroundColor;                     // 72
    ULONG noSave;                              // 76
    WCHAR fontFileName[kRecordTextCharacters]; // 80
};
static_assert(sizeof(BrevicorCCRecord) == 600);
static_assert(offsetof(BrevicorCCRecord, field) == 28);
static_assert(offsetof(BrevicorCCRecord, backgroundColor) == 72);
static_assert(offsetof(BrevicorCCRecord, noSave) == 76);
static_assert(offsetof(BrevicorCCRecord, fontFileName) == 80);

// PROPSETID_BREVICOR_LOS, id 0: the device's loss-of-signal settings.
inline constexpr ULONG kLosMaximumSignalType = 8;
struct BrevicorLOSRecord {
    ULONG header[kPropertyHeaderWords];
    ULONG oddChannelsTone;                     // 24: 0 none, 1 a 1 kHz tone, other a 3 kHz tone
    ULONG evenChannelsTone;                    // 28
    ULONG videoEnable;                         // 32
    ULONG referenceHeight;                     // 36
    ULONG referenceWidth;                      // 40
    ULONG destinationTop;                      // 44
    ULONG destinationLeft;                     // 48
    ULONG destinationHeight;                   // 52
    ULONG destinationWidth;                    // 56
    ULONG transparencyEnable;                  // 60
    ULONG foregroundColor;                     // 64
    ULONG backgroundColor;                     // 68
    ULONG fromRegistry;                        // 72: the no-save flag: no registry write, no notification
    ULONG videoSignalType;                     // 76: 0 to 8
    WCHAR caption[kRecordTextCharacters];      // 80
    WCHAR fontFileName[kRecordTextCharacters]; // 600
};
static_assert(sizeof(BrevicorLOSRecord) == 1120);
static_assert(offsetof(BrevicorLOSRecord, oddChannelsTone) == 24);
static_assert(offsetof(BrevicorLOSRecord, videoEnable) == 32);
static_assert(offsetof(BrevicorLOSRecord, fromRegistry) == 72);
static_assert(offsetof(BrevicorLOSRecord, videoSignalType) == 76);
static_assert(offsetof(BrevicorLOSRecord, caption) == 80);
static_assert(offsetof(BrevicorLOSRecord, fontFileName) == 600);

// ---- The change notification --------------------------------------------------------------------

// KSEVENTSETID_BREVICOR_NOTIFICATION, event id 0: each raise delivers one record; the enable data
// of the event is the 16-byte event data followed by room for one record.
inline constexpr ULONG kNotificationPayloadBytes = 1092;
inline constexpr ULONG kNotificationEnableDataBytes = 1124;
struct BrevicorNotificationRecord {
    GUID propertySet;                         // the set whose values changed
    UCHAR payload[kNotificationPayloadBytes]; // the raising setter's payload; the rest zero
};
static_assert(sizeof(BrevicorNotificationRecord) == 1108);
static_assert(offsetof(BrevicorNotificationRecord, payload) == 16);

// Crop: 32 bytes.
struct BrevicorCropNotification {
    ULONG pinType;
    ULONG enable;
    ULONG top;
    ULONG height;
    ULONG left;
    ULONG width;
    ULONG referenceHeight;
    ULONG referenceWidth;
};
static_assert(sizeof(BrevicorCropNotification) == 32);

// Deinterlace: 28 bytes, the record's words 24 to 48.
struct BrevicorDeinterlaceNotification {
    ULONG pinType;
    ULONG enable;
    ULONG type;
    ULONG inverseTelecineEnable;
    ULONG resyncIntervalEnable;
    ULONG resyncInterval;
    ULONG autoDetectTelecine;
};
static_assert(sizeof(BrevicorDeinterlaceNotification) == 28);

// Proc amp: 24 bytes.
struct BrevicorProcAmpNotification {
    ULONG pinType;
    LONG brightness;
    LONG contrast;
    LONG hue;
    LONG saturation;
    LONG gamma;
};
static_assert(sizeof(BrevicorProcAmpNotification) == 24);

// Logo: 1088 bytes (origination size and duration are not part of it).
struct BrevicorLogoNotification {
    ULONG pinType;
    ULONG referenceHeight;
    ULONG referenceWidth;
    ULONG destinationTop;
    ULONG destinationLeft;
    ULONG destinationHeight;
    ULONG destinationWidth;
    ULONG enable;
    ULONG transparencyEnable;
    ULONG transparencyPercent;
    ULONG keyColorEnable;
    ULONG keyColor;
    WCHAR fileName[kRecordTextCharacters];
    WCHAR filterText[kRecordTextCharacters];
};
static_assert(sizeof(BrevicorLogoNotification) == 1088);
static_assert(offsetof(BrevicorLogoNotification, fileName) == 48);

// Closed captions: 572 bytes, the pin type and the record from the caption field on.
struct BrevicorCCNotification {
    ULONG pinType;
    ULONG field;
    ULONG channel;
    ULONG enable;
    ULONG referenceHeight;
    ULONG referenceWidth;
    ULONG destinationTop;
    ULONG destinationLeft;
    ULONG destinationHeight;
    ULONG destinationWidth;
    ULONG transparencyEnable;
    ULONG foregroundColor;
    ULONG backgroundColor;
    WCHAR fontFileName[kRecordTextCharacters];
};
static_assert(sizeof(BrevicorCCNotification) == 572);
static_assert(offsetof(BrevicorCCNotification, fontFileName) == 52);

// Loss of signal: 1092 bytes, the record's words 24 to 68, then 76 to the end (the no-save flag is
// left out).
struct BrevicorLOSNotification {
    ULONG oddChannelsTone;
    ULONG evenChannelsTone;
    ULONG videoEnable;
    ULONG referenceHeight;
    ULONG referenceWidth;
    ULONG destinationTop;
    ULONG destinationLeft;
    ULONG destinationHeight;
    ULONG destinationWidth;
    ULONG transparencyEnable;
    ULONG foregroundColor;
    ULONG backgroundColor;
    ULONG videoSignalType;
    WCHAR caption[kRecordTextCharacters];
    WCHAR fontFileName[kRecordTextCharacters];
};
static_assert(sizeof(BrevicorLOSNotification) == kNotificationPayloadBytes);
static_assert(offsetof(BrevicorLOSNotification, caption) == 52);

// Input state: 556 bytes, the detection record from offset 24.
inline constexpr ULONG kInputDetectNotificationBytes =
    sizeof(BrevicorInputDetectRecord) - kPropertyHeaderBytes;
static_assert(kInputDetectNotificationBytes == 556);

#pragma pack(pop)

// The length of a UTF-16 field of a record, measured within the field: the characters before its
// first zero, or -1 when the field holds no zero (an unterminated field, which every record refuses
// with STATUS_INVALID_PARAMETER). The field may lie at any byte address.
LONG BoundedRecordTextLength(const void* field, ULONG capacityCharacters);
