// ".reg" import: decoding (UTF-8 with or without a mark, UTF-16LE with its mark), the header, key
// lines, value lines with their continuations, and the atomic apply. Every fault is reported with
// the number of the line it is on and leaves the registry as it was.
#include "RegFileReader.h"

#include "RegFileFormat.h"
#include "RegistryPath.h"
#include "Utf8Conversion.h"
#include "standin/registry.h"

#include <algorithm>
#include <fstream>
#include <mutex>

namespace standin::registry {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr size_t kMaxFileBytes = size_t(256) << 20;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

std::string_view TrimRight(std::string_view text)
{
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = Lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// 1 to 8 hex digits and nothing else.
bool ParseHex32(std::string_view text, ULONG* value)
{
    if (text.empty() || text.size() > 8)
        return false;
    *value = 0;
    for (char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0)
            return false;
        *value = *value << 4 | static_cast<ULONG>(digit);
    }
    return true;
}

std::string Quote(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

} // namespace

bool RegFileReader::Fail(size_t line, std::string message)
{
    if (error_) {
        error_->line = line;
        error_->message = std::move(message);
    }
    return false;
}

bool RegFileReader::Fail(std::string message)
{
    return Fail(current_ + 1, std::move(message));
}

bool RegFileReader::Decode(std::string_view bytes)
{
    if (bytes.size() > kMaxFileBytes)
        return Fail(0, "the text is larger than " + std::to_string(kMaxFileBytes) + " bytes");
    if (bytes.substr(0, kUtf16LeMark.size()) == kUtf16LeMark) {
        bytes.remove_prefix(kUtf16LeMark.size());
        if (bytes.size() % 2)
            return Fail(0, "UTF-16 text with an odd number of bytes");
        std::u16string wide(bytes.size() / 2, u'\0');
        for (size_t i = 0; i < wide.size(); ++i)
            wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                            static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
        if (!Utf16ToUtf8(wide, &text_)) {
            const size_t line = std::count(text_.begin(), text_.end(), '\n') + 1;
            return Fail(line, "an unpaired surrogate in UTF-16 text");
        }
    } else {
        if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark)
            bytes.remove_prefix(kUtf8Mark.size());
        std::u16string ignored;
        size_t bad = 0;
        if (!Utf8ToUtf16(bytes, &ignored, &bad))
            return Fail(std::count(bytes.begin(), bytes.begin() + bad, '\n') + 1, "text that is not UTF-8");
        text_ = bytes;
    }
    std::string_view rest = text_;
    while (true) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines_.push_back(line);
        if (end == rest.npos)
            break;
        rest.remove_prefix(end + 1);
        if (rest.empty())
            break; // the line end of the last line starts no line of its own
    }
    return true;
}

bool RegFileReader::Parse(std::string_view bytes, RegistryTextError* error)
{
    error_ = error;
    text_.clear();
    lines_.clear();
    operations_.clear();
    inKey_ = false;
    current_ = 0;
    if (!Decode(bytes))
        return false;
    if (TrimRight(lines_[0]) != kRegFileHeader)
        return Fail(1, "the first line must be " + Quote(kRegFileHeader));
    for (current_ = 1; current_ < lines_.size(); ++current_) {
        const std::string_view text = TrimRight(TrimLeft(lines_[current_]));
        if (text.empty() || text.front() == ';')
            continue;
        bool parsed;
        if (text.front() == '[')
            parsed = ParseKeyLine(text);
        else if (text.front() == '"' || text.front() == '@')
            parsed = ParseValueLine(text);
        else
            parsed = Fail("a line must be a key in brackets, a value, a comment or empty");
        if (!parsed)
            return false;
    }
    return true;
}

