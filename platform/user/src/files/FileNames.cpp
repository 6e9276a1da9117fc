// Win32 file names made whole and turned into the object namespace's names, and the process's
// current directory.
#include "files/FileNames.h"

#include "standin/userprocess.h"

#include "km/file.h"
#include "um/fileapi.h"

#include <mutex>
#include <vector>

namespace {

std::mutex g_currentLock;
std::u16string g_current = u"C:\\";

bool IsLetter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

char16_t Upper(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// "X:" followed by a backslash or nothing.
bool StartsWithDrive(std::u16string_view s)
{
    return s.size() >= 2 && IsLetter(s[0]) && s[1] == u':' && (s.size() == 2 || s[2] == u'\\');
}

// "D:" and the steps of `rest`, made whole.
std::u16string Normalise(char16_t drive, std::u16string_view rest)
{
    std::vector<std::u16string_view> steps;
    bool trailing = false;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find(u'\\', start);
        if (end == std::u16string_view::npos)
            end = rest.size();
        const std::u16string_view step = rest.substr(start, end - start);
        trailing = step.empty();
        if (step == u"..") {
            if (!steps.empty())
                steps.pop_back();
        } else if (!step.empty() && step != u".") {
            steps.push_back(step);
        }
        start = end + 1;
    }
    std::u16string whole{Upper(drive), u':'};
    for (const auto step : steps) {
        whole += u'\\';
        whole += step;
    }
    if (steps.empty() || trailing)
        whole += u'\\';
    return whole;
}

} // namespace

namespace user {

ResolvedName ResolveWin32Name(std::u16string_view name)
{
    ResolvedName result;
    if (name.empty())
        return result;
    // The verbatim form: no step is taken and '/' is an ordinary character.
    if (name.starts_with(u"\\\\?\\") || name.starts_with(u"\\??\\") || name.starts_with(u"\\\\.\\")) {
        const std::u16string_view rest = name.substr(4);
        result.kind = StartsWithDrive(rest) ? ResolvedName::File : ResolvedName::Device;
        result.ntName = u"\\??\\" + std::u16string(rest);
        return result;
    }
    std::u16string s(name);
    for (auto& c : s)
        if (c == u'/')
            c = u'\\';
    if (s.starts_with(u"\\\\")) {
        result.kind = ResolvedName::Network;
        return result;
    }
    const std::u16string current = CurrentDirectory();
    std::u16string whole;
    if (s.size() >= 2 && IsLetter(s[0]) && s[1] == u':') {
        const std::u16string_view rest = std::u16string_view(s).substr(2);
        if (rest.starts_with(u"\\"))
            whole = Normalise(s[0], rest);
        else if (Upper(s[0]) == Upper(current[0]))
            whole = Normalise(s[0], current.substr(2) + u"\\" + std::u16string(rest));
        else
            whole = Normalise(s[0], u"\\" + std::u16string(rest));
    } else if (s.starts_with(u"\\")) {
        whole = Normalise(current[0], s);
    } else {
        whole = Normalise(current[0], current.substr(2) + u"\\" + s);
    }
    result.kind = ResolvedName::File;
    result.ntName = u"\\??\\" + whole;
    return result;
}

std::u16string CurrentDirectory()
{
    std::lock_guard<std::mutex> hold(g_currentLock);
    return g_current;
}

void SetCurrentDirectoryName(std::u16string_view fullName)
{
    std::u16string name(fullName);
    if (name.size() > 3 && name.ends_with(u'\\'))
        name.pop_back();
    std::lock_guard<std::mutex> hold(g_currentLock);
    g_current = name;
}

bool NtDispositionOf(DWORD creationDisposition, ULONG* disposition)
{
    switch (creationDisposition) {
    case CREATE_NEW:
        *disposition = FILE_CREATE;
        return true;
    case CREATE_ALWAYS:
        *disposition = FILE_OVERWRITE_IF;
        return true;
    case OPEN_EXISTING:
        *disposition = FILE_OPEN;
        return true;
    case OPEN_ALWAYS:
        *disposition = FILE_OPEN_IF;
        return true;
    case TRUNCATE_EXISTING:
        *disposition = FILE_OVERWRITE;
        return true;
    default:
        return false;
    }
}

} // namespace user

namespace standin {

void ResetCurrentDirectory()
{
    user::SetCurrentDirectoryName(u"C:\\");
}

} // namespace standin
