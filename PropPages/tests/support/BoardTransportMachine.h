// A machine with the driver file and one simulated board plugged (the host programs' boot), and the
// board's filters opened by category as a page's host would, for the tests of the property
// transport on the real driver.
#pragma once
#include <gtest/gtest.h>

#include "BoardMachine.h"

#include <filesystem>
#include <string>
#include <vector>

#include "um/windows.h"

class BoardTransportTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new handle on the board's first filter of `category` whose friendly name holds `word`
    // (INVALID_HANDLE_VALUE when there is none); closed at TearDown. Its name in *name.
    HANDLE OpenFilter(const GUID& category, const std::u16string& word, std::u16string* name = nullptr);

    toolboot::BoardMachine booted;
    std::filesystem::path folder;

private:
    std::vector<HANDLE> handles_;
};
