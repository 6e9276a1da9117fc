// The private property-set contract between the driver and its clients (the property pages, the
// host programs and the tests): every private set's identifier and items, every record the driver
// answers and the pages send, the change-notification event set and the payloads it carries.
//
// Every record is the request and the answer of one property: the 24-byte property header (set,
// id, flags) and the payload after it, so every offset below counts from the start of the header.
// Each record is packed, its size and every offset clients rely on are asserted, and fields are
// little-endian 32-bit words unless declared otherwise. Where the driver and the pages name one
// field apart, an anonymous union carries both names over the one word.
//
// Standard C++ only: the identifiers are values of BrevicorGuid, a 16-byte type in the GUID layout
// that converts to the platform's GUID and compares with it; BREVICOR_NAME_PRIVATE_SETS(GUID)
// names them as that type where the platform's GUID is in scope.
#pragma once
#include "procamptables.h"

#include <concepts>
#include <cstddef>
#include <cstdint>

// ---- Identifiers ---------------------------------------------------------------------------------

// A type with the GUID layout: Data1 (32 bits), Data2 and Data3 (16 bits), Data4 (eight bytes).
template <class G>
concept BrevicorGuidLayout = sizeof(G) == 16 && requires(G g) {
    { g.Data1 } -> std::convertible_to<std::uint32_t>;
    { g.Data2 } -> std::convertible_to<std::uint16_t>;
    { g.Data3 } -> std::convertible_to<std::uint16_t>;
    g.Data4[7];
};

// The identifier of a set, an event set or a record's GUID field, without the platform.
struct BrevicorGuid {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];

    template <BrevicorGuidLayout G>
        requires(!std::same_as<G, BrevicorGuid>)
    static constexpr BrevicorGuid From(const G& g)
    {
        return {g.Data1, g.Data2, g.Data3,
                {g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]}};
    }
    // Takes the value of a GUID of the platform (a record's field set from the caller's GUID).
    template <BrevicorGuidLayout G>
        requires(!std::same_as<G, BrevicorGuid>)
    constexpr BrevicorGuid& operator=(const G& g)
    {
        return *this = From(g);
    }
    // Gives the value as a GUID of the platform, which therefore compares with it.
    template <BrevicorGuidLayout G>
        requires(!std::same_as<G, BrevicorGuid>)
    constexpr operator G() const
    {
        return G{Data1, Data2, Data3, {Data4[0], Data4[1], Data4[2], Data4[3], Data4[4], Data4[5], Data4[6], Data4[7]}};
    }
    friend constexpr bool operator==(const BrevicorGuid&, const BrevicorGuid&) = default;
};
static_assert(sizeof(BrevicorGuid) == 16);
static_assert(offsetof(BrevicorGuid, Data4) == 8);

// The identifiers as values of any GUID type: BrevicorPrivateSets<> without the platform,
// BrevicorPrivateSets<GUID> (named at namespace scope by BREVICOR_NAME_PRIVATE_SETS) with it.
template <class Guid = BrevicorGuid>
struct BrevicorPrivateSets {
    static constexpr Guid PROPSETID_BREVICOR_INTERFACE_VERSION{
        0xB724AF09, 0x8027, 0x4C87, {0x89, 0xD8, 0x26, 0xDA, 0x63, 0x3D, 0xA1, 0x67}};
    static constexpr Guid PROPSETID_BREVICOR_DIAGNOSTICS{
        0x4A5EB9FB, 0xDF54, 0x4115, {0xBC, 0x44, 0xE7, 0xED, 0xC3, 0xB5, 0x2D, 0x25}};
    static constexpr Guid PROPSETID_BREVICOR_PERFORMANCE{
        0xBECF09FF, 0x66FE, 0x47AE, {0x9E, 0xAA, 0x47, 0x94, 0x67, 0x8B, 0x86, 0x0F}};
    static constexpr Guid PROPSETID_BREVICOR_IMAGEQUALITY{
        0x28A6269E, 0x209B, 0x4ADB, {0xB0, 0xBA, 0x06, 0xD4, 0xC4, 0x2F, 0x7A, 0xB6}};
    static constexpr Guid PROPSETID_BREVICOR_TRACE{
        0x07F60A7C, 0x78E7, 0x432B, {0xBC, 0x23, 0x9B, 0xF1, 0x93, 0x36, 0x15, 0x3B}};
    static constexpr Guid PROPSETID_BREVICOR_CROSSBAR{
        0xD1B620E9, 0x7DDF, 0x4FB5, {0xBC, 0x93, 0x00, 0x55, 0x99, 0x1E, 0x75, 0x3C}};
    static constexpr Guid PROPSETID_BREVICOR_VIDEODECODER{
        0xFE57CE7E, 0x67F4, 0x4D00, {0xB6, 0x74, 0x07, 0x38, 0x16, 0xAD, 0xA7, 0x64}};
    static constexpr Guid PROPSETID_BREVICOR_VIDEOPROCAMP{
        0x7CA213A8, 0xCEE0, 0x4609, {0xB9, 0x70, 0x3E, 0x0E, 0x66, 0x9A, 0xA6, 0x46}};
    static constexpr Guid PROPSETID_BREVICOR_AUDIO_CONFIG{
        0xE5D2B57A, 0x6352, 0x4B4F, {0x88, 0xD5, 0x42, 0x71, 0x07, 0x2F, 0x58, 0x4A}};
    static constexpr Guid PROPSETID_BREVICOR_CC{
        0x0E5D1E1D, 0x1251, 0x41EF, {0x9A, 0x0C, 0x54, 0x8A, 0x5C, 0x70, 0x19, 0xE6}};
    static constexpr Guid PROPSETID_BREVICOR_CROP{
        0xD52525F4, 0x5FA9, 0x4A79, {0x8D, 0xF7, 0x69, 0x1D, 0xF9, 0xEC, 0x87, 0xFF}};
    static constexpr Guid PROPSETID_BREVICOR_LOS{
        0x1FC0CD53, 0xE668, 0x46C5, {0xA1, 0xB4, 0x8F, 0xFA, 0xCF, 0x57, 0xAE, 0x41}};
    static constexpr Guid PROPSETID_BREVICOR_LOGO{
        0x344FFA73, 0x7BC0, 0x4453, {0x87, 0x36, 0x52, 0x9B, 0x94, 0xA4, 0x56, 0x04}};
    static constexpr Guid PROPSETID_BREVICOR_DEINTERLACE{
        0x0564D75C, 0xE596, 0x4811, {0xB6, 0x61, 0xD8, 0xE5, 0xC5, 0x2A, 0x15, 0xEC}};
    static constexpr Guid PROPSETID_BREVICOR_INPUTDETECT{
        0xC82227CC, 0x7BA6, 0x4EF0, {0x95, 0x02, 0xD7, 0xB5, 0x15, 0xE4, 0x3B, 0x2D}};
    static constexpr Guid PROPSETID_BREVICOR_DEVICE_CONFIG{
        0x558207A6, 0xE472, 0x420B, {0xAF, 0xC6, 0xFF, 0x99, 0x09, 0x07, 0xE6, 0xFE}};
    static constexpr Guid PROPSETID_BREVICOR_DRIVER_INFORMATION{
        0x2230DEEB, 0x297D, 0x4D20, {0xBE, 0x06, 0x49, 0x4D, 0x13, 0xB2, 0xC7, 0x84}};
    static constexpr Guid PROPSETID_BREVICOR_AUDIO_INPUT_INFO{
        0x1577AC43, 0xA6EA, 0x4745, {0x9C, 0x57, 0x25, 0x67, 0x62, 0x31, 0x3F, 0xBA}};
    // The change-notification event set.
    static constexpr Guid KSEVENTSETID_BREVICOR_NOTIFICATION{
        0x219342C0, 0x3309, 0x4A91, {0xB7, 0xB8, 0xB8, 0x8B, 0xD5, 0x48, 0x59, 0x10}};

    // The identifiers the driver information record carries.
    static constexpr Guid kBrevicorManufacturerGuid{
        0x1DFF3A8F, 0xCD49, 0x479F, {0xB6, 0xEB, 0x47, 0xFA, 0xE9, 0x33, 0x47, 0x0C}};
    static constexpr Guid kBrevicorDriverInformationGuid2{
        0xB2E6BA7A, 0x1264, 0x4E2E, {0xBD, 0x81, 0x20, 0x44, 0x40, 0x66, 0xF2, 0x39}};
    static constexpr Guid kBrevicorDriverInformationGuid4{
        0x3766E380, 0xB58F, 0x4ED0, {0x8C, 0x8C, 0x0B, 0xBB, 0xCA, 0x44, 0x1B, 0xF4}};
};

