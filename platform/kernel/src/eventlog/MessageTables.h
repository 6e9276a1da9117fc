// The message tables of event-log sources, by source name (case-insensitive).
#pragma once
#include "km/messagetable.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace standin {

class MessageTables {
public:
    static MessageTables& Instance();

    void Register(std::string_view source, const MessageTableEntry* entries, size_t count);
    void Unregister(std::string_view source);
    // The text of message `id` in the source's table; nothing when the source has no table or the
    // table has no such message.
    std::optional<std::string> Find(std::string_view source, ULONG id) const;

private:
    MessageTables() = default;
    static std::string Key(std::string_view source);

    mutable std::mutex lock_;
    std::map<std::string, std::unordered_map<ULONG, std::string>> tables_;
};

} // namespace standin
