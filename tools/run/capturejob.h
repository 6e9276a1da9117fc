// CaptureJob: the main job's capture from user mode once the board is up. It finds the video
// capture filter and input 0's audio filter by the names the property pages build, turns the
// caption overlay on for the preview pin (a glyph file of its own on drive C), and runs four pins,
// each read by its own PinReader threads: capture 640 x 480 RGB24, preview 320 x 240 RGB32, the
// closed-caption byte pairs and audio 48000 Hz, 16 bits, stereo. It prints a progress line each
// second until every pin covers the seconds asked: the capture and preview pictures, the caption
// pairs and the audio (or until twice that time plus ten seconds have passed), then writes capture.avi (the capture pin's pictures, a
// dropped picture repeating the one before so that the stream keeps its rate, interleaved with
// the audio by time) and contact.png into the output folder.
#pragma once
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace board {
class CaptureBoard;
}

namespace capture {

struct PinCount {
    std::string name;
    uint64_t delivered = 0; // buffers the reader received
    uint64_t dropped = 0;   // capture and audio: their filter's DROPPEDFRAMES; preview: gaps in picture numbers
};

struct CaptureResult {
    bool ok = false;
    std::string error;
    std::vector<PinCount> pins;
    std::string captionText;           // the printable characters of CC1, by presentation time
    std::vector<std::array<uint8_t, 2>> captionPairs;
    uint32_t aviFrames = 0;
    uint64_t repeatedPictures = 0; // pictures in the file standing in for dropped ones
    uint64_t aviAudioBytes = 0;
};

// The caption script the board carries on input 0's line 21 (NTSC field 1, CC1), as 7-bit pairs.
std::vector<std::array<uint8_t, 2>> CaptionScript(const std::string& text);
// The printable text of CC1 byte pairs (parity bits stripped; control pairs, nulls and pairs with
// a parity error skipped).
std::string CaptionText(const std::vector<std::array<uint8_t, 2>>& pairs);

// `machineRoot` is the machine's folder (its drive C receives the glyph file).
CaptureResult RunCapture(board::CaptureBoard& board, const std::filesystem::path& machineRoot, int seconds,
                         const std::filesystem::path& out);

} // namespace capture