// Names every identifier above at namespace scope as a reference to its value of type GuidType, so
// that code on the platform takes the identifiers' values and addresses as its own GUIDs.
#define BREVICOR_NAME_PRIVATE_SET(GuidType, name)                                                      \
    inline constexpr const GuidType& name = BrevicorPrivateSets<GuidType>::name
#define BREVICOR_NAME_PRIVATE_SETS(GuidType)                                                           \
    BREVICOR_NAME_PRIVATE_SET(GuidType, PROPSETID_BREVICOR_INTERFACE_VERSION);                         \
    BREVICOR_NAME_PRIVATE_SET(GuidType, PROPSETID_BREVICOR_DIAGNOSTICS);                               \
    BREVICOR_NAME_PRIVATE_SET(GuidType, PROPSETID_BREVICOR_PERFORMANCE);                               \
    BREVICOR_NAME_PRIVATE_SET(GuidType, PROPSETID_BREVICOR_IMAGEQUALITY);                              \
    BREVICOR_NAME_PRIVATE_SET(GuidType, PROPSETID_BREVICOR_TRACE);                                     \
    BREVICOR_NAME_PRIVATE_SET(GuidType, PROPSETID_BREVICOR_CROSSBAR);                                  \
    BREVICOR_NAME_PRIVATE_SET(GuidType, PROPSETID_BREVICOR_VIDEODECODER);                              \
    BREVICOR_NAME_PRIVATE_SET(GuidType, PROPSETID_BREVICOR_VIDEOPROCAMP);                              \
    BREVICOR_NAME_PRIVATE_SET(GuidType, PROPSETID_BREVICOR_AUDIO_CONFIG);                              \
    BREVICOR_NAME_PRIVATE_SET(GuidType, PROPSETID_BREVICOR_CC);                                        \
    BREVICOR_NAME_PRIVATE_SET(GuidType, PROPSETID_BREVICOR_CROP);                                      \
    BREVICOR_NAME_PRIVATE_SET(GuidType, PROPSETID_BREVICOR_LOS);                                       \
    BREVICOR_NAME_PRIVATE_SET(GuidType, PROPSETID_BREVICOR_LOGO);                                      \
    BREVICOR_NAME_PRIVATE_SET(GuidType, PROPSETID_BREVICOR_DEINTERLACE);                               \
    BREVICOR_NAME_PRIVATE_SET(GuidType, PROPSETID_BREVICOR_INPUTDETECT);                               \
    BREVICOR_NAME_PRIVATE_SET(GuidType, PROPSETID_BREVICOR_DEVICE_CONFIG);                             \
    BREVICOR_NAME_PRIVATE_SET(GuidType, PROPSETID_BREVICOR_DRIVER_INFORMATION);                        \
    BREVICOR_NAME_PRIVATE_SET(GuidType, PROPSETID_BREVICOR_AUDIO_INPUT_INFO);                          \
    BREVICOR_NAME_PRIVATE_SET(GuidType, KSEVENTSETID_BREVICOR_NOTIFICATION);                           \
    BREVICOR_NAME_PRIVATE_SET(GuidType, kBrevicorManufacturerGuid);                                    \
    BREVICOR_NAME_PRIVATE_SET(GuidType, kBrevicorDriverInformationGuid2);                              \
    BREVICOR_NAME_PRIVATE_SET(GuidType, kBrevicorDriverInformationGuid4)

// ---- Items, flags and lengths ------------------------------------------------------------------

// Property ids. Every private set has the one item 0 except these.
inline constexpr std::uint32_t kBrevicorItemRecord = 0;
inline constexpr std::uint32_t kBrevicorAudioInputCountItem = 0; // PROPSETID_BREVICOR_AUDIO_INPUT_INFO
inline constexpr std::uint32_t kBrevicorAudioInputInfoItem = 1;
inline constexpr std::uint32_t kBrevicorInputCountItem = 0; // PROPSETID_BREVICOR_INPUTDETECT
inline constexpr std::uint32_t kBrevicorInputDetectItem = 1;
inline constexpr std::uint32_t kBrevicorCrossbarCapsItem = 0; // PROPSETID_BREVICOR_CROSSBAR
inline constexpr std::uint32_t kBrevicorCrossbarPinInfoItem = 1;
inline constexpr std::uint32_t kBrevicorCrossbarCanRouteItem = 2;
inline constexpr std::uint32_t kBrevicorCrossbarRouteItem = 3;
// The event id of KSEVENTSETID_BREVICOR_NOTIFICATION.
inline constexpr std::uint32_t kBrevicorNotificationEventId = 0;

// The flags word of the property header.
inline constexpr std::uint32_t kBrevicorPropertyGet = 1;
inline constexpr std::uint32_t kBrevicorPropertySet = 2;

// Wide characters of every file name and text field of the records (259 and a terminating zero).
inline constexpr std::uint32_t kRecordTextCharacters = 260;
// Words of the property header in front of every record.
inline constexpr std::uint32_t kPropertyHeaderWords = 6;
inline constexpr std::uint32_t kPropertyHeaderBytes = 24;

// The pin-type selector of the per-pin records: 1 capture, 2 preview, 255 both (a get reads 1, a
// set applies the record to 1 and then 2).
inline constexpr std::uint32_t kPinTypeSelectorCapture = 1;
inline constexpr std::uint32_t kPinTypeSelectorPreview = 2;
inline constexpr std::uint32_t kPinTypeSelectorBoth = 255;

#pragma pack(push, 1)

// The 24-byte property header at the start of every record.
struct BrevicorPropertyHeader {
    BrevicorGuid set;
    std::uint32_t id;
    std::uint32_t flags; // kBrevicorPropertyGet or kBrevicorPropertySet
};
static_assert(sizeof(BrevicorPropertyHeader) == kPropertyHeaderBytes);
static_assert(offsetof(BrevicorPropertyHeader, id) == 16);
static_assert(offsetof(BrevicorPropertyHeader, flags) == 20);

// ---- Device-wide records -----------------------------------------------------------------------

// PROPSETID_BREVICOR_INTERFACE_VERSION, id 0 (get).
struct BrevicorInterfaceVersionRecord {
    std::uint32_t header[kPropertyHeaderWords];
    std::uint32_t interfaceVersion; // always 1
};
static_assert(sizeof(BrevicorInterfaceVersionRecord) == 28);
static_assert(offsetof(BrevicorInterfaceVersionRecord, interfaceVersion) == 24);

// PROPSETID_BREVICOR_DRIVER_INFORMATION, id 0 (get).
struct BrevicorDriverInformationRecord {
    std::uint32_t header[kPropertyHeaderWords];
    BrevicorGuid manufacturer; // kBrevicorManufacturerGuid
    BrevicorGuid identifier2;  // kBrevicorDriverInformationGuid2
    BrevicorGuid identifier3;  // zero
    BrevicorGuid identifier4;  // kBrevicorDriverInformationGuid4
    std::uint32_t value1;      // 1
    std::uint32_t value2;      // 1
    std::uint32_t value3;      // 1
};
static_assert(sizeof(BrevicorDriverInformationRecord) == 100);
static_assert(offsetof(BrevicorDriverInformationRecord, manufacturer) == 24);
static_assert(offsetof(BrevicorDriverInformationRecord, identifier2) == 40);
static_assert(offsetof(BrevicorDriverInformationRecord, identifier3) == 56);
static_assert(offsetof(BrevicorDriverInformationRecord, identifier4) == 72);
static_assert(offsetof(BrevicorDriverInformationRecord, value1) == 88);
static_assert(offsetof(BrevicorDriverInformationRecord, value3) == 96);

