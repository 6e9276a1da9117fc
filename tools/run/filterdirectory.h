// FilterDirectory: the board's filters as a user-mode client finds them, by the friendly names
// the property pages build: the device configuration record (read from any of the board's capture
// filters) gives the name prefix and the board's device number; the video capture filter is
// "<prefix>Video Device <n>", the crossbar "<prefix>Crossbar Device <n>", and each per-input audio
// filter "<input name> (<prefix><n>)" with the input's name as that filter answers it.
#pragma once
#include "um/windows.h"

#include <cstdint>
#include <string>
#include <vector>

struct FilterInterface {
    std::u16string path;
    std::u16string friendlyName;
};

struct DeviceNames {
    std::u16string prefix; // ends in a blank
    uint32_t number = 0;
    std::u16string Video() const;
    std::u16string Crossbar() const;
    // The per-input audio filter of the input named `input`.
    std::u16string Audio(const std::u16string& input) const;
};

class FilterDirectory {
public:
    // Every present interface of the category, with its "FriendlyName" (empty when it has none).
    static std::vector<FilterInterface> List(const GUID& category);
    // A handle on the filter at `path` (INVALID_HANDLE_VALUE when it cannot be opened).
    static HANDLE Open(const std::u16string& path);
    // The path of the interface of the category with exactly that friendly name; empty when none.
    static std::u16string FindByName(const GUID& category, const std::u16string& name);
    // The prefix and device number from the filter's device configuration record; false when the
    // filter cannot be opened or the request fails.
    static bool ReadDeviceNames(const std::u16string& path, DeviceNames* names);
    // A per-input audio filter's own input: its index and name; false on failure.
    static bool ReadAudioInput(const std::u16string& path, uint32_t* index, std::u16string* name);
    // One property GET on an open filter: `record` (the driver's record, 24 bytes of identifier
    // first) goes out with the identifier written into it and comes back with the answer. False
    // when the request fails.
    static bool GetProperty(HANDLE filter, const GUID& set, uint32_t id, std::vector<uint8_t>* record);
};
