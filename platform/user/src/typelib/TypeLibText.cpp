// The reader of a type library's IDL text.
#include "typelib/TypeLibText.h"

#include "text/AnsiText.h"
#include "um/combaseapi.h"

namespace user {
namespace {

struct Token {
    enum Kind { Identifier, String, Punctuation, Arguments };
    Kind kind = Punctuation;
    std::u16string text;
    size_t line = 1;
};

bool IsIdentifierStart(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

bool IsIdentifierPart(char16_t c)
{
    return IsIdentifierStart(c) || (c >= u'0' && c <= u'9');
}

std::string LinePrefix(size_t line)
{
    return "line " + std::to_string(line) + ": ";
}

// A string's text after its opening quote; *at ends past the closing quote.
bool ReadString(std::u16string_view text, size_t* at, size_t* line, std::u16string* out, std::string* error)
{
    const size_t start = *line;
    while (true) {
        if (*at >= text.size()) {
            *error = LinePrefix(start) + "a string does not end";
            return false;
        }
        const char16_t c = text[(*at)++];
        if (c == u'"')
            return true;
        if (c == u'\n')
            ++*line;
        if (c == u'\\' && *at < text.size()) {
            const char16_t escaped = text[(*at)++];
            *out += escaped == u'n' ? u'\n' : (escaped == u't' ? u'\t' : escaped);
            continue;
        }
        *out += c;
    }
}

bool Tokenize(std::u16string_view text, std::vector<Token>* tokens, std::string* error)
{
    size_t line = 1;
    size_t at = 0;
    bool afterName = false; // an identifier just ended: a '(' opens its arguments
    while (at < text.size()) {
        const char16_t c = text[at];
        if (c == u'\n') {
            ++line;
            ++at;
            afterName = false;
            continue;
        }
        if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\f' || c == u'\v') {
            ++at;
            continue;
        }
        if (c == u'/' && at + 1 < text.size() && text[at + 1] == u'/') {
            while (at < text.size() && text[at] != u'\n')
                ++at;
            continue;
        }
        if (c == u'/' && at + 1 < text.size() && text[at + 1] == u'*') {
            const size_t start = line;
            at += 2;
            while (at + 1 < text.size() && !(text[at] == u'*' && text[at + 1] == u'/')) {
                if (text[at] == u'\n')
                    ++line;
                ++at;
            }
            if (at + 1 >= text.size()) {
                *error = LinePrefix(start) + "a comment does not end";
                return false;
            }
            at += 2;
            continue;
        }
        Token token;
        token.line = line;
        if (IsIdentifierStart(c)) {
            token.kind = Token::Identifier;
            while (at < text.size() && IsIdentifierPart(text[at]))
                token.text += text[at++];
            tokens->push_back(std::move(token));
            afterName = true;
            continue;
        }
        if (c == u'"') {
            ++at;
            token.kind = Token::String;
            if (!ReadString(text, &at, &line, &token.text, error))
                return false;
        } else if (c == u'(' && afterName) {
            // An attribute's or statement's arguments, kept as written up to the matching ')'.
            token.kind = Token::Arguments;
            ++at;
            int depth = 1;
            while (true) {
                if (at >= text.size()) {
                    *error = LinePrefix(token.line) + "'(' without its ')'";
                    return false;
                }
                const char16_t d = text[at++];
                if (d == u'"') {
                    std::u16string inner;
                    if (!ReadString(text, &at, &line, &inner, error))
                        return false;
                    token.text += u'"' + inner + u'"';
                    continue;
                }
                if (d == u'\n')
                    ++line;
                if (d == u'(')
                    ++depth;
                if (d == u')' && --depth == 0)
                    break;
                token.text += d;
            }
        } else if (c == u'[' || c == u']' || c == u'{' || c == u'}' || c == u';' || c == u',') {
            token.text = c;
            ++at;
        } else {
            *error = LinePrefix(line) + "unexpected character";
            return false;
        }
        afterName = false;
        tokens->push_back(std::move(token));
    }
    return true;
}

std::u16string Trimmed(std::u16string_view text)
{
    size_t start = 0;
    size_t end = text.size();
    while (start < end &&
           (text[start] == u' ' || text[start] == u'\t' || text[start] == u'\r' || text[start] == u'\n'))
        ++start;
    while (end > start && (text[end - 1] == u' ' || text[end - 1] == u'\t' || text[end - 1] == u'\r' ||
                           text[end - 1] == u'\n'))
        --end;
    return std::u16string(text.substr(start, end - start));
}

struct Attributes {
    bool hasUuid = false;
    GUID uuid{};
    bool hasVersion = false;
    WORD major = 0;
    WORD minor = 0;
    bool hasLcid = false;
    LCID lcid = 0;
    std::u16string helpString;
    WORD flags = 0;
};

class Parser {
public:
    Parser(std::vector<Token> tokens, std::string* error) : tokens_(std::move(tokens)), error_(error) {}