// PROPSETID_BREVICOR_DEVICE_CONFIG, id 0 (get; a set changes nothing): DEVICE_CONFIG.
inline constexpr std::uint32_t kDeviceConfigProductNameCharacters = 256;
// The driver's version in the record's order: the device page shows it as first.second.third.fourth.
struct BrevicorDriverVersion {
    std::uint32_t first;  // 24
    std::uint32_t second; // 28
    std::uint32_t fourth; // 32, shown last
    std::uint32_t third;  // 36
};
static_assert(sizeof(BrevicorDriverVersion) == 16);
// Production data the board carries at 50 to 77.
struct BrevicorProductionData {
    std::uint16_t pciVendorId;   // 50
    std::uint16_t pciDeviceId;   // 52
    std::uint8_t remaining[24];  // 54 to 77
};
static_assert(sizeof(BrevicorProductionData) == 28);
// The board's identity at 78 to 115.
struct BrevicorBoardIdentity {
    std::uint16_t serialNumber[10]; // 78: one character per unit
    std::uint16_t vantrelFlag;      // 98: non-zero when the feature is present
    std::uint16_t facilityId;       // 100
    std::uint16_t year;             // 102
    std::uint16_t month;            // 104
    std::uint16_t day;              // 106
    std::uint16_t hour;             // 108
    std::uint16_t minute;           // 110
    std::uint16_t second;           // 112
    std::uint16_t boardValue;       // 114
};
static_assert(sizeof(BrevicorBoardIdentity) == 38);
struct BrevicorDeviceConfigRecord {
    std::uint32_t header[kPropertyHeaderWords];
    union {
        std::uint32_t driverVersion[4]; // 24: 2, 1, 62, 0
        BrevicorDriverVersion version;
    };
    std::uint16_t boardModel; // 40
    union {
        std::uint16_t hardwareByteA; // 42
        std::uint16_t pciBusNumber;
    };
    union {
        std::uint16_t hardwareByteB; // 44
        std::uint16_t pciDeviceNumber;
    };
    union {
        std::uint16_t hardwareByteC; // 46
        std::uint16_t pciFunctionNumber;
    };
    union {
        std::uint16_t hardwareWordD; // 48: the number in the board's filters' friendly names
        std::uint16_t deviceNumber;
    };
    union {
        std::uint8_t identification1[28]; // 50
        BrevicorProductionData production;
    };
    union {
        std::uint8_t identification2[38]; // 78
        BrevicorBoardIdentity identity;
    };
    union {
        char16_t productName[kDeviceConfigProductNameCharacters]; // 116, to the end of the record
        char16_t namePrefix[kDeviceConfigProductNameCharacters];  // the filters' name prefix, ending in a blank
    };
};
using DEVICE_CONFIG = BrevicorDeviceConfigRecord;
static_assert(sizeof(BrevicorDeviceConfigRecord) == 628);
static_assert(offsetof(BrevicorDeviceConfigRecord, driverVersion) == 24);
static_assert(offsetof(BrevicorDeviceConfigRecord, version) == 24);
static_assert(offsetof(BrevicorDeviceConfigRecord, version) + offsetof(BrevicorDriverVersion, fourth) == 32);
static_assert(offsetof(BrevicorDeviceConfigRecord, version) + offsetof(BrevicorDriverVersion, third) == 36);
static_assert(offsetof(BrevicorDeviceConfigRecord, boardModel) == 40);
static_assert(offsetof(BrevicorDeviceConfigRecord, pciBusNumber) == 42);
static_assert(offsetof(BrevicorDeviceConfigRecord, pciDeviceNumber) == 44);
static_assert(offsetof(BrevicorDeviceConfigRecord, pciFunctionNumber) == 46);
static_assert(offsetof(BrevicorDeviceConfigRecord, hardwareWordD) == 48);
static_assert(offsetof(BrevicorDeviceConfigRecord, deviceNumber) == 48);
static_assert(offsetof(BrevicorDeviceConfigRecord, identification1) == 50);
static_assert(offsetof(BrevicorDeviceConfigRecord, production) + offsetof(BrevicorProductionData, pciDeviceId) ==
              52);
static_assert(offsetof(BrevicorDeviceConfigRecord, identification2) == 78);
static_assert(offsetof(BrevicorDeviceConfigRecord, identity) + offsetof(BrevicorBoardIdentity, vantrelFlag) == 98);
static_assert(offsetof(BrevicorDeviceConfigRecord, identity) + offsetof(BrevicorBoardIdentity, facilityId) == 100);
static_assert(offsetof(BrevicorDeviceConfigRecord, identity) + offsetof(BrevicorBoardIdentity, year) == 102);
static_assert(offsetof(BrevicorDeviceConfigRecord, identity) + offsetof(BrevicorBoardIdentity, second) == 112);
static_assert(offsetof(BrevicorDeviceConfigRecord, identity) + offsetof(BrevicorBoardIdentity, boardValue) == 114);
static_assert(offsetof(BrevicorDeviceConfigRecord, productName) == 116);
static_assert(offsetof(BrevicorDeviceConfigRecord, namePrefix) == 116);

#pragma pack(pop)

// The trace and performance records and the performance notification are plain words, kept at
// their natural alignment (the driver stores them as they are).

// PROPSETID_BREVICOR_TRACE, id 0 (get and set): TRACE_RECORD. Word 6 is 1 on reading (the settings
// can be changed), word 7 the trace mask, then the log file name without its "\DosDevices\" prefix,
// always terminated.
inline constexpr std::uint32_t kSupportLogFileNameCharacters = 260;
struct BrevicorSupportSettings {
    std::uint32_t header[6];
    std::uint32_t supported; // 24
    std::uint32_t traceMask; // 28
    char16_t logFileName[kSupportLogFileNameCharacters]; // 32
};
using TRACE_RECORD = BrevicorSupportSettings;
static_assert(sizeof(BrevicorSupportSettings) == 552);
static_assert(offsetof(BrevicorSupportSettings, supported) == 24);
static_assert(offsetof(BrevicorSupportSettings, traceMask) == 28);
static_assert(offsetof(BrevicorSupportSettings, logFileName) == 32);

// PROPSETID_BREVICOR_PERFORMANCE, id 0 (get and set): PERFORMANCE_RECORD, 18 words, the first six
// the property header (zero in the driver's stored copies). The shared words are the same in the
// records of both pin types.
struct PerformanceSettings {
    std::uint32_t header[6];
    union {
        std::uint32_t pinKind; // 24
        std::uint32_t pinType;
    };
    std::uint32_t hardwareDeinterlacing; // 28, shared
    std::uint32_t videoBuffer;           // 32
    std::uint32_t scalingAlgorithm;      // 36: 0 nearest neighbour, 1 linear, 2 cubic, 3 Lanczos
    std::uint32_t defaultVideoSizeType;  // 40: 0 as input, 1 three quarters, 2 half, 3 quarter, 4 custom
    std::uint32_t height;                // 44
    std::uint32_t width;                 // 48
    std::uint32_t maximumVideoHeight;    // 52, shared
    std::uint32_t maximumVideoWidth;     // 56, shared
    std::uint32_t sdSdiClockAdjust;      // 60, shared
    std::uint32_t hdSdiClockAdjust;      // 64, shared
    std::uint32_t vbiLineRemoval;        // 68, shared
};
using PERFORMANCE_RECORD = PerformanceSettings;
static_assert(sizeof(PerformanceSettings) == 72);
static_assert(offsetof(PerformanceSettings, pinKind) == 24);
static_assert(offsetof(PerformanceSettings, pinType) == 24);
static_assert(offsetof(PerformanceSettings, hardwareDeinterlacing) == 28);
static_assert(offsetof(PerformanceSettings, videoBuffer) == 32);
static_assert(offsetof(PerformanceSettings, scalingAlgorithm) == 36);
static_assert(offsetof(PerformanceSettings, defaultVideoSizeType) == 40);
static_assert(offsetof(PerformanceSettings, height) == 44);
static_assert(offsetof(PerformanceSettings, width) == 48);
static_assert(offsetof(PerformanceSettings, maximumVideoHeight) == 52);
static_assert(offsetof(PerformanceSettings, maximumVideoWidth) == 56);
static_assert(offsetof(PerformanceSettings, sdSdiClockAdjust) == 60);
static_assert(offsetof(PerformanceSettings, hdSdiClockAdjust) == 64);
static_assert(offsetof(PerformanceSettings, vbiLineRemoval) == 68);

#pragma pack(push, 1)

