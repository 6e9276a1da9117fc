// The font dialog, answered from a test's script as a user would answer it: a face, a style and a
// size picked from what the dialog offers, or Cancel. The dialog offers the faces the font engine
// stands in for, every one an outline face but "MS Sans Serif", which is offered as a raster face.
#include "dialogs/CommonDialogError.h"
#include "gdi/FontEngine.h"
#include "standin/dialogs.h"
#include "standin/verifier.h"
#include "text/AnsiText.h"
#include "um/commdlg.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

namespace {

struct FontScript {
    std::mutex lock;
    std::deque<std::optional<standin::FontChoice>> answers;
    std::vector<standin::FontDialogRecord> records;
};
FontScript& TheFontScript()
{
    static FontScript script;
    return script;
}

struct OfferedFace {
    const char* name;
    bool outline;
    bool fixedPitch;
    BYTE family;
};
constexpr OfferedFace kFaces[] = {
    {"Arial", true, false, FF_SWISS},
    {"Courier New", true, true, FF_MODERN},
    {"Liberation Mono", true, true, FF_MODERN},
    {"Liberation Sans", true, false, FF_SWISS},
    {"Liberation Serif", true, false, FF_ROMAN},
    {"Microsoft Sans Serif", true, false, FF_SWISS},
    {"MS Sans Serif", false, false, FF_SWISS},
    {"Tahoma", true, false, FF_SWISS},
    {"Times New Roman", true, false, FF_ROMAN},
};

const OfferedFace* Offered(const std::string& name, DWORD flags)
{
    for (const OfferedFace& face : kFaces) {
        if (name.size() != std::strlen(face.name) ||
            !std::equal(name.begin(), name.end(), face.name,
                        [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b)); }))
            continue;
        if ((flags & CF_TTONLY) && !face.outline)
            return nullptr;
        if ((flags & CF_FIXEDPITCHONLY) && !face.fixedPitch)
            return nullptr;
        return &face;
    }
    return nullptr;
}

struct Shown {
    std::string face = "Arial";
    LONG weight = FW_NORMAL;
    bool italic = false;
    int pointSize = 80;
};

// What the dialog shows at first: the caller's LOGFONT when asked to start from it.
Shown InitialChoice(const LOGFONTW& initial, DWORD flags)
{
    Shown shown;
    if (!(flags & CF_INITTOLOGFONTSTRUCT))
        return shown;
    std::u16string face;
    for (size_t i = 0; i < LF_FACESIZE && initial.lfFaceName[i]; ++i)
        face.push_back(initial.lfFaceName[i]);
    if (!face.empty())
        shown.face = user::AnsiFromWide(face);
    shown.weight = initial.lfWeight ? initial.lfWeight : FW_NORMAL;
    shown.italic = initial.lfItalic != 0;
    if (initial.lfHeight < 0) {
        shown.pointSize = MulDiv(-initial.lfHeight, 720, 96);
    } else if (initial.lfHeight > 0) {
        if (auto font = user::ResolveFont(initial))
            shown.pointSize = MulDiv(font->em, 720, 96);
    }
    return shown;
}

// The user's choices until one is one the dialog offers; nothing for Cancel.
std::optional<Shown> Choose(const Shown& initial, DWORD flags, int sizeMin, int sizeMax)
{
    for (;;) {
        std::optional<standin::FontChoice> answer;
        {
            FontScript& script = TheFontScript();
            std::lock_guard<std::mutex> hold(script.lock);
            if (script.answers.empty()) {
                standin::VerifierReport("unscripted-dialog", "ChooseFont with no choice scripted");
                return std::nullopt;
            }
            answer = script.answers.front();
            script.answers.pop_front();
        }
        if (!answer)
            return std::nullopt;
        Shown chosen = initial;
        if (answer->face)
            chosen.face = *answer->face;
        if (answer->weight)
            chosen.weight = *answer->weight;
        if (answer->italic)
            chosen.italic = *answer->italic;
        if (answer->pointSize)
            chosen.pointSize = *answer->pointSize;
        const OfferedFace* face = Offered(chosen.face, flags);
        if (!face || chosen.pointSize <= 0 || chosen.weight <= 0 || chosen.weight > 1000)
            continue;
        // The size limits are whole points.
        if ((flags & CF_LIMITSIZE) && (chosen.pointSize < sizeMin * 10 || chosen.pointSize > sizeMax * 10))
            continue;
        chosen.face = face->name;
        return chosen;
    }
}