    bool Library(TypeLibDescription* library)
    {
        while (IsWord(u"import")) {
            ++at_;
            if (!TakeString(nullptr, "a file name after import") || !Take(u";"))
                return false;
        }
        Attributes attributes;
        if (IsPunctuation(u"[") && !ReadAttributes(&attributes))
            return false;
        if (!TakeWord(u"library"))
            return false;
        if (!attributes.hasUuid)
            return Fail("the library has no uuid");
        library->libid = attributes.uuid;
        library->majorVersion = attributes.major;
        library->minorVersion = attributes.minor;
        library->lcid = attributes.lcid;
        library->flags = attributes.flags;
        library->helpString = attributes.helpString;
        if (!TakeIdentifier(&library->name, "the library's name") || !Take(u"{"))
            return false;
        while (!IsPunctuation(u"}")) {
            if (At() == nullptr)
                return Fail("'}' expected before the end");
            if (!LibraryItem(library))
                return false;
        }
        ++at_;
        if (IsPunctuation(u";"))
            ++at_;
        if (At())
            return Fail("text after the library");
        return true;
    }

private:
    const Token* At() const { return at_ < tokens_.size() ? &tokens_[at_] : nullptr; }
    bool IsPunctuation(std::u16string_view p) const
    {
        return At() && At()->kind == Token::Punctuation && At()->text == p;
    }
    bool IsWord(std::u16string_view word) const
    {
        return At() && At()->kind == Token::Identifier && At()->text == word;
    }

    bool Fail(const std::string& what)
    {
        const size_t line = At() ? At()->line : (tokens_.empty() ? 1 : tokens_.back().line);
        *error_ = LinePrefix(line) + what;
        return false;
    }

    bool Take(std::u16string_view p)
    {
        if (!IsPunctuation(p))
            return Fail("'" + AnsiFromWide(p) + "' expected");
        ++at_;
        return true;
    }
    bool TakeWord(std::u16string_view word)
    {
        if (!IsWord(word))
            return Fail("'" + AnsiFromWide(word) + "' expected");
        ++at_;
        return true;
    }
    bool TakeIdentifier(std::u16string* name, const char* what)
    {
        if (!At() || At()->kind != Token::Identifier)
            return Fail(std::string(what) + " expected");
        *name = tokens_[at_++].text;
        return true;
    }
    bool TakeString(std::u16string* text, const char* what)
    {
        if (!At() || At()->kind != Token::String)
            return Fail(std::string(what) + " expected");
        if (text)
            *text = At()->text;
        ++at_;
        return true;
    }
    // "(...)" after a statement word, holding one string.
    bool TakeStringArgument(std::u16string* text, const char* what)
    {
        if (!At() || At()->kind != Token::Arguments)
            return Fail(std::string(what) + " expected");
        const std::u16string argument = Trimmed(tokens_[at_++].text);
        if (argument.size() < 2 || argument.front() != u'"' || argument.back() != u'"' ||
            argument.find(u'"', 1) != argument.size() - 1)
            return Fail(std::string(what) + " must be one string");
        *text = argument.substr(1, argument.size() - 2);
        return true;
    }

    bool Number(const std::u16string& text, uint32_t limit, uint32_t* value)
    {
        const bool hex = text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X');
        if (text.size() == (hex ? 2u : 0u))
            return false;
        uint64_t number = 0;
        for (size_t i = hex ? 2 : 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            int digit = -1;
            if (c >= u'0' && c <= u'9')
                digit = c - u'0';
            else if (hex && c >= u'a' && c <= u'f')
                digit = c - u'a' + 10;
            else if (hex && c >= u'A' && c <= u'F')
                digit = c - u'A' + 10;
            if (digit < 0)
                return false;
            number = number * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
            if (number > limit)
                return false;
        }
        *value = static_cast<uint32_t>(number);
        return true;
    }