// PROPSETID_BREVICOR_DIAGNOSTICS, id 0 (get and set). The data window is exchanged with DSP memory
// at address 0x20; the PCI tester's buffer address and cookie sit inside it.
inline constexpr std::uint32_t kDiagnosticsWindowBytes = 1784;
inline constexpr std::uint32_t kDiagnosticsTestBufferPhysicalOffset = 160; // record offset, 8 bytes
inline constexpr std::uint32_t kDiagnosticsTestBufferAddressOffset = 168;  // record offset, 4 bytes
// The operation codes of the word at 60.
inline constexpr std::uint32_t kDiagnosticsResetDsp = 0;           // set; 1848 non-zero restarts
inline constexpr std::uint32_t kDiagnosticsStartMemoryTester = 1;  // set
inline constexpr std::uint32_t kDiagnosticsReadMemoryTester = 2;   // get
inline constexpr std::uint32_t kDiagnosticsFillMemory = 3;         // set
inline constexpr std::uint32_t kDiagnosticsReadRegister = 4;       // get
inline constexpr std::uint32_t kDiagnosticsWriteRegister = 5;      // set
inline constexpr std::uint32_t kDiagnosticsStartPciTester = 7;     // set
inline constexpr std::uint32_t kDiagnosticsReadPciTester = 9;      // get
struct BrevicorDiagnosticsRecord {
    std::uint32_t header[kPropertyHeaderWords];
    std::uint32_t reserved[4];                    // 24 to 39
    std::uint32_t address;                        // 40: DSP memory address or FPGA register number
    std::uint32_t length;                         // 44: bytes of a fill
    std::uint32_t value;                          // 48: FPGA register value
    std::uint32_t mask;                           // 52: FPGA register mask or second value
    std::uint32_t flag;                           // 56: FPGA register write, non-zero shadows
    union {
        std::uint32_t command;                    // 60
        std::uint32_t operation;
    };
    std::uint8_t window[kDiagnosticsWindowBytes]; // 64: the tester block
    std::uint8_t fillByte;                        // 1848: fill byte (operation 3), restart flag (operation 0)
};
static_assert(sizeof(BrevicorDiagnosticsRecord) == 1849);
static_assert(offsetof(BrevicorDiagnosticsRecord, address) == 40);
static_assert(offsetof(BrevicorDiagnosticsRecord, length) == 44);
static_assert(offsetof(BrevicorDiagnosticsRecord, value) == 48);
static_assert(offsetof(BrevicorDiagnosticsRecord, mask) == 52);
static_assert(offsetof(BrevicorDiagnosticsRecord, flag) == 56);
static_assert(offsetof(BrevicorDiagnosticsRecord, command) == 60);
static_assert(offsetof(BrevicorDiagnosticsRecord, operation) == 60);
static_assert(offsetof(BrevicorDiagnosticsRecord, window) == 64);
static_assert(offsetof(BrevicorDiagnosticsRecord, fillByte) == 1848);
static_assert(kDiagnosticsTestBufferPhysicalOffset >= offsetof(BrevicorDiagnosticsRecord, window) &&
              kDiagnosticsTestBufferAddressOffset + 4 <= offsetof(BrevicorDiagnosticsRecord, fillByte));

// ---- Audio records -------------------------------------------------------------------------------

// PROPSETID_BREVICOR_AUDIO_CONFIG, id 0 (get and set): eight audio inputs.
inline constexpr std::uint32_t kAudioConfigInputs = 8;
struct BrevicorAudioInputConfiguration {
    std::uint8_t connectorType;    // 10 SDI, 11 AES, 12 SPDIF, 13 balanced, 14 unbalanced
    std::uint8_t defaultFrequency; // 0 to 2
    std::uint8_t inputEnabled;
    std::uint8_t unused;
};
static_assert(sizeof(BrevicorAudioInputConfiguration) == 4);
struct BrevicorAudioConfigRecord {
    std::uint32_t header[kPropertyHeaderWords];
    std::uint32_t daughterCardState;  // 24: low five bits all set means no daughter card (get only)
    std::uint32_t daughterCardEnable; // 28
    union {
        std::uint8_t volumeAdjustmentDisabled[kAudioConfigInputs]; // 32: the inputs' bypass modes
        std::uint8_t bypassMode[kAudioConfigInputs];
    };
    BrevicorAudioInputConfiguration inputs[kAudioConfigInputs]; // 40 + 4i
    std::int32_t gain[kAudioConfigInputs];                      // 72 + 4i, dB
    std::int32_t gainMinimum;                                   // 104 (get only)
    std::int32_t gainMaximum;                                   // 108 (get only)
    std::int32_t gainSpan;                                      // 112 (get only)
    std::uint32_t reserved;                                     // 116: 0
    std::uint8_t legacyAudioFilters;                            // 120
    union {
        std::uint8_t kernelVersion6;                            // 121 (get only)
        std::uint8_t legacyAudioFiltersUnavailable;
    };
};
static_assert(sizeof(BrevicorAudioConfigRecord) == 122);
static_assert(offsetof(BrevicorAudioConfigRecord, daughterCardState) == 24);
static_assert(offsetof(BrevicorAudioConfigRecord, daughterCardEnable) == 28);
static_assert(offsetof(BrevicorAudioConfigRecord, volumeAdjustmentDisabled) == 32);
static_assert(offsetof(BrevicorAudioConfigRecord, bypassMode) == 32);
static_assert(offsetof(BrevicorAudioConfigRecord, inputs) == 40);
static_assert(offsetof(BrevicorAudioConfigRecord, gain) == 72);
static_assert(offsetof(BrevicorAudioConfigRecord, gainMinimum) == 104);
static_assert(offsetof(BrevicorAudioConfigRecord, gainMaximum) == 108);
static_assert(offsetof(BrevicorAudioConfigRecord, gainSpan) == 112);
static_assert(offsetof(BrevicorAudioConfigRecord, reserved) == 116);
static_assert(offsetof(BrevicorAudioConfigRecord, legacyAudioFilters) == 120);
static_assert(offsetof(BrevicorAudioConfigRecord, kernelVersion6) == 121);
static_assert(offsetof(BrevicorAudioConfigRecord, legacyAudioFiltersUnavailable) == 121);

// PROPSETID_BREVICOR_AUDIO_INPUT_INFO id 0 (get).
struct BrevicorAudioInputCountRecord {
    std::uint32_t header[kPropertyHeaderWords];
    std::uint32_t inputCount; // 24
    union {
        std::uint32_t muxNodeOrAll; // 28: the multiplexer's node id, or 0xFFFFFFFF
        std::uint32_t muxNodeId;
    };
};
static_assert(sizeof(BrevicorAudioInputCountRecord) == 32);
static_assert(offsetof(BrevicorAudioInputCountRecord, inputCount) == 24);
static_assert(offsetof(BrevicorAudioInputCountRecord, muxNodeId) == 28);

// PROPSETID_BREVICOR_AUDIO_INPUT_INFO id 1 (get).
struct BrevicorAudioInputInfoRecord {
    std::uint32_t header[kPropertyHeaderWords];
    std::uint32_t lookupMode;                  // 24: 0 by name, else by index
    std::uint32_t inputIndex;                  // 28
    char16_t inputName[kRecordTextCharacters]; // 32
    // 552: the multiplexer source value, the volume node id and two more topology values.
    union {
        std::uint32_t topologyIds[4];
        struct {
            std::uint32_t muxSource;
            std::uint32_t volumeNodeId;
            std::uint32_t third;
            std::uint32_t fourth;
        } topology;
    };
};
static_assert(sizeof(BrevicorAudioInputInfoRecord) == 568);
static_assert(offsetof(BrevicorAudioInputInfoRecord, lookupMode) == 24);
static_assert(offsetof(BrevicorAudioInputInfoRecord, inputIndex) == 28);
static_assert(offsetof(BrevicorAudioInputInfoRecord, inputName) == 32);
static_assert(offsetof(BrevicorAudioInputInfoRecord, topologyIds) == 552);
static_assert(offsetof(BrevicorAudioInputInfoRecord, topology) == 552);

// ---- Inputs and crossbar -----------------------------------------------------------------------

// PROPSETID_BREVICOR_INPUTDETECT id 0 (get): the number of inputs of a list.
inline constexpr std::uint32_t kInputListVideo = 1; // any other selector names the audio inputs
struct BrevicorInputCountRecord {
    std::uint32_t header[kPropertyHeaderWords];
    union {
        std::uint32_t listSelector; // 24
        std::uint32_t kind;
    };
    std::uint32_t inputCount; // 28
};
static_assert(sizeof(BrevicorInputCountRecord) == 32);
static_assert(offsetof(BrevicorInputCountRecord, kind) == 24);
static_assert(offsetof(BrevicorInputCountRecord, inputCount) == 28);

