// Independent readings of delivered audio for the audio step tests: a WAV writer for interleaved
// little-endian PCM, and a reader of what `sox <file> -n stats` prints.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace audiotest {

// Writes a canonical 44-byte-header PCM WAV file; false when the file cannot be written.
bool WriteWav(const std::string& path, const std::vector<uint8_t>& samples, int channels, int rate, int bits);

// The table `sox ... stats` prints: each row's name ("Pk lev dB", "RMS lev dB", ...) with its
// columns (Overall, then one per channel). Values that are not numbers ("-inf") read as -inf.
struct SoxStats {
    std::map<std::string, std::vector<double>> rows;
    // The value of a row in column `column` (0 overall, 1 the first channel); nothing when absent.
    std::optional<double> Value(const std::string& row, size_t column) const;
};

// Parses the text sox prints for `stats`.
SoxStats ParseSoxStats(const std::string& text);

// The sox program on the path, or empty when there is none.
std::string FindSox();
// Runs `sox <path> -n stats` and parses what it prints; nothing when sox fails.
std::optional<SoxStats> RunSoxStats(const std::string& sox, const std::string& path);

} // namespace audiotest
