// The proc-amp tables: the luma table and the sine and cosine tables that carry brightness,
// contrast, gamma and hue. The driver and the property pages must compute them alike, so both
// link this one implementation (quillmar_common: standard C++ only, no platform header).
#pragma once

#include <cstddef>
#include <cstdint>

// Entries of each table: one per 8-bit sample value.
inline constexpr size_t kProcAmpTableEntries = 256;

// The values the tables are computed from. Brightness is an offset from its neutral value,
// contrast a percentage (100 neutral), hue in degrees (0 neutral), gamma in hundredths (100 = 1.0).
struct ProcAmpValues {
    int32_t brightness;
    int32_t brightnessNeutral;
    int32_t contrast;
    int32_t hue;
    int32_t gamma;
};

struct ProcAmpTables {
    uint8_t luma[kProcAmpTableEntries];    // new Y for each Y, within 16..235
    int32_t sine[kProcAmpTableEntries];    // sin(hue) x (j - 128) x 100000, truncated toward zero
    int32_t cosine[kProcAmpTableEntries];  // (j - 128) x cos(hue) x 100000, truncated toward zero
};

void ComputeProcAmpTables(const ProcAmpValues& values, ProcAmpTables* tables);

// The proc-amp property record: 2436 bytes from the 24-byte property header on, little-endian
// 32-bit words at these offsets; the tables follow the values.
struct ProcAmpRecordLayout {
    static constexpr size_t kBrightness = 28;
    static constexpr size_t kBrightnessNeutral = 40;
    static constexpr size_t kContrast = 48;
    static constexpr size_t kHue = 68;
    static constexpr size_t kGamma = 108;
    static constexpr size_t kLumaTable = 132;   // 256 bytes
    static constexpr size_t kSineTable = 388;   // 256 signed words
    static constexpr size_t kCosineTable = 1412; // 256 signed words
    static constexpr size_t kRecordBytes = 2436;
};

// Fills the three tables of a whole proc-amp record from its values. False (record untouched)
// when the buffer is shorter than the record.
bool ComputeProcAmpTables(uint8_t* record, size_t recordBytes);