// PROPSETID_BREVICOR_INPUTDETECT id 1 (get): one input's detection record. The driver's input
// items keep one per input (header copy included); the change notification carries it from
// offset 24. The words from 42 on mean other things for an audio input: both names are given.
inline constexpr std::uint8_t kInputStateNoSignal = 0;
inline constexpr std::uint8_t kInputStateSignalPresent = 1;
inline constexpr std::uint8_t kInputStateStandardDetected = 2;
inline constexpr std::uint32_t kInputDetectNameCharacters = 255;
struct BrevicorInputDetectRecord {
    std::uint32_t header[kPropertyHeaderWords];
    union {
        std::uint32_t listSelector; // 24
        std::uint32_t kind;
    };
    union {
        std::uint32_t inputNumber; // 28: which input (the routing word of the input items)
        std::uint32_t inputIndex;
    };
    std::uint32_t inputType; // 32: a get answers the physical connector type
    std::uint8_t ioIndex;    // 36: the DSP I/O index
    std::uint8_t state;      // 37
    union {
        std::uint32_t detectedStandard; // 38 (unaligned): one signal-type bit
        std::uint32_t signalType;
    };
    union {
        std::uint32_t activePixels;    // 42
        std::uint32_t sampleRateCodes; // audio: 3-bit codes, input i at bit 3i
    };
    union {
        std::uint32_t blankingPixels;    // 46
        std::uint32_t sampleRateCodes2;  // audio: 2-bit codes, input i at bit 2i
    };
    std::uint32_t activeLinesField1; // 50
    union {
        std::uint32_t activeLinesField2; // 54
        std::uint32_t activityBits;      // audio: two per input, input i at bit 2i
    };
    union {
        std::uint32_t blankingLinesField1; // 58
        std::uint32_t stereoPairCount;     // audio
    };
    union {
        std::uint32_t blankingLinesField2; // 62
        std::uint32_t stereoPairIndex;     // audio
    };
    std::uint32_t frameRate; // 66: hundredths of a frame per second
    union {
        std::uint8_t reserved[510];                        // 70 to 579
        char16_t inputName[kInputDetectNameCharacters];    // audio: the input's name, terminated
    };
};
static_assert(sizeof(BrevicorInputDetectRecord) == 580);
static_assert(offsetof(BrevicorInputDetectRecord, kind) == 24);
static_assert(offsetof(BrevicorInputDetectRecord, inputNumber) == 28);
static_assert(offsetof(BrevicorInputDetectRecord, inputIndex) == 28);
static_assert(offsetof(BrevicorInputDetectRecord, inputType) == 32);
static_assert(offsetof(BrevicorInputDetectRecord, ioIndex) == 36);
static_assert(offsetof(BrevicorInputDetectRecord, state) == 37);
static_assert(offsetof(BrevicorInputDetectRecord, detectedStandard) == 38);
static_assert(offsetof(BrevicorInputDetectRecord, signalType) == 38);
static_assert(offsetof(BrevicorInputDetectRecord, sampleRateCodes) == 42);
static_assert(offsetof(BrevicorInputDetectRecord, sampleRateCodes2) == 46);
static_assert(offsetof(BrevicorInputDetectRecord, activeLinesField1) == 50);
static_assert(offsetof(BrevicorInputDetectRecord, activityBits) == 54);
static_assert(offsetof(BrevicorInputDetectRecord, stereoPairCount) == 58);
static_assert(offsetof(BrevicorInputDetectRecord, stereoPairIndex) == 62);
static_assert(offsetof(BrevicorInputDetectRecord, frameRate) == 66);
static_assert(offsetof(BrevicorInputDetectRecord, reserved) == 70);
static_assert(offsetof(BrevicorInputDetectRecord, inputName) == 70);

// PROPSETID_BREVICOR_CROSSBAR (the records of the published crossbar set): id 0 (get) the caps.
struct BrevicorCrossbarCapsRecord {
    std::uint32_t header[kPropertyHeaderWords];
    std::uint32_t numberOfInputs;  // 24
    std::uint32_t numberOfOutputs; // 28
};
static_assert(sizeof(BrevicorCrossbarCapsRecord) == 32);
static_assert(offsetof(BrevicorCrossbarCapsRecord, numberOfOutputs) == 28);

// Id 1 (get): one pin's information.
inline constexpr std::uint32_t kCrossbarDirectionInput = 1;
inline constexpr std::uint32_t kCrossbarDirectionOutput = 2;
struct BrevicorCrossbarPinInfoRecord {
    std::uint32_t header[kPropertyHeaderWords];
    std::uint32_t direction;        // 24: 1 input, 2 output
    std::uint32_t index;            // 28
    std::uint32_t physicalType;     // 32: the connector type
    std::uint32_t relatedPinIndex;  // 36
    BrevicorGuid mediumSet;         // 40
    std::uint32_t mediumId;         // 56
    std::uint32_t mediumFlags;      // 60
};
static_assert(sizeof(BrevicorCrossbarPinInfoRecord) == 64);
static_assert(offsetof(BrevicorCrossbarPinInfoRecord, physicalType) == 32);
static_assert(offsetof(BrevicorCrossbarPinInfoRecord, relatedPinIndex) == 36);
static_assert(offsetof(BrevicorCrossbarPinInfoRecord, mediumSet) == 40);
static_assert(offsetof(BrevicorCrossbarPinInfoRecord, mediumId) == 56);

// Ids 2 (can route, get) and 3 (route, get and set).
struct BrevicorCrossbarRouteRecord {
    std::uint32_t header[kPropertyHeaderWords];
    std::uint32_t inputIndex;  // 24
    std::uint32_t outputIndex; // 28
    std::uint32_t canRoute;    // 32
    std::uint32_t reserved;    // 36
};
static_assert(sizeof(BrevicorCrossbarRouteRecord) == 40);
static_assert(offsetof(BrevicorCrossbarRouteRecord, inputIndex) == 24);
static_assert(offsetof(BrevicorCrossbarRouteRecord, canRoute) == 32);

// ---- Per-pin video records -------------------------------------------------------------------------

// PROPSETID_BREVICOR_CROP, id 0: CROP_RECORD.
struct BrevicorCropRecord {
    std::uint32_t header[kPropertyHeaderWords];
    std::uint32_t pinType; // 24
    union {
        std::uint32_t enable; // 28
        std::uint32_t CropEnabled;
    };
    union {
        std::uint32_t top; // 32
        std::uint32_t CropTop;
    };
    union {
        std::uint32_t height; // 36
        std::uint32_t CropHeight;
    };
    union {
        std::uint32_t left; // 40
        std::uint32_t CropLeft;
    };
    union {
        std::uint32_t width; // 44
        std::uint32_t CropWidth;
    };
    union {
        std::uint32_t referenceHeight; // 48
        std::uint32_t CropReferenceHeight;
    };
    union {
        std::uint32_t referenceWidth; // 52
        std::uint32_t CropReferenceWidth;
    };
    std::uint32_t minimumHeight; // 56 (get): the smallest output height
    std::uint32_t minimumWidth;  // 60 (get): the smallest output width
    std::uint32_t granularityY;  // 64 (get)
    std::uint32_t granularityX;  // 68 (get)
    std::uint32_t reserved;      // 72: 0 on get
    union {
        std::uint32_t noSave; // 76: applies without a registry write and without the notification
        std::uint32_t noPersist;
    };
};
using CROP_RECORD = BrevicorCropRecord;
static_assert(sizeof(BrevicorCropRecord) == 80);
static_assert(offsetof(BrevicorCropRecord, pinType) == 24);
static_assert(offsetof(BrevicorCropRecord, CropEnabled) == 28);
static_assert(offsetof(BrevicorCropRecord, CropTop) == 32);
static_assert(offsetof(BrevicorCropRecord, CropHeight) == 36);
static_assert(offsetof(BrevicorCropRecord, CropLeft) == 40);
static_assert(offsetof(BrevicorCropRecord, CropWidth) == 44);
static_assert(offsetof(BrevicorCropRecord, CropReferenceHeight) == 48);
static_assert(offsetof(BrevicorCropRecord, referenceWidth) == 52);
static_assert(offsetof(BrevicorCropRecord, CropReferenceWidth) == 52);
static_assert(offsetof(BrevicorCropRecord, minimumHeight) == 56);
static_assert(offsetof(BrevicorCropRecord, minimumWidth) == 60);
static_assert(offsetof(BrevicorCropRecord, granularityY) == 64);
static_assert(offsetof(BrevicorCropRecord, granularityX) == 68);
static_assert(offsetof(BrevicorCropRecord, reserved) == 72);
static_assert(offsetof(BrevicorCropRecord, noSave) == 76);
static_assert(offsetof(BrevicorCropRecord, noPersist) == 76);

