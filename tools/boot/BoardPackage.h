// The driver package the boot installs for a board of a given configuration: the system's package
// (the system's machine template's C:\Windows\INF\oem0.inf) with its [Talvexon.Inputs] section made
// from the configuration's video and audio inputs, every other byte kept, as a product's own package
// describes the board it ships with. Setup applies it at the board's first installation, so the
// driver reads the same inputs the board model carries.
//
// Video input n (from 1) of the configuration, at the board's input n - 1:
//   an SDI input: "InputType" 0, "InputIOIndex" n - 1 (the board's number of that input; the DSP
//   captures and reports input 0);
//   a test connector: "InputType" 2, "InputIOIndex" 2 (the driver's own test picture).
//   Named "SDI Input" / "Test Signal" when the board has one input of that kind, else "SDI Input 1",
//   "SDI Input 2", ... and "Test Signal 1", ... in the order of the configuration.
// Audio input n (from 1), "InputName" the braced identifier of an audio input type
// ({5D61FBnn-23EF-4D82-AD98-AD61EEAED7F5}):
//   type 10 (SDI embedded audio): identifier n - 1 ("SDI Audio n"), "InputType" left to the driver's
//   default (10);
//   types 11 (AES), 12 (S/PDIF), 14 (unbalanced), 13 (balanced): the kind's four identifiers
//   (8, 12, 16, 20 on) in turn, and "InputType" written.
// The default board's inputs give the system's package byte for byte.
#pragma once
#include "board/BoardConfiguration.h"

#include <filesystem>
#include <string>

namespace toolboot {

// Where setup finds the package ("InfPath" of the driver's service).
inline constexpr char16_t kInstalledPackageFile[] = u"C:\\Windows\\INF\\oem0.inf";
inline constexpr size_t kMaximumVideoInputs = 16; // what the driver reads of "VideoInputs"
inline constexpr size_t kMaximumAudioInputs = 8;  // of "AudioInputs"

// The system's package in its machine template.
std::filesystem::path SystemDriverPackage();

// Whether the configuration's video and audio inputs are the default board's.
bool HasDefaultInputs(const board::BoardConfiguration& configuration);

// Throws std::invalid_argument, saying which input and why, for a configuration the package cannot
// describe: no video input or no audio input, more than the driver reads, a video input of another
// kind than the two above, an audio input of another type than 10 to 14, or more than four audio
// inputs of one of the types 11 to 14.
void CheckBoardInputs(const board::BoardConfiguration& configuration);

// The lines of the [Talvexon.Inputs] section for the configuration, each ended by `newline`
// (CheckBoardInputs' refusals first).
std::string InputsSectionLines(const board::BoardConfiguration& configuration, const std::string& newline = "\n");

// `package` (a package's text) with the entries of its [Talvexon.Inputs] section replaced by the
// configuration's: the section's header, the comments and blank lines around its entries and every
// other section stay byte for byte; the lines end as the header's line does. Throws
// std::invalid_argument for a refused configuration, std::runtime_error when the text has no such
// section, or has it twice.
std::string BoardPackageText(const std::string& package, const board::BoardConfiguration& configuration);

} // namespace toolboot
