// The message boxes' controls for tests: the answers a test scripts, which each box's loop presses
// as a user's click on the button, and the record of every call. Stand-in facilities, not Windows
// functions.
#pragma once
#include "um/windows.h"

#include <optional>
#include <string>
#include <vector>

namespace standin {

// Answers for the next message boxes of any thread, in order (IDOK, IDYES, ...). A box with no
// answer left reports a breach "unscripted-dialog" and takes its default button; an answer that
// is none of the box's buttons reports "message-box-answer" and takes the default as well.
void ScriptMessageBoxAnswers(const std::vector<int>& answers);

// One MessageBox call: its owner, text, caption (as shown: "Error" for NULL), type and answer.
struct MessageBoxRecord {
    HWND owner;
    std::u16string text;
    std::u16string caption;
    UINT type;
    int answer;
};
// The calls since the last take, oldest first, and the list cleared.
std::vector<MessageBoxRecord> TakeMessageBoxRecords();
// Forgets the script and the records.
void ResetMessageBoxes();

// The user's choices in the next open-file dialogs of any thread, in order: a path, or nullopt for
// Cancel. A path the dialog refuses (OFN_FILEMUSTEXIST, OFN_PATHMUSTEXIST) takes the next choice in
// the same dialog. A dialog with no choice left reports a breach "unscripted-dialog" and cancels.
void ScriptOpenFileAnswers(const std::vector<std::optional<std::string>>& answers);

// One GetOpenFileName call as the dialog was asked: owner, filter (its pairs joined by '|'),
// initial directory, title, default extension and flags, and the path returned ("" for Cancel).
struct FileDialogRecord {
    HWND owner;
    std::string filter;
    std::string initialDir;
    std::string title;
    std::string defaultExtension;
    DWORD flags;
    std::string path;
};
std::vector<FileDialogRecord> TakeFileDialogRecords();
void ResetFileDialogs();

// The user's choices in the next font dialogs of any thread, in order: each field left empty keeps
// what the dialog shows at first (the caller's LOGFONT with CF_INITTOLOGFONTSTRUCT, else "Arial",
// regular, 8 points); nullopt for Cancel. A face or size the dialog does not offer (CF_TTONLY drops
// the raster face "MS Sans Serif", CF_FIXEDPITCHONLY keeps "Courier New" and "Liberation Mono",
// CF_LIMITSIZE bounds the size) takes the next choice in the same dialog. A dialog with no choice
// left reports a breach "unscripted-dialog" and cancels.
struct FontChoice {
    std::optional<std::string> face;
    std::optional<LONG> weight;
    std::optional<bool> italic;
    std::optional<int> pointSize; // tenths of a point
};
void ScriptFontAnswers(const std::vector<std::optional<FontChoice>>& answers);

// One ChooseFont call: owner, flags, and what it returned (face "" on Cancel).
struct FontDialogRecord {
    HWND owner;
    DWORD flags;
    std::string face;
    LONG weight;
    bool italic;
    int pointSize;
    bool chosen;
};
std::vector<FontDialogRecord> TakeFontDialogRecords();
void ResetFontDialogs();

} // namespace standin