// PROPSETID_BREVICOR_DEINTERLACE, id 0: DEINTERLACE_RECORD.
struct BrevicorDeinterlaceRecord {
    std::uint32_t header[kPropertyHeaderWords];
    std::uint32_t pinType; // 24
    union {
        std::uint32_t enable; // 28
        std::uint32_t DeinterlaceEnabled;
    };
    union {
        std::uint32_t type; // 32: 1 to 4
        std::uint32_t DeinterlaceType;
    };
    union {
        std::uint32_t inverseTelecineEnable; // 36
        std::uint32_t InverseTelecineEnabled;
    };
    union {
        std::uint32_t resyncIntervalEnable; // 40
        std::uint32_t ResyncIntervalEnabled;
    };
    union {
        std::uint32_t resyncInterval; // 44: 0 to 429000 ms
        std::uint32_t ResyncInterval;
    };
    union {
        std::uint32_t autoDetectTelecine; // 48
        std::uint32_t AutoDetectTelecine;
    };
    std::uint32_t unused; // 52: passed through
    union {
        std::uint32_t noSave; // 56: no registry write and no notification
        std::uint32_t noPersist;
    };
};
using DEINTERLACE_RECORD = BrevicorDeinterlaceRecord;
static_assert(sizeof(BrevicorDeinterlaceRecord) == 60);
static_assert(offsetof(BrevicorDeinterlaceRecord, pinType) == 24);
static_assert(offsetof(BrevicorDeinterlaceRecord, DeinterlaceEnabled) == 28);
static_assert(offsetof(BrevicorDeinterlaceRecord, DeinterlaceType) == 32);
static_assert(offsetof(BrevicorDeinterlaceRecord, InverseTelecineEnabled) == 36);
static_assert(offsetof(BrevicorDeinterlaceRecord, ResyncIntervalEnabled) == 40);
static_assert(offsetof(BrevicorDeinterlaceRecord, ResyncInterval) == 44);
static_assert(offsetof(BrevicorDeinterlaceRecord, autoDetectTelecine) == 48);
static_assert(offsetof(BrevicorDeinterlaceRecord, AutoDetectTelecine) == 48);
static_assert(offsetof(BrevicorDeinterlaceRecord, unused) == 52);
static_assert(offsetof(BrevicorDeinterlaceRecord, noSave) == 56);
static_assert(offsetof(BrevicorDeinterlaceRecord, noPersist) == 56);

// PROPSETID_BREVICOR_IMAGEQUALITY, id 0.
struct BrevicorImageQualityRecord {
    std::uint32_t header[kPropertyHeaderWords];
    std::uint32_t pinType; // 24
    std::uint32_t enable;  // 28
    std::uint32_t mode;    // 32: 0 to 2
    std::uint32_t level;   // 36: 5 to 95 in steps of 5
};
static_assert(sizeof(BrevicorImageQualityRecord) == 40);
static_assert(offsetof(BrevicorImageQualityRecord, level) == 36);

// PROPSETID_BREVICOR_LOGO, id 0.
struct BrevicorLogoRecord {
    std::uint32_t header[kPropertyHeaderWords];
    std::uint32_t pinType;                      // 24
    std::uint32_t referenceHeight;              // 28
    std::uint32_t referenceWidth;               // 32
    std::uint32_t destinationTop;               // 36
    std::uint32_t destinationLeft;              // 40
    std::uint32_t destinationHeight;            // 44
    std::uint32_t destinationWidth;             // 48
    std::uint32_t originationHeight;            // 52: the bitmap's height
    std::uint32_t originationWidth;             // 56: the bitmap's width, rounded up to 16
    std::uint32_t enable;                       // 60
    std::uint32_t transparencyEnable;           // 64
    std::uint32_t transparencyPercent;          // 68: 0 to 100
    std::uint32_t keyColorEnable;               // 72
    std::uint32_t keyColor;                     // 76: byte 76 red, 77 green, 78 blue
    std::uint32_t duration;                     // 80
    std::uint32_t reserved;                     // 84: 0 on get, passed through
    union {
        std::uint32_t noSave;                   // 88
        std::uint32_t noPersist;
    };
    char16_t fileName[kRecordTextCharacters];   // 92
    char16_t filterText[kRecordTextCharacters]; // 612: the file dialog's filter (get)
};
static_assert(sizeof(BrevicorLogoRecord) == 1132);
static_assert(offsetof(BrevicorLogoRecord, referenceHeight) == 28);
static_assert(offsetof(BrevicorLogoRecord, destinationTop) == 36);
static_assert(offsetof(BrevicorLogoRecord, destinationWidth) == 48);
static_assert(offsetof(BrevicorLogoRecord, originationHeight) == 52);
static_assert(offsetof(BrevicorLogoRecord, originationWidth) == 56);
static_assert(offsetof(BrevicorLogoRecord, enable) == 60);
static_assert(offsetof(BrevicorLogoRecord, transparencyPercent) == 68);
static_assert(offsetof(BrevicorLogoRecord, keyColor) == 76);
static_assert(offsetof(BrevicorLogoRecord, duration) == 80);
static_assert(offsetof(BrevicorLogoRecord, noSave) == 88);
static_assert(offsetof(BrevicorLogoRecord, noPersist) == 88);
static_assert(offsetof(BrevicorLogoRecord, fileName) == 92);
static_assert(offsetof(BrevicorLogoRecord, filterText) == 612);

// PROPSETID_BREVICOR_VIDEOPROCAMP, id 0: VIDEOPROCAMP_RECORD, five groups of value, minimum,
// maximum and two more words, then the no-persist flag and the three tables. For brightness,
// contrast, hue and saturation the fourth word is the neutral value and the fifth a flags word (1);
// for gamma the flags word (1) comes fourth and the neutral value (100) fifth, so the gamma group
// names them by accessor: gamma.neutral() and gamma.flags().
// kProcAmpTableEntries: the entries of each table (procamptables.h).
struct BrevicorProcAmpGroup {
    std::int32_t value;
    std::int32_t minimum;
    std::int32_t maximum;
    union {
        std::int32_t defaultValue; // gamma: 1
        std::int32_t neutral;
    };
    union {
        std::int32_t step; // gamma: 100
        std::int32_t flags;
    };
};
static_assert(sizeof(BrevicorProcAmpGroup) == 20);
static_assert(offsetof(BrevicorProcAmpGroup, neutral) == 12);
static_assert(offsetof(BrevicorProcAmpGroup, flags) == 16);
struct BrevicorProcAmpGammaGroup : BrevicorProcAmpGroup {
    // The gamma group's neutral value and flags word, the other way round from the other groups.
    constexpr std::int32_t neutral() const { return step; }
    constexpr std::int32_t flags() const { return defaultValue; }
};
static_assert(sizeof(BrevicorProcAmpGammaGroup) == 20);
struct BrevicorProcAmpRecord {
    std::uint32_t header[kPropertyHeaderWords];
    std::uint32_t pinType;                        // 24
    BrevicorProcAmpGroup brightness;              // 28
    BrevicorProcAmpGroup contrast;                // 48
    BrevicorProcAmpGroup hue;                     // 68
    BrevicorProcAmpGroup saturation;              // 88
    BrevicorProcAmpGammaGroup gamma;              // 108
    union {
        std::uint32_t noSave;                     // 128
        std::uint32_t noPersist;
    };
    std::uint8_t gammaTable[kProcAmpTableEntries]; // 132: the luma table
    std::int32_t sineTable[kProcAmpTableEntries];  // 388
    std::int32_t cosineTable[kProcAmpTableEntries]; // 1412
};
using VIDEOPROCAMP_RECORD = BrevicorProcAmpRecord;
static_assert(sizeof(BrevicorProcAmpRecord) == 2436);
static_assert(sizeof(BrevicorProcAmpRecord) == ProcAmpRecordLayout::kRecordBytes);
static_assert(offsetof(BrevicorProcAmpRecord, pinType) == 24);
static_assert(offsetof(BrevicorProcAmpRecord, brightness) == 28);
static_assert(offsetof(BrevicorProcAmpRecord, brightness) == ProcAmpRecordLayout::kBrightness);
static_assert(offsetof(BrevicorProcAmpRecord, brightness) + offsetof(BrevicorProcAmpGroup, neutral) ==
              ProcAmpRecordLayout::kBrightnessNeutral);
static_assert(offsetof(BrevicorProcAmpRecord, contrast) == 48);
static_assert(offsetof(BrevicorProcAmpRecord, contrast) == ProcAmpRecordLayout::kContrast);
static_assert(offsetof(BrevicorProcAmpRecord, hue) == 68);
static_assert(offsetof(BrevicorProcAmpRecord, hue) == ProcAmpRecordLayout::kHue);
static_assert(offsetof(BrevicorProcAmpRecord, saturation) == 88);
static_assert(offsetof(BrevicorProcAmpRecord, gamma) == 108);
static_assert(offsetof(BrevicorProcAmpRecord, gamma) == ProcAmpRecordLayout::kGamma);
static_assert(offsetof(BrevicorProcAmpRecord, noSave) == 128);
static_assert(offsetof(BrevicorProcAmpRecord, noPersist) == 128);
static_assert(offsetof(BrevicorProcAmpRecord, gammaTable) == 132);
static_assert(offsetof(BrevicorProcAmpRecord, gammaTable) == ProcAmpRecordLayout::kLumaTable);
static_assert(offsetof(BrevicorProcAmpRecord, sineTable) == 388);
static_assert(offsetof(BrevicorProcAmpRecord, sineTable) == ProcAmpRecordLayout::kSineTable);
static_assert(offsetof(BrevicorProcAmpRecord, cosineTable) == 1412);
static_assert(offsetof(BrevicorProcAmpRecord, cosineTable) == ProcAmpRecordLayout::kCosineTable);

