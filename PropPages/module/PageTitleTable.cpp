// The title lists: the two shared titles are constants, the fifteen own titles come from the
// module's string table.
#include "module/PageTitleTable.h"

#include "resources/resource.h"

std::array<const char*, kSharedPageTitleCount> SharedPageTitles{};
std::array<std::string, kOwnPageTitleCount> OwnPageTitles{};

const std::array<UINT, kOwnPageTitleCount> OwnPageTitleIds{
    IDS_TITLE_DEVICE,         IDS_TITLE_VIDEO_DECODER,      IDS_TITLE_TRACE,
    IDS_TITLE_CLOSED_CAPTION, IDS_TITLE_VIDEO_PROC_AMP,     IDS_TITLE_DEINTERLACE,
    IDS_TITLE_CROPPING,       IDS_TITLE_WATERMARK,          IDS_TITLE_LOSS_OF_SIGNAL,
    IDS_TITLE_INPUT_DETECT,   IDS_TITLE_DIAGNOSTICS,        IDS_TITLE_CROSSBAR,
    IDS_TITLE_PERFORMANCE,    IDS_TITLE_AUDIO_CONFIGURATOR, IDS_TITLE_AUDIO_INPUT_MIXER,
};

namespace {

// Longer than any title of the string table.
constexpr int kTitleBytes = 256;

} // namespace

void PageTitleTable(HINSTANCE module)
{
    ClearPageTitleTable();
    SharedPageTitles = {"Video Proc Amp", "Video Decoder"};
    for (size_t i = 0; i < kOwnPageTitleCount; ++i) {
        char title[kTitleBytes] = {};
        const int length = LoadStringA(module, OwnPageTitleIds[i], title, kTitleBytes);
        OwnPageTitles[i].assign(title, length > 0 ? static_cast<size_t>(length) : 0);
    }
}

void ClearPageTitleTable()
{
    SharedPageTitles = {};
    for (std::string& title : OwnPageTitles)
        title.clear();
}
