// ComputeProcAmpTables: the table formulas in double precision, in the order they are written
// (products and quotients are not regrouped), so that every caller gets the same bytes.
#include "procamptables.h"

#include <cmath>
#include <cstring>

namespace {

constexpr double kPi = 3.141592653589793;

int32_t ReadWord(const uint8_t* record, size_t offset)
{
    uint32_t word = static_cast<uint32_t>(record[offset]) | static_cast<uint32_t>(record[offset + 1]) << 8 |
                    static_cast<uint32_t>(record[offset + 2]) << 16 |
                    static_cast<uint32_t>(record[offset + 3]) << 24;
    return static_cast<int32_t>(word);
}

void WriteWord(uint8_t* record, size_t offset, int32_t value)
{
    const uint32_t word = static_cast<uint32_t>(value);
    record[offset] = static_cast<uint8_t>(word);
    record[offset + 1] = static_cast<uint8_t>(word >> 8);
    record[offset + 2] = static_cast<uint8_t>(word >> 16);
    record[offset + 3] = static_cast<uint8_t>(word >> 24);
}

} // namespace

void ComputeProcAmpTables(const ProcAmpValues& values, ProcAmpTables* tables)
{
    // The brightness offset is an integer quotient truncated toward zero (10 gives 25, -10 gives
    // -25); it is taken in 64 bits so that a value far outside its range cannot overflow.
    const int64_t offset =
        (static_cast<int64_t>(values.brightness) - static_cast<int64_t>(values.brightnessNeutral)) * 256 / 100;
    const double brightnessOffset = static_cast<double>(offset);
    const double exponent = values.gamma / 100.0;
    const double contrast = values.contrast / 100.0;
    for (size_t i = 0; i < kProcAmpTableEntries; ++i) {
        double v = 255.0 * std::pow(static_cast<double>(i) / 255.0, exponent); // pow(0, 0) is 1
        v = v * contrast + brightnessOffset;
        // Written so that NaN (a negative gamma with zero contrast) also lands at the low limit.
        if (!(v >= 16.0))
            v = 16.0;
        else if (v > 235.0)
            v = 235.0;
        tables->luma[i] = static_cast<uint8_t>(v);
    }

    const double angle = values.hue * kPi / 180.0;
    const double sine = std::sin(angle);
    const double cosine = std::cos(angle);
    for (size_t j = 0; j < kProcAmpTableEntries; ++j) {
        // |x| <= 128: both products stay far inside a word.
        const double x = static_cast<double>(j) - 128.0;
        tables->sine[j] = static_cast<int32_t>(sine * x * 100000.0);
        tables->cosine[j] = static_cast<int32_t>(x * cosine * 100000.0);
    }
}

bool ComputeProcAmpTables(uint8_t* record, size_t recordBytes)
{
    using L = ProcAmpRecordLayout;
    if (record == nullptr || recordBytes < L::kRecordBytes)
        return false;
    ProcAmpValues values{};
    values.brightness = ReadWord(record, L::kBrightness);
    values.brightnessNeutral = ReadWord(record, L::kBrightnessNeutral);
    values.contrast = ReadWord(record, L::kContrast);
    values.hue = ReadWord(record, L::kHue);
    values.gamma = ReadWord(record, L::kGamma);
    ProcAmpTables tables;
    ComputeProcAmpTables(values, &tables);
    std::memcpy(record + L::kLumaTable, tables.luma, sizeof(tables.luma));
    for (size_t j = 0; j < kProcAmpTableEntries; ++j) {
        WriteWord(record, L::kSineTable + 4 * j, tables.sine[j]);
        WriteWord(record, L::kCosineTable + 4 * j, tables.cosine[j]);
    }
    return true;
}