// PROPSETID_BREVICOR_VIDEODECODER, id 0: VIDEODECODER_RECORD.
inline constexpr std::uint32_t kVideoDecoderStandardsMask = 0x61FFFF;
struct BrevicorVideoDecoderRecord {
    std::uint32_t header[kPropertyHeaderWords];
    union {
        std::uint32_t standardsMask; // 24: 0x61FFFF on get
        std::uint32_t supportedSignalTypes;
    };
    std::uint32_t currentSignalType; // 28: the only field a set reads
    union {
        std::uint32_t currentHeight; // 32: lines
        std::uint32_t lines;
    };
    union {
        std::uint32_t currentWidth; // 36: pixels per line
        std::uint32_t pixelsPerLine;
    };
    union {
        std::uint32_t currentFrameTime; // 40: 100-ns units
        std::uint32_t frameDuration;
    };
    std::uint32_t detectedSignalType; // 44
    std::uint32_t detectedHeight;     // 48
    std::uint32_t detectedWidth;      // 52
    std::uint32_t detectedFrameTime;  // 56
};
using VIDEODECODER_RECORD = BrevicorVideoDecoderRecord;
static_assert(sizeof(BrevicorVideoDecoderRecord) == 60);
static_assert(offsetof(BrevicorVideoDecoderRecord, supportedSignalTypes) == 24);
static_assert(offsetof(BrevicorVideoDecoderRecord, currentSignalType) == 28);
static_assert(offsetof(BrevicorVideoDecoderRecord, lines) == 32);
static_assert(offsetof(BrevicorVideoDecoderRecord, pixelsPerLine) == 36);
static_assert(offsetof(BrevicorVideoDecoderRecord, frameDuration) == 40);
static_assert(offsetof(BrevicorVideoDecoderRecord, detectedSignalType) == 44);
static_assert(offsetof(BrevicorVideoDecoderRecord, detectedHeight) == 48);
static_assert(offsetof(BrevicorVideoDecoderRecord, detectedWidth) == 52);
static_assert(offsetof(BrevicorVideoDecoderRecord, detectedFrameTime) == 56);

// PROPSETID_BREVICOR_CC, id 0. The driver's pin settings keep the whole record.
struct BrevicorCCRecord {
    std::uint32_t header[kPropertyHeaderWords];
    std::uint32_t pinType; // 24
    union {
        std::uint32_t field; // 28: line-21 field, 1 or 2
        std::uint32_t CCField;
    };
    union {
        std::uint32_t channel; // 32: 1 or 2
        std::uint32_t CCChannel;
    };
    union {
        std::uint32_t enable; // 36
        std::uint32_t CCEnable;
    };
    union {
        std::uint32_t referenceHeight; // 40
        std::uint32_t CCReferenceHeight;
    };
    union {
        std::uint32_t referenceWidth; // 44
        std::uint32_t CCReferenceWidth;
    };
    union {
        std::uint32_t destinationTop; // 48
        std::uint32_t CCDestinationTop;
    };
    union {
        std::uint32_t destinationLeft; // 52
        std::uint32_t CCDestinationLeft;
    };
    union {
        std::uint32_t destinationHeight; // 56
        std::uint32_t CCDestinationHeight;
    };
    union {
        std::uint32_t destinationWidth; // 60
        std::uint32_t CCDestinationWidth;
    };
    union {
        std::uint32_t transparencyEnable; // 64
        std::uint32_t CCTransparencyEnable;
    };
    union {
        std::uint32_t foregroundColor; // 68: 0x00BBGGRR
        std::uint32_t CCForegroundColor;
    };
    union {
        std::uint32_t backgroundColor; // 72
        std::uint32_t CCBackgroundColor;
    };
    union {
        std::uint32_t noSave; // 76
        std::uint32_t noPersist;
    };
    union {
        char16_t fontFileName[kRecordTextCharacters]; // 80: the glyph file's full path
        char16_t CCFontFileName[kRecordTextCharacters];
    };
};
static_assert(sizeof(BrevicorCCRecord) == 600);
static_assert(offsetof(BrevicorCCRecord, pinType) == 24);
static_assert(offsetof(BrevicorCCRecord, field) == 28);
static_assert(offsetof(BrevicorCCRecord, CCField) == 28);
static_assert(offsetof(BrevicorCCRecord, CCChannel) == 32);
static_assert(offsetof(BrevicorCCRecord, CCEnable) == 36);
static_assert(offsetof(BrevicorCCRecord, CCReferenceHeight) == 40);
static_assert(offsetof(BrevicorCCRecord, CCReferenceWidth) == 44);
static_assert(offsetof(BrevicorCCRecord, CCDestinationTop) == 48);
static_assert(offsetof(BrevicorCCRecord, CCDestinationLeft) == 52);
static_assert(offsetof(BrevicorCCRecord, CCDestinationHeight) == 56);
static_assert(offsetof(BrevicorCCRecord, CCDestinationWidth) == 60);
static_assert(offsetof(BrevicorCCRecord, CCTransparencyEnable) == 64);
static_assert(offsetof(BrevicorCCRecord, CCForegroundColor) == 68);
static_assert(offsetof(BrevicorCCRecord, backgroundColor) == 72);
static_assert(offsetof(BrevicorCCRecord, CCBackgroundColor) == 72);
static_assert(offsetof(BrevicorCCRecord, noSave) == 76);
static_assert(offsetof(BrevicorCCRecord, noPersist) == 76);
static_assert(offsetof(BrevicorCCRecord, fontFileName) == 80);
static_assert(offsetof(BrevicorCCRecord, CCFontFileName) == 80);

// PROPSETID_BREVICOR_LOS, id 0: the device's loss-of-signal settings.
inline constexpr std::uint32_t kLosMaximumSignalType = 8;
struct BrevicorLOSRecord {
    std::uint32_t header[kPropertyHeaderWords];
    union {
        std::uint32_t oddChannelsTone; // 24: 0 none, 1 a 1 kHz tone, other a 3 kHz tone
        std::uint32_t LOSAudioOddChannelsTone;
    };
    union {
        std::uint32_t evenChannelsTone; // 28
        std::uint32_t LOSAudioEvenChannelsTone;
    };
    union {
        std::uint32_t videoEnable; // 32
        std::uint32_t LOSVideoEnable;
    };
    union {
        std::uint32_t referenceHeight; // 36
        std::uint32_t LOSVideoReferenceHeight;
    };
    union {
        std::uint32_t referenceWidth; // 40
        std::uint32_t LOSVideoReferenceWidth;
    };
    union {
        std::uint32_t destinationTop; // 44
        std::uint32_t LOSVideoDestinationTop;
    };
    union {
        std::uint32_t destinationLeft; // 48
        std::uint32_t LOSVideoDestinationLeft;
    };
    union {
        std::uint32_t destinationHeight; // 52
        std::uint32_t LOSVideoDestinationHeight;
    };
    union {
        std::uint32_t destinationWidth; // 56
        std::uint32_t LOSVideoDestinationWidth;
    };
    union {
        std::uint32_t transparencyEnable; // 60
        std::uint32_t LOSVideoTransparencyEnable;
    };
    union {
        std::uint32_t foregroundColor; // 64
        std::uint32_t LOSVideoForegroundColor;
    };
    union {
        std::uint32_t backgroundColor; // 68
        std::uint32_t LOSVideoBackgroundColor;
    };
    union {
        std::uint32_t fromRegistry; // 72: the no-save flag: no registry write, no notification
        std::uint32_t noSave;
        std::uint32_t noPersist;
    };
    union {
        std::uint32_t videoSignalType; // 76: 0 to 8
        std::uint32_t LOSVideoVideoSignalType;
    };
    union {
        char16_t caption[kRecordTextCharacters]; // 80
        char16_t LOSVideoCaption[kRecordTextCharacters];
    };
    union {
        char16_t fontFileName[kRecordTextCharacters]; // 600
        char16_t LOSVideoFontFileName[kRecordTextCharacters];
    };
};
static_assert(sizeof(BrevicorLOSRecord) == 1120);
static_assert(offsetof(BrevicorLOSRecord, oddChannelsTone) == 24);
static_assert(offsetof(BrevicorLOSRecord, LOSAudioOddChannelsTone) == 24);
static_assert(offsetof(BrevicorLOSRecord, LOSAudioEvenChannelsTone) == 28);
static_assert(offsetof(BrevicorLOSRecord, videoEnable) == 32);
static_assert(offsetof(BrevicorLOSRecord, LOSVideoEnable) == 32);
static_assert(offsetof(BrevicorLOSRecord, LOSVideoReferenceHeight) == 36);
static_assert(offsetof(BrevicorLOSRecord, LOSVideoReferenceWidth) == 40);
static_assert(offsetof(BrevicorLOSRecord, LOSVideoDestinationTop) == 44);
static_assert(offsetof(BrevicorLOSRecord, LOSVideoDestinationLeft) == 48);
static_assert(offsetof(BrevicorLOSRecord, LOSVideoDestinationHeight) == 52);
static_assert(offsetof(BrevicorLOSRecord, LOSVideoDestinationWidth) == 56);
static_assert(offsetof(BrevicorLOSRecord, LOSVideoTransparencyEnable) == 60);
static_assert(offsetof(BrevicorLOSRecord, LOSVideoForegroundColor) == 64);
static_assert(offsetof(BrevicorLOSRecord, LOSVideoBackgroundColor) == 68);
static_assert(offsetof(BrevicorLOSRecord, fromRegistry) == 72);
static_assert(offsetof(BrevicorLOSRecord, noPersist) == 72);
static_assert(offsetof(BrevicorLOSRecord, videoSignalType) == 76);
static_assert(offsetof(BrevicorLOSRecord, LOSVideoVideoSignalType) == 76);
static_assert(offsetof(BrevicorLOSRecord, caption) == 80);
static_assert(offsetof(BrevicorLOSRecord, LOSVideoCaption) == 80);
static_assert(offsetof(BrevicorLOSRecord, fontFileName) == 600);
static_assert(offsetof(BrevicorLOSRecord, LOSVideoFontFileName) == 600);

