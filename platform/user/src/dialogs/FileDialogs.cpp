// The open-file dialog, answered from a test's script as a user would answer it: a path typed or
// picked, or Cancel. The flags the caller sets are checked against the machine's drives.
#include "dialogs/CommonDialogError.h"
#include "files/FileNames.h"
#include "files/FileOpen.h"
#include "km/file.h"
#include "km/status.h"
#include "standin/dialogs.h"
#include "standin/verifier.h"
#include "text/AnsiText.h"
#include "um/commdlg.h"
#include "um/winternl.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

namespace {

struct FileScript {
    std::mutex lock;
    std::deque<std::optional<std::string>> answers;
    std::vector<standin::FileDialogRecord> records;
};
FileScript& TheFileScript()
{
    static FileScript script;
    return script;
}

// Whether the name opens on the machine's drives as a file (or, `directory`, as a folder).
bool Exists(const std::u16string& name, bool directory)
{
    const user::ResolvedName resolved = user::ResolveWin32Name(name);
    if (resolved.kind != user::ResolvedName::File)
        return false;
    user::FileOpen open;
    open.access = SYNCHRONIZE | FILE_READ_ATTRIBUTES;
    open.shareAccess = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    open.disposition = FILE_OPEN;
    open.options = (directory ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE) | FILE_SYNCHRONOUS_IO_NONALERT;
    HANDLE handle = nullptr;
    ULONG_PTR information = 0;
    if (!NT_SUCCESS(user::OpenFile(resolved.ntName, open, &handle, &information)))
        return false;
    CloseHandle(handle);
    return true;
}

std::u16string FolderOf(const std::u16string& path)
{
    const size_t slash = path.find_last_of(u"\\/");
    if (slash == std::u16string::npos)
        return u".";
    if (slash == 2 && path.size() > 1 && path[1] == u':')
        return path.substr(0, 3);
    return path.substr(0, slash);
}

// Whether the dialog takes the path with these flags.
bool Accepts(const std::u16string& path, DWORD flags)
{
    if (path.empty())
        return false;
    if ((flags & OFN_PATHMUSTEXIST) && !Exists(FolderOf(path), true))
        return false;
    if ((flags & OFN_FILEMUSTEXIST) && !Exists(path, false))
        return false;
    return true;
}

// The filter's pairs, "name\0pattern\0...\0\0", joined by '|'.
template <typename Char> std::string FilterText(const Char* filter)
{
    std::string text;
    if (!filter)
        return text;
    for (const Char* part = filter; *part;) {
        std::basic_string<Char> piece(part);
        if (!text.empty())
            text += '|';
        if constexpr (sizeof(Char) == 1)
            text += piece;
        else
            text += user::AnsiFromWide(piece);
        part += piece.size() + 1;
    }
    return text;
}

template <typename Char> std::string Text(const Char* value)
{
    if (!value)
        return {};
    if constexpr (sizeof(Char) == 1)
        return value;
    else
        return user::AnsiFromWide(std::u16string_view(value));
}

// The dialog: the user's choices taken until one is accepted; nullopt for Cancel.
std::optional<std::u16string> Choose(DWORD flags)
{
    for (;;) {
        std::optional<std::string> answer;
        {
            FileScript& script = TheFileScript();
            std::lock_guard<std::mutex> hold(script.lock);
            if (script.answers.empty()) {
                standin::VerifierReport("unscripted-dialog", "GetOpenFileName with no choice scripted");
                return std::nullopt;
            }
            answer = script.answers.front();
            script.answers.pop_front();
        }
        if (!answer)
            return std::nullopt;
        const std::u16string path = user::WideFromAnsi(*answer);
        if (Accepts(path, flags))
            return path;
    }
}

template <typename Record, typename Char> BOOL Open(Record* ofn)
{
    user::t_commonDialogError = 0;
    if (!ofn || (ofn->lStructSize != sizeof(Record) && ofn->lStructSize != offsetof(Record, pvReserved))) {
        user::t_commonDialogError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    if (!ofn->lpstrFile || ofn->nMaxFile == 0) {
        user::t_commonDialogError = FNERR_INVALIDFILENAME;
        return FALSE;
    }
    standin::FileDialogRecord record{ofn->hwndOwner,       FilterText(ofn->lpstrFilter), Text(ofn->lpstrInitialDir),
                                     Text(ofn->lpstrTitle), Text(ofn->lpstrDefExt),     ofn->Flags,
                                     std::string()};
    const std::optional<std::u16string> chosen = Choose(ofn->Flags);
    BOOL result = FALSE;
    if (chosen) {
        std::basic_string<Char> out;
        if constexpr (sizeof(Char) == 1)
            out = user::AnsiFromWide(*chosen);
        else
            out = *chosen;
        if (out.size() + 1 > ofn->nMaxFile) {
            // The first two bytes tell the size the path needs.
            const WORD needed = static_cast<WORD>(std::min<size_t>(out.size() + 1, 0xFFFF));
            if (ofn->nMaxFile * sizeof(Char) >= sizeof needed)
                std::memcpy(ofn->lpstrFile, &needed, sizeof needed);
            user::t_commonDialogError = FNERR_BUFFERTOOSMALL;
        } else {
            std::copy(out.begin(), out.end(), ofn->lpstrFile);
            ofn->lpstrFile[out.size()] = 0;
            const size_t slash = chosen->find_last_of(u"\\/");
            const size_t nameAt = slash == std::u16string::npos ? 0 : slash + 1;
            const size_t dot = chosen->find_last_of(u'.');
            ofn->nFileOffset = static_cast<WORD>(nameAt);
            ofn->nFileExtension = static_cast<WORD>(dot == std::u16string::npos || dot < nameAt ? chosen->size() : dot + 1);
            if (ofn->lpstrFileTitle && ofn->nMaxFileTitle > 0) {
                const size_t n = std::min<size_t>(out.size() - nameAt, ofn->nMaxFileTitle - 1);
                std::copy_n(out.begin() + static_cast<std::ptrdiff_t>(nameAt), n, ofn->lpstrFileTitle);
                ofn->lpstrFileTitle[n] = 0;
            }
            if (!(ofn->Flags & OFN_NOCHANGEDIR) && Exists(FolderOf(*chosen), true))
                SetCurrentDirectoryW(reinterpret_cast<LPCWSTR>(FolderOf(*chosen).c_str()));
            record.path = user::AnsiFromWide(*chosen);
            result = TRUE;
        }
    }
    FileScript& script = TheFileScript();
    std::lock_guard<std::mutex> hold(script.lock);
    script.records.push_back(std::move(record));
    return result;
}

} // namespace

extern "C" BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA ofn)
{
    return Open<OPENFILENAMEA, char>(ofn);
}

extern "C" BOOL WINAPI GetOpenFileNameW(LPOPENFILENAMEW ofn)
{
    return Open<OPENFILENAMEW, char16_t>(ofn);
}

thread_local DWORD user::t_commonDialogError = 0;

extern "C" DWORD WINAPI CommDlgExtendedError()
{
    return user::t_commonDialogError;
}

namespace standin {

void ScriptOpenFileAnswers(const std::vector<std::optional<std::string>>& answers)
{
    FileScript& script = TheFileScript();
    std::lock_guard<std::mutex> hold(script.lock);
    script.answers.insert(script.answers.end(), answers.begin(), answers.end());
}

std::vector<FileDialogRecord> TakeFileDialogRecords()
{
    FileScript& script = TheFileScript();
    std::lock_guard<std::mutex> hold(script.lock);
    std::vector<FileDialogRecord> out;
    out.swap(script.records);
    return out;
}

void ResetFileDialogs()
{
    FileScript& script = TheFileScript();
    std::lock_guard<std::mutex> hold(script.lock);
    script.answers.clear();
    script.records.clear();
}

} // namespace standin