bool RegFileReader::ParseKeyLine(std::string_view text)
{
    const size_t close = text.rfind(']');
    if (close == text.npos)
        return Fail("a key line must end with ']'");
    if (close + 1 != text.size())
        return Fail("unexpected text after the key's ']'");
    std::string_view path = text.substr(1, close - 1);
    RegTextOperation operation;
    operation.line = current_ + 1;
    operation.kind = RegTextOperation::Kind::kOpenKey;
    if (!path.empty() && path.front() == '-') {
        operation.kind = RegTextOperation::Kind::kDeleteKey;
        path.remove_prefix(1);
    }
    const std::string_view rootName = path.substr(0, path.find('\\'));
    const RegFileRoot* root = nullptr;
    for (const auto& candidate : kRegFileRoots) {
        if (EqualsIgnoringCase(rootName, candidate.fileName))
            root = &candidate;
    }
    if (!root)
        return Fail("unknown root key " + Quote(rootName) + " (HKEY_LOCAL_MACHINE and HKEY_USERS are known)");
    operation.keyNames.emplace_back(root->keyName);
    size_t pathChars = std::u16string_view(u"\\REGISTRY\\").size() + root->keyName.size();
    path.remove_prefix(rootName.size());
    while (!path.empty()) {
        path.remove_prefix(1); // the backslash
        const std::string_view name = path.substr(0, path.find('\\'));
        path.remove_prefix(name.size());
        std::u16string wide;
        Utf8ToUtf16(name, &wide); // the whole text is known to be UTF-8
        if (wide.empty())
            return Fail("an empty key name in the path");
        // A carriage return that does not end the line: the export could never write the name.
        if (wide.find(u'\r') != wide.npos)
            return Fail("a key name with a line break");
        if (wide.size() > kMaxKeyNameChars)
            return Fail("a key name longer than " + std::to_string(kMaxKeyNameChars) + " characters");
        pathChars += 1 + wide.size();
        operation.keyNames.push_back(std::move(wide));
    }
    if (pathChars > kMaxPathChars)
        return Fail("a key path longer than " + std::to_string(kMaxPathChars) + " characters");
    if (operation.kind == RegTextOperation::Kind::kDeleteKey && operation.keyNames.size() == 1)
        return Fail("a root key cannot be deleted");
    inKey_ = operation.kind == RegTextOperation::Kind::kOpenKey;
    operations_.push_back(std::move(operation));
    return true;
}

bool RegFileReader::ParseQuoted(std::string_view text, size_t* position, std::u16string* out)
{
    std::string utf8;
    for (size_t i = *position + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            *position = i + 1;
            Utf8ToUtf16(utf8, out);
            return true;
        }
        if (c == '\\') {
            if (i + 1 == text.size() || (text[i + 1] != '\\' && text[i + 1] != '"'))
                return Fail("an unknown escape in a quoted text (only \\\\ and \\\" are known)");
            ++i;
        }
        utf8.push_back(text[i]);
    }
    return Fail("a quoted text without its closing quote");
}

bool RegFileReader::ParseHexBytes(std::string_view text, std::vector<UCHAR>* out)
{
    out->clear();
    text = TrimRight(TrimLeft(text));
    if (text.empty())
        return true;
    while (true) {
        const size_t comma = text.find(',');
        const std::string_view item = TrimRight(TrimLeft(text.substr(0, comma)));
        ULONG value = 0;
        if (item.size() > 2 || !ParseHex32(item, &value))
            return Fail("hex data must be bytes of one or two hex digits separated by commas");
        out->push_back(static_cast<UCHAR>(value));
        if (out->size() > kRegistryMaxValueDataBytes)
            return Fail("value data larger than " + std::to_string(kRegistryMaxValueDataBytes) + " bytes");
        if (comma == text.npos)
            return true;
        text.remove_prefix(comma + 1);
    }
}

bool RegFileReader::ParseValueLine(std::string_view text)
{
    if (!inKey_)
        return Fail("a value line needs a key line before it");
    RegTextOperation operation;
    operation.line = current_ + 1;
    operation.kind = RegTextOperation::Kind::kSetValue;
    size_t position = 1; // past the '@' of the default value
    if (text.front() == '"') {
        position = 0;
        if (!ParseQuoted(text, &position, &operation.valueName))
            return false;
    }
    if (operation.valueName.find(u'\r') != operation.valueName.npos)
        return Fail("a value name with a line break");
    if (operation.valueName.size() > kMaxValueNameChars)
        return Fail("a value name longer than " + std::to_string(kMaxValueNameChars) + " characters");
    std::string_view data = TrimLeft(text.substr(position));
    if (data.empty() || data.front() != '=')
        return Fail("'=' must follow the value name");
    data = TrimLeft(data.substr(1));

    if (data == "-") {
        operation.kind = RegTextOperation::Kind::kDeleteValue;
    } else if (!data.empty() && data.front() == '"') {
        size_t end = 0;
        std::u16string string;
        if (!ParseQuoted(data, &end, &string))
            return false;
        if (end != data.size())
            return Fail("unexpected text after the quoted string");
        string.push_back(u'\0');
        operation.type = REG_SZ;
        const auto* bytes = reinterpret_cast<const UCHAR*>(string.data());
        operation.data.assign(bytes, bytes + string.size() * sizeof(char16_t));
    } else if (StartsWithIgnoringCase(data, "dword:")) {
        ULONG value = 0;
        if (!ParseHex32(data.substr(6), &value))
            return Fail("dword: must be followed by one to eight hex digits");
        operation.type = REG_DWORD;
        for (int shift = 0; shift < 32; shift += 8)
            operation.data.push_back(static_cast<UCHAR>(value >> shift));
    } else if (StartsWithIgnoringCase(data, "hex")) {
        data.remove_prefix(3);
        operation.type = REG_BINARY;
        if (!data.empty() && data.front() == '(') {
            const size_t close = data.find(')');
            if (close == data.npos || !ParseHex32(data.substr(1, close - 1), &operation.type))
                return Fail("hex( must be followed by a type of one to eight hex digits and ')'");
            data.remove_prefix(close + 1);
        }
        if (data.empty() || data.front() != ':')
            return Fail("':' must follow hex or hex(type)");
        data.remove_prefix(1);
        // A line ending in a backslash continues on the next one.
        std::string joined(data);
        const size_t first = current_;
        while (!joined.empty() && joined.back() == '\\') {
            joined.pop_back();
            if (++current_ == lines_.size()) {
                current_ = first;
                return Fail("the value's hex data continues past the end of the text");
            }
            joined += TrimRight(TrimLeft(lines_[current_]));
        }
        const size_t last = current_;
        current_ = first;
        if (!ParseHexBytes(joined, &operation.data))
            return false;
        current_ = last;
    } else {
        return Fail("value data must be -, a quoted string, dword: or hex");
    }
    operations_.push_back(std::move(operation));
    return true;
}

