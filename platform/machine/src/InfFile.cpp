// Reading setup information files: physical lines joined, comments dropped, fields split and
// unquoted, then string tokens replaced once the [Strings] section is known.
#include "InfFile.h"

#include "Text.h"

#include <cstdint>

namespace platform {
namespace {

// A field as written: its pieces, each quoted or not, so that tokens are replaced outside quotes only.
struct RawPiece {
    bool quoted;
    std::u16string text;
};
using RawField = std::vector<RawPiece>;

struct RawLine {
    int number;
    bool hasKey = false;
    RawField key;
    std::vector<RawField> fields;
};

bool Decode(std::string_view bytes, std::u16string* text)
{
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE) {
        if (bytes.size() % 2 != 0)
            return false;
        for (size_t i = 2; i < bytes.size(); i += 2)
            text->push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                                  static_cast<uint8_t>(bytes[i + 1]) << 8));
        return true;
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    for (unsigned char c : bytes)
        if (c == 0)
            return false;
    *text = Utf16(bytes);
    return true;
}

bool IsSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r';
}

std::u16string Trim(std::u16string_view text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && IsSpace(text[begin]))
        ++begin;
    while (end > begin && IsSpace(text[end - 1]))
        --end;
    return std::u16string(text.substr(begin, end - begin));
}

// Trims the unquoted ends of a field.
void TrimField(RawField& field)
{
    while (!field.empty() && !field.front().quoted) {
        size_t i = 0;
        while (i < field.front().text.size() && IsSpace(field.front().text[i]))
            ++i;
        field.front().text.erase(0, i);
        if (!field.front().text.empty())
            break;
        field.erase(field.begin());
    }
    while (!field.empty() && !field.back().quoted) {
        auto& t = field.back().text;
        while (!t.empty() && IsSpace(t.back()))
            t.pop_back();
        if (!t.empty())
            break;
        field.pop_back();
    }
}

class Parser {
public:
    Parser(const std::string& name, std::string* error) : name_(name), error_(error) {}

    bool Fail(int line, const std::string& what)
    {
        *error_ = name_ + ", line " + std::to_string(line) + ": " + what;
        return false;
    }

    // Splits one logical line (comments already known to start outside quotes) into key and fields.
    bool SplitLine(std::u16string_view text, int number, RawLine* line)
    {
        line->number = number;
        RawField current;
        std::vector<RawField> fields;
        bool sawEquals = false;
        size_t i = 0;
        auto append = [&](bool quoted, char16_t c) {
            if (current.empty() || current.back().quoted != quoted)
                current.push_back({quoted, {}});
            current.back().text.push_back(c);
        };
        while (i < text.size()) {
            const char16_t c = text[i];
            if (c == u'"') {
                ++i;
                if (current.empty() || !current.back().quoted)
                    current.push_back({true, {}});
                bool closed = false;
                while (i < text.size()) {
                    if (text[i] == u'"') {
                        if (i + 1 < text.size() && text[i + 1] == u'"') {
                            current.back().text.push_back(u'"');
                            i += 2;
                            continue;
                        }
                        ++i;
                        closed = true;
                        break;
                    }
                    current.back().text.push_back(text[i++]);
                }
                if (!closed)
                    return Fail(number, "a quoted text does not end");
                continue;
            }
            if (c == u'=' && !sawEquals && fields.empty()) {
                TrimField(current);
                line->hasKey = true;
                line->key = current;
                current.clear();
                sawEquals = true;
                ++i;
                continue;
            }
            if (c == u',') {
                TrimField(current);
                fields.push_back(current);
                current.clear();
                ++i;
                continue;
            }
            append(false, c);
            ++i;
        }
        TrimField(current);
        fields.push_back(current);
        line->fields = std::move(fields);
        return true;
    }

    bool Read(const std::u16string& text, std::vector<std::pair<std::u16string, std::vector<RawLine>>>* sections)
    {
        int number = 0;
        size_t pos = 0;
        while (pos <= text.size()) {
            // One logical line: physical lines joined while one ends in a backslash outside quotes.
            std::u16string logical;
            const int first = number + 1;
            bool more = true;
            while (more && pos <= text.size()) {
                size_t end = text.find(u'\n', pos);
                if (end == std::u16string::npos)
                    end = text.size();
                std::u16string physical = text.substr(pos, end - pos);
                pos = end + 1;
                ++number;
                // Cut the comment: the first ';' outside quotes.
                bool quoted = false;
                for (size_t i = 0; i < physical.size(); ++i) {
                    if (physical[i] == u'"')
                        quoted = !quoted;
                    else if (physical[i] == u';' && !quoted) {
                        physical.resize(i);
                        break;
                    }
                }
                std::u16string trimmed = Trim(physical);
                more = !quoted && !trimmed.empty() && trimmed.back() == u'\\';
                if (more)
                    trimmed.pop_back();
                logical += trimmed;
            }
            const std::u16string line = Trim(logical);
            if (line.empty())
                continue;
            if (line.front() == u'[') {
                const size_t close = line.find(u']');
                if (close == std::u16string::npos || close + 1 != line.size())
                    return Fail(first, "a section name is not closed by ']'");
                const std::u16string name = Trim(std::u16string_view(line).substr(1, close - 1));
                if (name.empty())
                    return Fail(first, "a section without a name");
                sections->push_back({name, {}});
                continue;
            }
            if (sections->empty())
                return Fail(first, "a line before the first section");
            RawLine raw;
            if (!SplitLine(line, first, &raw))
                return false;
            sections->back().second.push_back(std::move(raw));
        }
        return true;
    }

