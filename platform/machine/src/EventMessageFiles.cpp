// Reading event sources' message tables out of their driver files.
#include "EventMessageFiles.h"

#include "DriverImage.h"
#include "MachineKey.h"
#include "MachinePaths.h"
#include "Text.h"
#include "km/eventlog.h"
#include "platform/machine/DriverFileExports.h"
#include "standin/eventlog.h"

#include <set>

namespace platform {
namespace {

std::vector<std::u16string> SplitList(std::u16string_view text)
{
    std::vector<std::u16string> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(u';', start);
        if (end == std::u16string_view::npos)
            end = text.size();
        std::u16string_view item = text.substr(start, end - start);
        while (!item.empty() && item.front() == u' ')
            item.remove_prefix(1);
        while (!item.empty() && item.back() == u' ')
            item.remove_suffix(1);
        if (!item.empty())
            items.emplace_back(item);
        start = end + 1;
    }
    return items;
}

// Appends the messages of one file whose ids are not taken yet; the texts are copied, as the image
// is unmapped when this returns.
void ReadTable(const std::u16string& fileName, std::set<ULONG>& ids, std::vector<ULONG>& messageIds,
               std::vector<std::string>& texts)
{
    std::filesystem::path host;
    if (!NT_SUCCESS(HostFileOf(fileName, &host)))
        return;
    auto image = DriverImage::Open(host, nullptr);
    if (!image)
        return;
    const auto* entries = static_cast<const standin::MessageTableEntry*>(image->Symbol(kMessageTableSymbol));
    const auto* count = static_cast<const size_t*>(image->Symbol(kMessageTableCountSymbol));
    if (!entries || !count)
        return;
    for (size_t i = 0; i < *count; ++i) {
        if (!ids.insert(entries[i].id).second)
            continue;
        messageIds.push_back(entries[i].id);
        texts.emplace_back(entries[i].text ? entries[i].text : "");
    }
}

} // namespace

std::vector<RegisteredMessageTable> RegisterEventMessageFiles()
{
    std::vector<RegisteredMessageTable> registered;
    for (const auto& source : SubKeys(kEventLogSourcesKey)) {
        const std::u16string key = std::u16string(kEventLogSourcesKey) + u"\\" + source;
        const auto files = ReadStringValue(key, u"EventMessageFile");
        if (!files)
            continue;
        std::set<ULONG> ids;
        std::vector<ULONG> messageIds;
        std::vector<std::string> texts;
        for (const auto& file : SplitList(ExpandSystemRoot(*files)))
            ReadTable(file, ids, messageIds, texts);
        if (messageIds.empty())
            continue;
        std::vector<standin::MessageTableEntry> table;
        table.reserve(messageIds.size());
        for (size_t i = 0; i < messageIds.size(); ++i)
            table.push_back({messageIds[i], texts[i].c_str()});
        const std::string name = Utf8(source);
        standin::RegisterMessageTable(name, table.data(), table.size());
        registered.push_back({name, table.size()});
    }
    return registered;
}

} // namespace platform
