// The main job's output folder: made when missing, then proven writable by creating and removing a
// file in it, before anything is captured.
#pragma once
#include <filesystem>
#include <string>

namespace capture {

// True when files can be created in `folder` (made first when it does not exist); otherwise false
// with the reason in *error ("<folder> is not a folder", "cannot create <folder>: ...", "cannot
// create a file in <folder>: ...").
bool CheckOutputFolder(const std::filesystem::path& folder, std::string* error);

} // namespace capture
