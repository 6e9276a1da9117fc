// ".reg" export: key lines, value lines in their four forms, and the wrapping of hex data.
#include "RegFileWriter.h"

#include "RegFileFormat.h"
#include "RegistryTree.h"
#include "Utf8Conversion.h"
#include "standin/registry.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

namespace standin::registry {

namespace {

// A hex line is broken after the byte that takes it to this many characters.
constexpr size_t kHexLineBreak = 76;

// The UTF-8 of a name or string for a quoted text, false when it holds a line break or an unpaired
// surrogate.
bool QuotableText(std::u16string_view text, std::string* utf8)
{
    for (char16_t c : text) {
        if (IsLineBreak(c))
            return false;
    }
    return Utf16ToUtf8(text, utf8);
}

std::string Escaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

// The text of a REG_SZ that a quoted string reproduces exactly: whole characters, one terminating
// zero at the end and none before it.
bool StringForm(const std::vector<UCHAR>& data, std::string* utf8)
{
    if (data.size() < 2 || data.size() % 2)
        return false;
    std::u16string text(data.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    if (text.back() != u'\0')
        return false;
    text.pop_back();
    if (text.find(u'\0') != text.npos)
        return false;
    return QuotableText(text, utf8);
}

void AppendHex(const std::vector<UCHAR>& data, std::string* line)
{
    static const char kDigits[] = "0123456789abcdef";
    size_t lineStart = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        line->push_back(kDigits[data[i] >> 4]);
        line->push_back(kDigits[data[i] & 0xF]);
        if (i + 1 == data.size())
            break;
        line->push_back(',');
        if (line->size() - lineStart >= kHexLineBreak) {
            line->append("\\\n  ");
            lineStart = line->size() - 2;
        }
    }
}

} // namespace

bool RegFileWriter::Fail(std::string message)
{
    if (error_) {
        error_->line = 0;
        error_->message = std::move(message);
    }
    return false;
}

bool RegFileWriter::WriteValue(const RegistryValue& value, const std::string& keyPath, std::string* out)
{
    std::string line;
    if (value.name.empty()) {
        line = "@=";
    } else {
        std::string name;
        if (!QuotableText(value.name, &name))
            return Fail("a value name in [" + keyPath + "] holds a line break or an unpaired surrogate");
        line = "\"" + Escaped(name) + "\"=";
    }
    std::string text;
    if (value.type == REG_SZ && StringForm(value.data, &text)) {
        line += "\"" + Escaped(text) + "\"";
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        char digits[16];
        const ULONG number =
            value.data[0] | value.data[1] << 8 | value.data[2] << 16 | ULONG(value.data[3]) << 24;
        std::snprintf(digits, sizeof digits, "dword:%08x", number);
        line += digits;
    } else {
        if (value.type == REG_BINARY) {
            line += "hex:";
        } else {
            char type[24];
            std::snprintf(type, sizeof type, "hex(%x):", value.type);
            line += type;
        }
        AppendHex(value.data, &line);
    }
    out->append(line);
    out->push_back('\n');
    return true;
}

bool RegFileWriter::WriteKey(const RegistryKeyNode& key, const std::string& path, std::string* out)
{
    out->append("[" + path + "]\n");
    for (const auto& value : key.Values()) {
        if (!WriteValue(value, path, out))
            return false;
    }
    out->push_back('\n');
    return true;
}

bool RegFileWriter::WriteTree(const RegistryKeyNode& key, bool isTreeRoot, std::string* out,
                              RegistryTextError* error)
{
    error_ = error;
    // Depth first without recursion: trees may be thousands of keys deep.
    std::vector<std::pair<const RegistryKeyNode*, std::string>> pending;
    if (isTreeRoot) {
        for (auto it = std::rbegin(kRegFileRoots); it != std::rend(kRegFileRoots); ++it) {
            if (auto root = key.FindSubKey(it->keyName))
                pending.emplace_back(root.get(), std::string(it->fileName));
        }
    } else {
        // The path below the root key, which the writer names the .reg way.
        std::vector<const RegistryKeyNode*> chain;
        for (const RegistryKeyNode* k = &key; k->Parent() && k->Parent()->Parent(); k = k->Parent())
            chain.push_back(k);
        const RegistryKeyNode* root = chain.empty() ? &key : chain.back()->Parent();
        std::string path;
        for (const auto& candidate : kRegFileRoots) {
            if (root->UpcasedName() == candidate.keyName)
                path = candidate.fileName;
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            std::string name;
            if (!QuotableText((*it)->Name(), &name))
                return Fail("a key name below " + path + " holds a line break or an unpaired surrogate");
            path += "\\" + name;
        }
        pending.emplace_back(&key, std::move(path));
    }
    while (!pending.empty()) {
        auto [node, path] = std::move(pending.back());
        pending.pop_back();
        if (node->IsVolatile())
            continue;
        if (!WriteKey(*node, path, out))
            return false;
        const auto& subKeys = node->SubKeys();
        for (auto it = subKeys.rbegin(); it != subKeys.rend(); ++it) {
            std::string name;
            if (!QuotableText((*it)->Name(), &name))
                return Fail("a key name below [" + path + "] holds a line break or an unpaired surrogate");
            pending.emplace_back(it->get(), path + "\\" + name);
        }
    }
    return true;
}

} // namespace standin::registry

namespace standin {

bool ExportRegistryText(std::u16string_view keyPath, std::string* text, RegistryTextError* error)
{
    auto& tree = registry::RegistryTree::Instance();
    std::shared_lock<std::shared_mutex> hold(tree.Lock());
    registry::KeyNodePtr key =
        keyPath.empty() ? tree.RootLocked().shared_from_this() : tree.FindLocked(keyPath);
    if (!key) {
        if (error) {
            error->line = 0;
            error->message = "no key " + Utf16ToUtf8Lossy(keyPath);
        }
        return false;
    }
    std::string out = std::string(registry::kRegFileHeader) + "\n\n";
    registry::RegFileWriter writer;
    if (!writer.WriteTree(*key, key.get() == &tree.RootLocked(), &out, error))
        return false;
    *text = std::move(out);
    return true;
}

bool ExportRegistryFile(const std::filesystem::path& file, std::u16string_view keyPath,
                        RegistryTextError* error)
{
    std::string text;
    if (!ExportRegistryText(keyPath, &text, error))
        return false;
    auto fail = [&](const std::string& what) {
        if (error) {
            error->line = 0;
            error->message = what;
        }
        return false;
    };
    std::filesystem::path temporary = file;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return fail("cannot write " + temporary.string());
        }
    }
    std::error_code failure;
    std::filesystem::rename(temporary, file, failure);
    if (failure) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return fail("cannot replace " + file.string() + ": " + failure.message());
    }
    return true;
}

} // namespace standin
