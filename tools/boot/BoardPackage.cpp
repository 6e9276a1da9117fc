// The driver package of a configured board (BoardPackage.h).
#include "BoardPackage.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace toolboot {

namespace {

constexpr std::string_view kInputsSection = "Talvexon.Inputs";

constexpr uint32_t kVideoTypeLive = 0;
constexpr uint32_t kVideoTypeTest = 2;
constexpr uint32_t kTestSignalIoIndex = 2;

constexpr uint32_t kAudioTypeSdi = 10;
constexpr size_t kCardKindIdentifiers = 4; // each of the types 11 to 14 has four identifiers

// The first identifier and the name of the types 11 to 14.
struct CardKind {
    uint32_t type;
    uint32_t firstIdentifier;
    const char* name;
};
constexpr CardKind kCardKinds[] = {
    {11, 8, "AES"},
    {12, 12, "S/PDIF"},
    {14, 16, "unbalanced"},
    {13, 20, "balanced"},
};

const CardKind* FindCardKind(uint32_t type)
{
    for (const CardKind& kind : kCardKinds)
        if (kind.type == type)
            return &kind;
    return nullptr;
}

[[noreturn]] void Refuse(const std::string& why)
{
    throw std::invalid_argument("board configuration: " + why);
}

std::string Dword(const std::string& subkey, const char* name, uint32_t value, const std::string& newline)
{
    return "HKR, " + subkey + ", " + name + ", 0x00010001, " + std::to_string(value) + newline;
}

std::string Text(const std::string& subkey, const char* name, const std::string& value, const std::string& newline)
{
    return "HKR, " + subkey + ", " + name + ", , \"" + value + "\"" + newline;
}

std::string AudioTypeIdentifier(uint32_t identifier)
{
    char text[48];
    std::snprintf(text, sizeof text, "{5D61FB%02X-23EF-4D82-AD98-AD61EEAED7F5}", static_cast<unsigned>(identifier));
    return text;
}

// The section named by a header line ("[name]", spaces around allowed), if the line is one.
std::optional<std::string_view> SectionName(std::string_view line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    const size_t open = line.find_first_not_of(" \t");
    if (open == std::string_view::npos || line[open] != '[')
        return std::nullopt;
    const size_t close = line.find(']', open);
    if (close == std::string_view::npos)
        return std::nullopt;
    std::string_view name = line.substr(open + 1, close - open - 1);
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t'))
        name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
        name.remove_suffix(1);
    return name;
}

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A line with nothing for setup: blank, or a comment.
bool Quiet(std::string_view line)
{
    const size_t first = line.find_first_not_of(" \t\r\n");
    return first == std::string_view::npos || line[first] == ';';
}

// The text's lines, each with its line end.
std::vector<std::string_view> Lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const size_t length = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return lines;
}

} // namespace

std::filesystem::path SystemDriverPackage()
{
    return std::filesystem::path(TALVEXON_SYSTEM_MACHINE) / "C" / "Windows" / "INF" / "oem0.inf";
}

bool HasDefaultInputs(const board::BoardConfiguration& configuration)
{
    const board::BoardConfiguration defaults;
    return configuration.videoInputs == defaults.videoInputs && configuration.audioInputs == defaults.audioInputs;
}

void CheckBoardInputs(const board::BoardConfiguration& configuration)
{
    const auto& video = configuration.videoInputs;
    const auto& audio = configuration.audioInputs;
    if (video.empty())
        Refuse("no video input (a board has at least one)");
    if (video.size() > kMaximumVideoInputs)
        Refuse(std::to_string(video.size()) + " video inputs (the driver reads " + std::to_string(kMaximumVideoInputs) +
               " at most)");
    for (size_t i = 0; i < video.size(); ++i)
        if (video[i] != board::VideoInputKind::Sdi && video[i] != board::VideoInputKind::TestConnector)
            Refuse("video input " + std::to_string(i + 1) + " is of an unknown kind (" +
                   std::to_string(static_cast<int>(video[i])) + "; SDI or test connector)");
    if (audio.empty())
        Refuse("no audio input (a board has at least one)");
    if (audio.size() > kMaximumAudioInputs)
        Refuse(std::to_string(audio.size()) + " audio inputs (the driver reads " + std::to_string(kMaximumAudioInputs) +
               " at most)");
    size_t perKind[std::size(kCardKinds)] = {};
    for (size_t i = 0; i < audio.size(); ++i) {
        if (audio[i] == kAudioTypeSdi)
            continue;
        const CardKind* kind = FindCardKind(audio[i]);
        if (kind == nullptr)
            Refuse("audio input " + std::to_string(i + 1) + " is of an unknown type (" + std::to_string(audio[i]) +
                   "; 10 SDI, 11 AES, 12 S/PDIF, 13 balanced, 14 unbalanced)");
        if (++perKind[kind - kCardKinds] > kCardKindIdentifiers)
            Refuse("audio input " + std::to_string(i + 1) + " is a fifth " + kind->name +
                   " input (the type has four names)");
    }
}

