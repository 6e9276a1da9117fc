// Message texts with their inserts in place, by the rules of message files: numbered inserts with
// optional printf specifications, and the escapes for line breaks and literal characters.
#include "Utf8.h"
#include "km/eventlog.h"
#include "km/format.h"
#include "standin/eventlog.h"
#include "standin/format.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace standin {
namespace {

// The width and precision a conversion may ask for; wider asks are not a message's business.
constexpr size_t kMaxSpecDigits = 3;

// A "!fmt!" conversion taken apart: the flags, width and precision kept as written, the size
// prefix dropped (inserts are text, so the stand-in chooses the argument's width) and the
// conversion character.
struct Spec {
    std::u16string head; // flags, width and precision
    char conversion = 0;
};

std::optional<Spec> ParseSpec(std::string_view fmt)
{
    Spec spec;
    size_t i = 0;
    while (i < fmt.size() && std::string_view("-+ #0").find(fmt[i]) != std::string_view::npos)
        spec.head += static_cast<char16_t>(fmt[i++]);
    auto digits = [&] {
        size_t n = 0;
        while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
            spec.head += static_cast<char16_t>(fmt[i++]);
            ++n;
        }
        return n <= kMaxSpecDigits;
    };
    if (!digits())
        return std::nullopt;
    if (i < fmt.size() && fmt[i] == '.') {
        spec.head += u'.';
        ++i;
        if (!digits())
            return std::nullopt;
    }
    for (std::string_view prefix : {"I64", "I32", "hh", "ll", "h", "l", "w", "I"}) {
        if (fmt.substr(i, prefix.size()) == prefix) {
            i += prefix.size();
            break;
        }
    }
    if (i + 1 != fmt.size())
        return std::nullopt;
    spec.conversion = fmt[i];
    return spec;
}

// An insert read as a whole number: optional blanks and sign, then decimal digits or "0x" and hex
// digits. Values beyond 64 bits do not count as numbers.
std::optional<uint64_t> ParseInteger(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return negative ? uint64_t{0} - value : value;
}

std::optional<double> ParseFloating(std::string_view text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// One insert under its conversion; an insert the conversion cannot take shows as it is.
std::string FormatInsert(const std::u16string& insert, std::string_view fmt)
{
    const std::string plain = Utf8Text(insert);
    if (fmt.empty())
        return plain;
    const auto spec = ParseSpec(fmt);
    if (!spec)
        return plain;
    const std::u16string head = u"%" + spec->head;
    switch (spec->conversion) {
    case 's':
    case 'S':
        return Utf8Text(Format((head + u"s").c_str(), insert.c_str()));
    case 'c':
    case 'C':
        if (insert.empty())
            return plain;
        return Utf8Text(Format((head + u"c").c_str(), static_cast<int>(insert[0])));
    case 'd':
    case 'i':
    case 'u':
    case 'o':
    case 'x':
    case 'X': {
        const auto value = ParseInteger(plain);
        if (!value)
            return plain;
        const std::u16string format = head + u"I64" + static_cast<char16_t>(spec->conversion);
        return Utf8Text(Format(format.c_str(), static_cast<long long>(*value)));
    }
    case 'e':
    case 'E':
    case 'f':
    case 'g':
    case 'G': {
        const auto value = ParseFloating(plain);
        if (!value)
            return plain;
        return Utf8Text(Format((head + static_cast<char16_t>(spec->conversion)).c_str(), *value));
    }
    default:
        return plain;
    }
}

} // namespace

std::string FormatEventMessage(std::string_view text, const std::vector<std::u16string>& inserts)
{
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c != '%' || i + 1 == text.size()) {
            out += c;
            ++i;
            continue;
        }
        const char next = text[i + 1];
        if (next >= '1' && next <= '9') {
            size_t end = i + 2;
            size_t number = static_cast<size_t>(next - '0');
            if (end < text.size() && text[end] >= '0' && text[end] <= '9')
                number = number * 10 + static_cast<size_t>(text[end++] - '0');
            std::string_view fmt;
            if (end < text.size() && text[end] == '!') {
                const size_t close = text.find('!', end + 1);
                if (close != std::string_view::npos) {
                    fmt = text.substr(end + 1, close - end - 1);
                    end = close + 1;
                }
            }
            if (number <= inserts.size())
                out += FormatInsert(inserts[number - 1], fmt);
            else
                out.append(text.substr(i, end - i)); // an insert nobody supplied stays as written
            i = end;
            continue;
        }
        i += 2;
        switch (next) {
        case '0':
            return out;
        case 'n':
            out += "\r\n";
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'b':
            out += ' ';
            break;
        default: // "%%", "%.", "%!", "% " and any other character give the character itself
            out += next;
            break;
        }
    }
    return out;
}

} // namespace standin