    bool ReadAttributes(Attributes* attributes)
    {
        ++at_; // '['
        while (true) {
            std::u16string name;
            if (!TakeIdentifier(&name, "an attribute"))
                return false;
            std::u16string arguments;
            const bool hasArguments = At() && At()->kind == Token::Arguments;
            if (hasArguments)
                arguments = tokens_[at_++].text;
            if (!Attribute(name, hasArguments, Trimmed(arguments), attributes))
                return false;
            if (IsPunctuation(u","))
                ++at_;
            else if (IsPunctuation(u"]")) {
                ++at_;
                return true;
            } else
                return Fail("',' or ']' expected in the attributes");
        }
    }

    bool Attribute(const std::u16string& name, bool hasArguments, const std::u16string& arguments,
                   Attributes* attributes)
    {
        if (name == u"uuid") {
            const std::u16string braced = u"{" + arguments + u"}";
            if (!hasArguments || FAILED(CLSIDFromString(braced.c_str(), &attributes->uuid)))
                return Fail("uuid(...) needs a GUID");
            attributes->hasUuid = true;
            return true;
        }
        if (name == u"version") {
            const size_t dot = arguments.find(u'.');
            uint32_t major = 0;
            uint32_t minor = 0;
            if (!hasArguments || !Number(arguments.substr(0, dot), 0xFFFF, &major) ||
                (dot != std::u16string::npos && !Number(arguments.substr(dot + 1), 0xFFFF, &minor)))
                return Fail("version(...) needs <major>.<minor>");
            attributes->hasVersion = true;
            attributes->major = static_cast<WORD>(major);
            attributes->minor = static_cast<WORD>(minor);
            return true;
        }
        if (name == u"lcid") {
            uint32_t lcid = 0;
            if (!hasArguments || !Number(arguments, 0xFFFFFFFFu, &lcid))
                return Fail("lcid(...) needs a number");
            attributes->hasLcid = true;
            attributes->lcid = lcid;
            return true;
        }
        if (name == u"helpstring") {
            if (arguments.size() < 2 || arguments.front() != u'"' || arguments.back() != u'"')
                return Fail("helpstring(...) needs a string");
            attributes->helpString = arguments.substr(1, arguments.size() - 2);
            return true;
        }
        if (name == u"restricted")
            attributes->flags |= LIBFLAG_FRESTRICTED;
        else if (name == u"control")
            attributes->flags |= LIBFLAG_FCONTROL;
        else if (name == u"hidden")
            attributes->flags |= LIBFLAG_FHIDDEN;
        return true;
    }

    bool LibraryItem(TypeLibDescription* library)
    {
        if (IsWord(u"importlib")) {
            ++at_;
            std::u16string file;
            if (!TakeStringArgument(&file, "importlib's file") || !Take(u";"))
                return false;
            library->imports.push_back(file);
            return true;
        }
        Attributes attributes;
        if (IsPunctuation(u"[") && !ReadAttributes(&attributes))
            return false;
        if (!IsWord(u"coclass"))
            return Fail("importlib or coclass expected");
        ++at_;
        TypeLibCoclass coclass;
        coclass.uuid = attributes.uuid;
        coclass.helpString = attributes.helpString;
        if (!TakeIdentifier(&coclass.name, "the coclass's name") || !Take(u"{"))
            return false;
        while (!IsPunctuation(u"}")) {
            if (!At())
                return Fail("'}' expected before the end");
            Attributes ignored;
            if (IsPunctuation(u"[") && !ReadAttributes(&ignored))
                return false;
            if (!IsWord(u"interface") && !IsWord(u"dispinterface"))
                return Fail("interface expected in the coclass");
            ++at_;
            std::u16string interfaceName;
            if (!TakeIdentifier(&interfaceName, "an interface name") || !Take(u";"))
                return false;
        }
        ++at_;
        if (IsPunctuation(u";"))
            ++at_;
        library->coclasses.push_back(std::move(coclass));
        return true;
    }

    std::vector<Token> tokens_;
    std::string* error_;
    size_t at_ = 0;
};

} // namespace

bool ParseTypeLibText(std::u16string_view text, TypeLibDescription* library, std::string* error)
{
    std::string ignored;
    if (!error)
        error = &ignored;
    std::vector<Token> tokens;
    if (!Tokenize(text, &tokens, error))
        return false;
    TypeLibDescription parsed;
    if (!Parser(std::move(tokens), error).Library(&parsed))
        return false;
    *library = std::move(parsed);
    return true;
}

} // namespace user