std::string InputsSectionLines(const board::BoardConfiguration& configuration, const std::string& newline)
{
    CheckBoardInputs(configuration);
    const auto& video = configuration.videoInputs;
    const auto& audio = configuration.audioInputs;
    const auto sdiCount = static_cast<size_t>(std::count(video.begin(), video.end(), board::VideoInputKind::Sdi));
    const size_t testCount = video.size() - sdiCount;

    std::string lines = Dword("VideoInputs", "Count", static_cast<uint32_t>(video.size()), newline);
    size_t sdiSeen = 0, testSeen = 0;
    for (size_t i = 0; i < video.size(); ++i) {
        const std::string key = "VideoInputs\\Input" + std::to_string(i + 1);
        const bool sdi = video[i] == board::VideoInputKind::Sdi;
        std::string name = sdi ? "SDI Input" : "Test Signal";
        const size_t ordinal = sdi ? ++sdiSeen : ++testSeen;
        if ((sdi ? sdiCount : testCount) > 1) {
            name += ' ';
            name += std::to_string(ordinal);
        }
        lines += Text(key, "InputName", name, newline);
        lines += Dword(key, "InputType", sdi ? kVideoTypeLive : kVideoTypeTest, newline);
        lines += Dword(key, "InputIOIndex", sdi ? static_cast<uint32_t>(i) : kTestSignalIoIndex, newline);
    }

    lines += Dword("AudioInputs", "Count", static_cast<uint32_t>(audio.size()), newline);
    size_t handedOut[std::size(kCardKinds)] = {};
    for (size_t i = 0; i < audio.size(); ++i) {
        const std::string key = "AudioInputs\\Input" + std::to_string(i + 1);
        if (audio[i] == kAudioTypeSdi) {
            lines += Text(key, "InputName", AudioTypeIdentifier(static_cast<uint32_t>(i)), newline);
            continue;
        }
        const CardKind* kind = FindCardKind(audio[i]);
        const size_t k = static_cast<size_t>(kind - kCardKinds);
        lines += Text(key, "InputName", AudioTypeIdentifier(kind->firstIdentifier + static_cast<uint32_t>(handedOut[k]++)),
                      newline);
        lines += Dword(key, "InputType", audio[i], newline);
    }
    return lines;
}

std::string BoardPackageText(const std::string& package, const board::BoardConfiguration& configuration)
{
    const std::vector<std::string_view> lines = Lines(package);
    std::optional<size_t> header;
    size_t end = lines.size(); // the next section's header, or the end
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto name = SectionName(lines[i]);
        if (!name)
            continue;
        if (SameName(*name, kInputsSection)) {
            if (header)
                throw std::runtime_error("the driver package lists [" + std::string(kInputsSection) + "] twice");
            header = i;
        } else if (header && end == lines.size()) {
            end = i;
        }
    }
    if (!header)
        throw std::runtime_error("the driver package has no [" + std::string(kInputsSection) + "] section");

    const std::string_view headerLine = lines[*header];
    const bool crlf = headerLine.size() >= 2 && headerLine.substr(headerLine.size() - 2) == "\r\n";
    const std::string newline = crlf ? "\r\n" : "\n";
    const std::string entries = InputsSectionLines(configuration, newline);

    // The section's entries run from its first line setup reads to its last; the comments and blank
    // lines before and after them stay (the next section's comment among them).
    size_t first = *header + 1;
    while (first < end && Quiet(lines[first]))
        ++first;
    size_t last = end;
    while (last > first && Quiet(lines[last - 1]))
        --last;

    std::string made;
    made.reserve(package.size() + entries.size());
    for (size_t i = 0; i < first; ++i)
        made += lines[i];
    // A header on the text's last line, without a line end, gets one before the entries.
    if (first == lines.size() && !made.empty() && made.back() != '\n')
        made += newline;
    made += entries;
    for (size_t i = last; i < lines.size(); ++i)
        made += lines[i];
    return made;
}

} // namespace toolboot