template <typename Record, typename LogFont> BOOL ChooseFontOf(Record* cf)
{
    user::t_commonDialogError = 0;
    if (!cf || cf->lStructSize != sizeof(Record)) {
        user::t_commonDialogError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    if (!cf->lpLogFont) {
        user::t_commonDialogError = CDERR_INITIALIZATION;
        return FALSE;
    }
    // This machine has no printer: its fonts are the screen's.
    if (!(cf->Flags & CF_SCREENFONTS)) {
        user::t_commonDialogError = CFERR_NOFONTS;
        return FALSE;
    }
    if ((cf->Flags & CF_LIMITSIZE) && cf->nSizeMax < cf->nSizeMin) {
        user::t_commonDialogError = CFERR_MAXLESSTHANMIN;
        return FALSE;
    }
    LOGFONTW initial{};
    if constexpr (std::is_same_v<LogFont, LOGFONTA>)
        initial = user::WideLogFont(*cf->lpLogFont);
    else
        initial = *cf->lpLogFont;
    const std::optional<Shown> chosen =
        Choose(InitialChoice(initial, cf->Flags), cf->Flags, cf->nSizeMin, cf->nSizeMax);
    standin::FontDialogRecord record{cf->hwndOwner, cf->Flags, "", 0, false, 0, false};
    if (chosen) {
        const OfferedFace* face = Offered(chosen->face, cf->Flags);
        LOGFONTW out{};
        out.lfHeight = -MulDiv(chosen->pointSize, 96, 720);
        out.lfWeight = chosen->weight;
        out.lfItalic = chosen->italic ? 1 : 0;
        // Effects are kept only where the dialog shows them.
        if ((cf->Flags & CF_EFFECTS) && (cf->Flags & CF_INITTOLOGFONTSTRUCT)) {
            out.lfUnderline = initial.lfUnderline;
            out.lfStrikeOut = initial.lfStrikeOut;
        }
        out.lfCharSet = ANSI_CHARSET;
        out.lfOutPrecision = 3; // stroke precision, as the dialog reports outline faces
        out.lfClipPrecision = 2;
        out.lfQuality = DRAFT_QUALITY;
        out.lfPitchAndFamily = static_cast<BYTE>(face->family | (face->fixedPitch ? FIXED_PITCH : VARIABLE_PITCH));
        const std::u16string name = user::WideFromAnsi(chosen->face);
        std::copy_n(name.begin(), std::min<size_t>(name.size(), LF_FACESIZE - 1), out.lfFaceName);
        if constexpr (std::is_same_v<LogFont, LOGFONTA>)
            *cf->lpLogFont = user::AnsiLogFont(out);
        else
            *cf->lpLogFont = out;
        cf->iPointSize = chosen->pointSize;
        cf->nFontType = static_cast<WORD>((chosen->weight >= FW_SEMIBOLD ? BOLD_FONTTYPE : REGULAR_FONTTYPE) |
                                          (chosen->italic ? ITALIC_FONTTYPE : 0) | SCREEN_FONTTYPE);
        record = standin::FontDialogRecord{cf->hwndOwner, cf->Flags, chosen->face, chosen->weight, chosen->italic,
                                           chosen->pointSize, true};
    }
    FontScript& script = TheFontScript();
    std::lock_guard<std::mutex> hold(script.lock);
    script.records.push_back(std::move(record));
    return chosen ? TRUE : FALSE;
}

} // namespace

extern "C" BOOL WINAPI ChooseFontA(LPCHOOSEFONTA lpcf)
{
    return ChooseFontOf<CHOOSEFONTA, LOGFONTA>(lpcf);
}

extern "C" BOOL WINAPI ChooseFontW(LPCHOOSEFONTW lpcf)
{
    return ChooseFontOf<CHOOSEFONTW, LOGFONTW>(lpcf);
}

namespace standin {

void ScriptFontAnswers(const std::vector<std::optional<FontChoice>>& answers)
{
    FontScript& script = TheFontScript();
    std::lock_guard<std::mutex> hold(script.lock);
    script.answers.insert(script.answers.end(), answers.begin(), answers.end());
}

std::vector<FontDialogRecord> TakeFontDialogRecords()
{
    FontScript& script = TheFontScript();
    std::lock_guard<std::mutex> hold(script.lock);
    std::vector<FontDialogRecord> taken;
    taken.swap(script.records);
    return taken;
}

void ResetFontDialogs()
{
    FontScript& script = TheFontScript();
    std::lock_guard<std::mutex> hold(script.lock);
    script.answers.clear();
    script.records.clear();
}

} // namespace standin