    // The text of a field with its tokens replaced.
    bool Expand(const RawField& field, int number, const std::vector<std::pair<std::u16string, std::u16string>>& strings,
                std::u16string* out)
    {
        for (const auto& piece : field) {
            if (piece.quoted) {
                *out += piece.text;
                continue;
            }
            const auto& t = piece.text;
            for (size_t i = 0; i < t.size(); ++i) {
                if (t[i] != u'%') {
                    out->push_back(t[i]);
                    continue;
                }
                const size_t close = t.find(u'%', i + 1);
                if (close == std::u16string::npos)
                    return Fail(number, "a string token is not closed by '%'");
                if (close == i + 1) {
                    out->push_back(u'%');
                    i = close;
                    continue;
                }
                const std::u16string token = t.substr(i + 1, close - i - 1);
                const std::u16string* value = nullptr;
                for (const auto& [name, text] : strings)
                    if (EqualNoCase(name, token))
                        value = &text;
                if (!value)
                    return Fail(number, "the string token %" + Utf8(token) + "% is not in [Strings]");
                *out += *value;
                i = close;
            }
        }
        return true;
    }

private:
    const std::string& name_;
    std::string* error_;
};

} // namespace

std::optional<InfFile> InfFile::Parse(std::string_view bytes, const std::string& name, std::string* error)
{
    std::u16string text;
    Parser parser(name, error);
    if (!Decode(bytes, &text)) {
        parser.Fail(1, "the text is neither UTF-8 nor UTF-16 with a byte-order mark");
        return std::nullopt;
    }
    std::vector<std::pair<std::u16string, std::vector<RawLine>>> raw;
    if (!parser.Read(text, &raw))
        return std::nullopt;

    // [Strings]: every line is token = text; the values themselves are not expanded.
    std::vector<std::pair<std::u16string, std::u16string>> strings;
    for (const auto& [sectionName, lines] : raw) {
        if (!EqualNoCase(sectionName, u"Strings"))
            continue;
        for (const auto& line : lines) {
            if (!line.hasKey || line.fields.size() != 1) {
                parser.Fail(line.number, "a [Strings] line is not 'token = text'");
                return std::nullopt;
            }
            std::u16string key, value;
            for (const auto& piece : line.key)
                key += piece.text;
            for (const auto& piece : line.fields[0])
                value += piece.text;
            strings.emplace_back(key, value);
        }
    }

    InfFile inf;
    inf.name_ = name;
    for (const auto& [sectionName, lines] : raw) {
        SectionLines* section = nullptr;
        for (auto& s : inf.sections_)
            if (EqualNoCase(s.name, sectionName))
                section = &s;
        if (!section) {
            inf.sections_.push_back({sectionName, {}});
            section = &inf.sections_.back();
        }
        const bool isStrings = EqualNoCase(sectionName, u"Strings");
        for (const auto& line : lines) {
            InfLine parsed;
            parsed.number = line.number;
            parsed.hasKey = line.hasKey;
            if (isStrings) {
                for (const auto& piece : line.key)
                    parsed.key += piece.text;
                parsed.fields.emplace_back();
                for (const auto& piece : line.fields[0])
                    parsed.fields.back() += piece.text;
            } else {
                if (line.hasKey && !parser.Expand(line.key, line.number, strings, &parsed.key))
                    return std::nullopt;
                for (const auto& field : line.fields) {
                    parsed.fields.emplace_back();
                    if (!parser.Expand(field, line.number, strings, &parsed.fields.back()))
                        return std::nullopt;
                }
            }
            section->lines.push_back(std::move(parsed));
        }
    }
    return inf;
}

const std::vector<InfLine>* InfFile::Section(std::u16string_view name) const
{
    for (const auto& s : sections_)
        if (EqualNoCase(s.name, name))
            return &s.lines;
    return nullptr;
}

} // namespace platform