// ---- The change notification --------------------------------------------------------------------

// KSEVENTSETID_BREVICOR_NOTIFICATION, event id 0: each raise buffers one NOTIFICATION_RECORD, the
// changed set's identifier and that set's payload, the rest zero. The enable data of the event is
// the 16-byte event data followed by room for one record.
inline constexpr std::uint32_t kNotificationPayloadBytes = 1092;
inline constexpr std::uint32_t kNotificationEventDataBytes = 16;
inline constexpr std::uint32_t kNotificationEnableDataBytes = 1124;
struct BrevicorNotificationRecord {
    BrevicorGuid propertySet;                        // the set whose values changed
    std::uint8_t payload[kNotificationPayloadBytes]; // the raising setter's payload; the rest zero
};
using NOTIFICATION_RECORD = BrevicorNotificationRecord;
static_assert(sizeof(BrevicorNotificationRecord) == 1108);
static_assert(offsetof(BrevicorNotificationRecord, payload) == 16);
static_assert(kNotificationEnableDataBytes == kNotificationEventDataBytes + sizeof(BrevicorNotificationRecord));

// Crop: 32 bytes.
struct BrevicorCropNotification {
    std::uint32_t pinType;
    std::uint32_t enable;
    std::uint32_t top;
    std::uint32_t height;
    std::uint32_t left;
    std::uint32_t width;
    std::uint32_t referenceHeight;
    std::uint32_t referenceWidth;
};
static_assert(sizeof(BrevicorCropNotification) == 32);
static_assert(offsetof(BrevicorCropNotification, left) == 16);

// Deinterlace: 28 bytes, the record's words 24 to 48.
struct BrevicorDeinterlaceNotification {
    std::uint32_t pinType;
    std::uint32_t enable;
    std::uint32_t type;
    std::uint32_t inverseTelecineEnable;
    std::uint32_t resyncIntervalEnable;
    std::uint32_t resyncInterval;
    std::uint32_t autoDetectTelecine;
};
static_assert(sizeof(BrevicorDeinterlaceNotification) == 28);

// Proc amp: 24 bytes (also raised by a set of the published proc-amp set, once per pin type).
struct BrevicorProcAmpNotification {
    std::uint32_t pinType;
    std::int32_t brightness;
    std::int32_t contrast;
    std::int32_t hue;
    std::int32_t saturation;
    std::int32_t gamma;
};
static_assert(sizeof(BrevicorProcAmpNotification) == 24);

// Logo: 1088 bytes (origination size and duration are not part of it).
struct BrevicorLogoNotification {
    std::uint32_t pinType;
    std::uint32_t referenceHeight;
    std::uint32_t referenceWidth;
    std::uint32_t destinationTop;
    std::uint32_t destinationLeft;
    std::uint32_t destinationHeight;
    std::uint32_t destinationWidth;
    std::uint32_t enable;
    std::uint32_t transparencyEnable;
    std::uint32_t transparencyPercent;
    std::uint32_t keyColorEnable;
    std::uint32_t keyColor;
    char16_t fileName[kRecordTextCharacters];
    char16_t filterText[kRecordTextCharacters];
};
static_assert(sizeof(BrevicorLogoNotification) == 1088);
static_assert(offsetof(BrevicorLogoNotification, enable) == 28);
static_assert(offsetof(BrevicorLogoNotification, fileName) == 48);
static_assert(offsetof(BrevicorLogoNotification, filterText) == 568);

// Closed captions: 572 bytes, the pin type and the record from the caption field on, without the
// no-save flag.
struct BrevicorCCNotification {
    std::uint32_t pinType;
    std::uint32_t field;
    std::uint32_t channel;
    std::uint32_t enable;
    std::uint32_t referenceHeight;
    std::uint32_t referenceWidth;
    std::uint32_t destinationTop;
    std::uint32_t destinationLeft;
    std::uint32_t destinationHeight;
    std::uint32_t destinationWidth;
    std::uint32_t transparencyEnable;
    std::uint32_t foregroundColor;
    std::uint32_t backgroundColor;
    char16_t fontFileName[kRecordTextCharacters];
};
static_assert(sizeof(BrevicorCCNotification) == 572);
static_assert(offsetof(BrevicorCCNotification, fontFileName) == 52);

// Loss of signal: 1092 bytes, the record's words 24 to 68, then 76 to the end (the no-save flag is
// left out).
struct BrevicorLOSNotification {
    std::uint32_t oddChannelsTone;
    std::uint32_t evenChannelsTone;
    std::uint32_t videoEnable;
    std::uint32_t referenceHeight;
    std::uint32_t referenceWidth;
    std::uint32_t destinationTop;
    std::uint32_t destinationLeft;
    std::uint32_t destinationHeight;
    std::uint32_t destinationWidth;
    std::uint32_t transparencyEnable;
    std::uint32_t foregroundColor;
    std::uint32_t backgroundColor;
    std::uint32_t videoSignalType;
    char16_t caption[kRecordTextCharacters];
    char16_t fontFileName[kRecordTextCharacters];
};
static_assert(sizeof(BrevicorLOSNotification) == kNotificationPayloadBytes);
static_assert(offsetof(BrevicorLOSNotification, videoSignalType) == 48);
static_assert(offsetof(BrevicorLOSNotification, caption) == 52);
static_assert(offsetof(BrevicorLOSNotification, fontFileName) == 572);

#pragma pack(pop)

// Performance: 40 bytes, raised on the filters of every device.
struct PerformanceNotification {
    std::uint32_t pinKind;
    std::uint32_t hardwareDeinterlacing;
    std::uint32_t videoBuffer;
    std::uint32_t scalingAlgorithm;
    std::uint32_t defaultVideoSizeType;
    std::uint32_t height;
    std::uint32_t width;
    std::uint32_t sdSdiClockAdjust;
    std::uint32_t hdSdiClockAdjust;
    std::uint32_t vbiLineRemoval;
};
static_assert(sizeof(PerformanceNotification) == 40);
static_assert(offsetof(PerformanceNotification, sdSdiClockAdjust) == 28);

#pragma pack(push, 1)

// Input state: 556 bytes under PROPSETID_BREVICOR_INPUTDETECT, the detection record from offset 24
// (the video decoder page reads the first word and the signal type).
inline constexpr std::uint32_t kInputDetectNotificationBytes =
    sizeof(BrevicorInputDetectRecord) - kPropertyHeaderBytes;
static_assert(kInputDetectNotificationBytes == 556);
struct BrevicorInputDetectNotification {
    std::uint32_t listSelector; // 1
    std::uint32_t inputNumber;
    std::uint32_t inputType;
    std::uint8_t ioIndex;
    std::uint8_t state;
    std::uint32_t detectedStandard; // 14
    std::uint8_t remaining[kInputDetectNotificationBytes - 18];
};
static_assert(sizeof(BrevicorInputDetectNotification) == kInputDetectNotificationBytes);
static_assert(offsetof(BrevicorInputDetectNotification, state) == 13);
static_assert(offsetof(BrevicorInputDetectNotification, detectedStandard) == 14);

#pragma pack(pop)
