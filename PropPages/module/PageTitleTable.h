// The two lists of page titles that the page base reads when it tidies a property sheet:
// SharedPageTitles, the titles of pages that other libraries show for the same filters too, and
// OwnPageTitles, the titles of this library's fifteen pages from the string table. Written once at
// process attach (PageTitleTable), read afterwards from any page's window thread without a lock.
#pragma once
#include "um/windows.h"

#include <array>
#include <cstddef>
#include <string>

inline constexpr size_t kSharedPageTitleCount = 2;
inline constexpr size_t kOwnPageTitleCount = 15;

// "Video Proc Amp" and "Video Decoder".
extern std::array<const char*, kSharedPageTitleCount> SharedPageTitles;
// The own pages' titles in ANSI, in the order of OwnPageTitleIds; a title whose string is missing
// stays empty.
extern std::array<std::string, kOwnPageTitleCount> OwnPageTitles;
extern const std::array<UINT, kOwnPageTitleCount> OwnPageTitleIds;

// Builds both lists from `module`'s string table (language 1033).
void PageTitleTable(HINSTANCE module);
// Empties both lists (process detach).
void ClearPageTitleTable();
