// The registrar's script parser: words first, then replacements inside words, then the tree.
#include "registrar/RegistrarScript.h"

#include "text/AnsiText.h"
#include "text/AsciiCase.h"
#include "text/HexDigit.h"

#include <optional>

namespace user {
namespace {

// The longest key or value name the registry keeps.
constexpr size_t kMaxName = 255;

struct Word {
    enum Kind { Open, Close, Equals, Text };
    Kind kind = Text;
    bool quoted = false;
    std::u16string text;
    size_t line = 1;
};

bool IsSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v';
}

std::string LineText(size_t line)
{
    return "line " + std::to_string(line) + ": ";
}

// The length of a word "{...}" at text[at]: a brace, at least one character that is neither a
// blank, a brace, '=' nor a quote, and the closing brace; 0 when there is none (a plain '{').
size_t BracedWordLength(std::u16string_view text, size_t at)
{
    size_t end = at + 1;
    while (end < text.size() && !IsSpace(text[end]) && text[end] != u'{' && text[end] != u'}' &&
           text[end] != u'=' && text[end] != u'\'')
        ++end;
    if (end == at + 1 || end >= text.size() || text[end] != u'}')
        return 0;
    return end + 1 - at;
}

bool Split(std::u16string_view text, std::vector<Word>* words, std::string* error)
{
    size_t line = 1;
    size_t at = 0;
    while (at < text.size()) {
        const char16_t c = text[at];
        if (IsSpace(c)) {
            if (c == u'\n')
                ++line;
            ++at;
            continue;
        }
        Word word;
        word.line = line;
        if (c == u'{' && BracedWordLength(text, at)) {
            // "{5A0E2C61-...}": a name in braces, as CLSIDs are written unquoted.
            const size_t length = BracedWordLength(text, at);
            word.text.assign(text.substr(at, length));
            at += length;
        } else if (c == u'{' || c == u'}' || c == u'=') {
            word.kind = c == u'{' ? Word::Open : (c == u'}' ? Word::Close : Word::Equals);
            ++at;
        } else if (c == u'\'') {
            word.quoted = true;
            ++at;
            while (true) {
                if (at >= text.size()) {
                    *error = LineText(word.line) + "a quoted word does not end";
                    return false;
                }
                if (text[at] == u'\'') {
                    if (at + 1 < text.size() && text[at + 1] == u'\'') {
                        word.text += u'\'';
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                if (text[at] == u'\n')
                    ++line;
                word.text += text[at++];
            }
        } else {
            while (at < text.size() && !IsSpace(text[at]) && text[at] != u'{' && text[at] != u'}' &&
                   text[at] != u'=' && text[at] != u'\'')
                word.text += text[at++];
        }
        words->push_back(std::move(word));
    }
    return true;
}

bool Replace(Word* word, const std::vector<RegistrarReplacement>& replacements, std::string* error)
{
    std::u16string out;
    const std::u16string& in = word->text;
    for (size_t at = 0; at < in.size();) {
        if (in[at] != u'%') {
            out += in[at++];
            continue;
        }
        const size_t end = in.find(u'%', at + 1);
        if (end == std::u16string::npos) {
            *error = LineText(word->line) + "a '%' without its closing '%'";
            return false;
        }
        const std::u16string_view name(in.data() + at + 1, end - at - 1);
        if (name.empty()) {
            out += u'%';
        } else {
            const RegistrarReplacement* found = nullptr;
            for (const auto& replacement : replacements)
                if (SameTextIgnoringAsciiCase(replacement.name, name))
                    found = &replacement;
            if (!found) {
                *error = LineText(word->line) + "no replacement for %" + AnsiFromWide(name) + "%";
                return false;
            }
            out += found->value;
        }
        at = end + 1;
    }
    word->text = std::move(out);
    return true;
}

class Parser {
public:
    Parser(std::vector<Word> words, std::string* error) : words_(std::move(words)), error_(error) {}

    bool Script(RegistrarScript* script)
    {
        while (at_ < words_.size()) {
            RegistrarRoot root;
            const Word* name = Next();
            if (!name || name->kind != Word::Text)
                return Fail("a root key expected");
            if (SameTextIgnoringAsciiCase(name->text, u"HKCR") ||
                SameTextIgnoringAsciiCase(name->text, u"HKEY_CLASSES_ROOT"))
                root.key = HKEY_CLASSES_ROOT;
            else if (SameTextIgnoringAsciiCase(name->text, u"HKLM") ||
                     SameTextIgnoringAsciiCase(name->text, u"HKEY_LOCAL_MACHINE"))
                root.key = HKEY_LOCAL_MACHINE;
            else
                return Fail("unknown root key '" + AnsiFromWide(name->text) + "'");
            if (!Expect(Word::Open, "'{' after the root key") || !Body(&root.nodes))
                return false;
            script->roots.push_back(std::move(root));
        }
        return true;
    }

private:
    const Word* Peek() const { return at_ < words_.size() ? &words_[at_] : nullptr; }
    const Word* Next() { return at_ < words_.size() ? &words_[at_++] : nullptr; }

    bool Fail(const std::string& what)
    {
        const size_t line = at_ == 0 ? 1 : words_[std::min(at_, words_.size()) - 1].line;
        *error_ = LineText(line) + what;
        return false;
    }

    bool Expect(Word::Kind kind, const char* what)
    {
        const Word* word = Next();
        if (!word || word->kind != kind)
            return Fail(std::string(what) + " expected");
        return true;
    }

    static bool IsKeyword(const Word& word, std::u16string_view keyword)
    {
        return word.kind == Word::Text && !word.quoted && SameTextIgnoringAsciiCase(word.text, keyword);
    }

    bool Name(std::u16string* name, const char* what)
    {
        const Word* word = Next();
        if (!word || word->kind != Word::Text)
            return Fail(std::string(what) + " expected");
        if (word->text.empty() || word->text.size() > kMaxName)
            return Fail(std::string(what) + " empty or longer than 255 characters");
        *name = word->text;
        return true;
    }

    // Items up to and with the closing brace.
    bool Body(std::vector<RegistrarNode>* nodes)
    {
        while (true) {
            const Word* word = Peek();
            if (!word)
                return Fail("'}' expected before the end");
            if (word->kind == Word::Close) {
                ++at_;
                return true;
            }
            RegistrarNode node;
            if (!Item(&node))
                return false;
            nodes->push_back(std::move(node));
        }
    }

    bool Item(RegistrarNode* node)
    {
        const Word* word = Peek();
        if (IsKeyword(*word, u"Delete")) {
            ++at_;
            node->kind = RegistrarNode::Delete;
            return Name(&node->name, "the name of the key to delete");
        }
        if (IsKeyword(*word, u"val")) {
            ++at_;
            node->kind = RegistrarNode::Value;
            node->hasValue = true;
            return Name(&node->name, "a value name") && Expect(Word::Equals, "'=' after the value name") &&
                   Value(&node->value);
        }
        while (Peek() && (IsKeyword(*Peek(), u"ForceRemove") || IsKeyword(*Peek(), u"NoRemove"))) {
            bool& flag = IsKeyword(*Peek(), u"ForceRemove") ? node->forceRemove : node->noRemove;
            if (flag)
                return Fail("a key flag given twice");
            flag = true;
            ++at_;
        }
        node->kind = RegistrarNode::Key;
        if (!Name(&node->name, "a key name"))
            return false;
        if (Peek() && Peek()->kind == Word::Equals) {
            ++at_;
            node->hasValue = true;
            if (!Value(&node->value))
                return false;
        }
        if (Peek() && Peek()->kind == Word::Open) {
            ++at_;
            return Body(&node->children);
        }
        return true;
    }

    bool Value(RegistrarValue* value)
    {
        const Word* type = Next();
        if (!type || type->kind != Word::Text || type->quoted)
            return Fail("a value type (s, d or b) expected");
        const Word* data = Next();
        if (!data || data->kind != Word::Text)
            return Fail("value data expected");
        if (SameTextIgnoringAsciiCase(type->text, u"s")) {
            value->type = REG_SZ;
            value->text = data->text;
            return true;
        }
        if (SameTextIgnoringAsciiCase(type->text, u"d")) {
            value->type = REG_DWORD;
            return Number(data->text, &value->number);
        }
        if (SameTextIgnoringAsciiCase(type->text, u"b")) {
            value->type = REG_BINARY;
            return Bytes(data->text, &value->bytes);
        }
        return Fail("unknown value type '" + AnsiFromWide(type->text) + "'");
    }

    bool Number(const std::u16string& text, DWORD* number)
    {
        const bool hex = text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X');
        const size_t start = hex ? 2 : 0;
        if (text.size() == start)
            return Fail("a number expected");
        uint64_t value = 0;
        for (size_t i = start; i < text.size(); ++i) {
            const int digit = HexDigit(text[i]);
            if (digit < 0 || (!hex && digit > 9))
                return Fail("'" + AnsiFromWide(text) + "' is not a number");
            value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
            if (value > 0xFFFFFFFFull)
                return Fail("'" + AnsiFromWide(text) + "' does not fit 32 bits");
        }
        *number = static_cast<DWORD>(value);
        return true;
    }

    bool Bytes(const std::u16string& text, std::vector<BYTE>* bytes)
    {
        if (text.size() % 2)
            return Fail("binary data needs pairs of hex digits");
        for (size_t i = 0; i < text.size(); i += 2) {
            const int high = HexDigit(text[i]);
            const int low = HexDigit(text[i + 1]);
            if (high < 0 || low < 0)
                return Fail("binary data needs pairs of hex digits");
            bytes->push_back(static_cast<BYTE>(high * 16 + low));
        }
        return true;
    }

    std::vector<Word> words_;
    std::string* error_;
    size_t at_ = 0;
};

} // namespace

bool ParseRegistrarScript(std::u16string_view text, const std::vector<RegistrarReplacement>& replacements,
                          RegistrarScript* script, std::string* error)
{
    std::string ignored;
    if (!error)
        error = &ignored;
    std::vector<Word> words;
    if (!Split(text, &words, error))
        return false;
    for (Word& word : words)
        if (word.kind == Word::Text && !Replace(&word, replacements, error))
            return false;
    RegistrarScript parsed;
    if (!Parser(std::move(words), error).Script(&parsed))
        return false;
    *script = std::move(parsed);
    return true;
}

} // namespace user
