// WAV writer and sox stats reader of the audio step tests (see AudioStepsSox.h).
#include "AudioStepsSox.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <sys/wait.h>

namespace audiotest {

namespace {

void Put32(std::ofstream& out, uint32_t value)
{
    const char bytes[4] = {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
    out.write(bytes, 4);
}

void Put16(std::ofstream& out, uint16_t value)
{
    const char bytes[2] = {char(value), char(value >> 8)};
    out.write(bytes, 2);
}

bool ParseNumber(const std::string& token, double* value)
{
    if (token == "-inf" || token == "inf") {
        *value = token == "inf" ? std::numeric_limits<double>::infinity() : -std::numeric_limits<double>::infinity();
        return true;
    }
    char* end = nullptr;
    const double parsed = std::strtod(token.c_str(), &end);
    if (end == token.c_str() || *end != '\0')
        return false;
    *value = parsed;
    return true;
}

} // namespace

bool WriteWav(const std::string& path, const std::vector<uint8_t>& samples, int channels, int rate, int bits)
{
    std::ofstream out(path, std::ios::binary);
    if (!out)
        return false;
    const uint32_t dataBytes = uint32_t(samples.size());
    const uint16_t blockAlign = uint16_t(channels * bits / 8);
    out.write("RIFF", 4);
    Put32(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    Put32(out, 16);
    Put16(out, 1); // PCM
    Put16(out, uint16_t(channels));
    Put32(out, uint32_t(rate));
    Put32(out, uint32_t(rate) * blockAlign);
    Put16(out, blockAlign);
    Put16(out, uint16_t(bits));
    out.write("data", 4);
    Put32(out, dataBytes);
    out.write(reinterpret_cast<const char*>(samples.data()), std::streamsize(samples.size()));
    return bool(out);
}

std::optional<double> SoxStats::Value(const std::string& row, size_t column) const
{
    const auto found = rows.find(row);
    if (found == rows.end() || column >= found->second.size())
        return std::nullopt;
    return found->second[column];
}

SoxStats ParseSoxStats(const std::string& text)
{
    // Each row is a name of words, then numbers separated by blanks: "Pk lev dB  -6.02  -6.02  -6.02".
    SoxStats stats;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::vector<std::string> tokens;
        std::string token;
        while (words >> token)
            tokens.push_back(token);
        size_t first = tokens.size();
        std::vector<double> values;
        // The numbers are the trailing run of tokens that parse.
        while (first > 0) {
            double value = 0.0;
            if (!ParseNumber(tokens[first - 1], &value))
                break;
            values.insert(values.begin(), value);
            --first;
        }
        if (first == 0 || values.empty())
            continue;
        std::string name = tokens[0];
        for (size_t i = 1; i < first; ++i)
            name += " " + tokens[i];
        stats.rows[name] = values;
    }
    return stats;
}

std::string FindSox()
{
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::filesystem::path candidate = std::filesystem::path(folder.empty() ? "." : folder) / "sox";
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error))
            return candidate.string();
    }
    return {};
}

std::optional<SoxStats> RunSoxStats(const std::string& sox, const std::string& path)
{
    // sox prints the table on its error stream.
    const std::string command = "'" + sox + "' '" + path + "' -n stats 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return std::nullopt;
    std::string text;
    std::array<char, 512> buffer{};
    size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        text.append(buffer.data(), got);
    const int status = ::pclose(pipe);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return ParseSoxStats(text);
}

} // namespace audiotest