bool RegFileReader::Apply(RegistryTree& tree, RegistryTextError* error) const
{
    std::unique_lock<std::shared_mutex> hold(tree.Lock());
    // Only volatile keys may stand below a volatile key, and imported keys are not volatile.
    for (const auto& operation : operations_) {
        if (operation.kind != RegTextOperation::Kind::kOpenKey)
            continue;
        RegistryKeyNode* key = &tree.RootLocked();
        for (const auto& name : operation.keyNames) {
            RegistryKeyNode* next = key->FindSubKey(UpcaseName(name)).get();
            if (!next && key->IsVolatile()) {
                if (error) {
                    error->line = operation.line;
                    error->message =
                        "keys cannot be made below the volatile key " + Utf16ToUtf8Lossy(key->FullPath());
                }
                return false;
            }
            if (!next)
                break;
            key = next;
        }
    }
    const LONGLONG now = RegistryTree::Now();
    KeyNodePtr current;
    for (const auto& operation : operations_) {
        switch (operation.kind) {
        case RegTextOperation::Kind::kOpenKey:
            current = tree.CreatePathLocked(operation.keyNames, now);
            break;
        case RegTextOperation::Kind::kDeleteKey: {
            current = nullptr;
            KeyNodePtr key = tree.RootLocked().shared_from_this();
            for (const auto& name : operation.keyNames) {
                key = key->FindSubKey(UpcaseName(name));
                if (!key)
                    break;
            }
            if (key)
                tree.DeleteSubtreeLocked(key.get(), now);
            break;
        }
        case RegTextOperation::Kind::kSetValue:
            current->SetValue(operation.valueName, operation.type, operation.data.data(),
                              operation.data.size());
            current->Touch(now);
            break;
        case RegTextOperation::Kind::kDeleteValue:
            if (current->RemoveValue(UpcaseName(operation.valueName)))
                current->Touch(now);
            break;
        }
    }
    return true;
}

} // namespace standin::registry

namespace standin {

bool ImportRegistryText(std::string_view text, RegistryTextError* error)
{
    registry::RegFileReader reader;
    return reader.Parse(text, error) && reader.Apply(registry::RegistryTree::Instance(), error);
}

bool ImportRegistryFile(const std::filesystem::path& file, RegistryTextError* error)
{
    std::ifstream in(file, std::ios::binary);
    std::string bytes;
    if (in) {
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        in.seekg(0, std::ios::beg);
        if (size >= 0 && static_cast<uint64_t>(size) <= registry::kMaxFileBytes) {
            bytes.resize(static_cast<size_t>(size));
            in.read(bytes.data(), size);
        } else {
            in.setstate(std::ios::failbit);
        }
    }
    if (!in) {
        if (error) {
            error->line = 0;
            error->message = "cannot read " + file.string() + " (missing, unreadable or larger than " +
                             std::to_string(registry::kMaxFileBytes) + " bytes)";
        }
        return false;
    }
    return ImportRegistryText(bytes, error);
}

} // namespace standin
