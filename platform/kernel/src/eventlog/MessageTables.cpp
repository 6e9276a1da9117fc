// Registration and lookup of the message tables of event-log sources.
#include "MessageTables.h"

#include "standin/eventlog.h"
#include "standin/verifier.h"

namespace standin {

MessageTables& MessageTables::Instance()
{
    static MessageTables* tables = new MessageTables; // never destroyed: rendering may run at exit
    return *tables;
}

std::string MessageTables::Key(std::string_view source)
{
    std::string key(source);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

void MessageTables::Register(std::string_view source, const MessageTableEntry* entries, size_t count)
{
    if (!entries && count > 0) {
        VerifierReport("bad-argument",
                       "RegisterMessageTable for " + std::string(source) + " without entries");
        return;
    }
    std::unordered_map<ULONG, std::string> table;
    for (size_t i = 0; i < count; ++i)
        table[entries[i].id] = entries[i].text ? entries[i].text : "";
    std::lock_guard<std::mutex> hold(lock_);
    tables_[Key(source)] = std::move(table);
}

void MessageTables::Unregister(std::string_view source)
{
    std::lock_guard<std::mutex> hold(lock_);
    tables_.erase(Key(source));
}

std::optional<std::string> MessageTables::Find(std::string_view source, ULONG id) const
{
    std::lock_guard<std::mutex> hold(lock_);
    auto table = tables_.find(Key(source));
    if (table == tables_.end())
        return std::nullopt;
    auto message = table->second.find(id);
    if (message == table->second.end())
        return std::nullopt;
    return message->second;
}

void RegisterMessageTable(std::string_view source, const MessageTableEntry* entries, size_t count)
{
    MessageTables::Instance().Register(source, entries, count);
}

void UnregisterMessageTable(std::string_view source)
{
    MessageTables::Instance().Unregister(source);
}

} // namespace standin
