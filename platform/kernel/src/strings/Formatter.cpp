// The formatter: Windows' printf rules for narrow and wide output. It reads flags, width,
// precision, size prefixes and conversions the way the Windows C runtime and kernel read them,
// which differs from glibc in the places docs/platform-strings.md lists.
#include "Formatter.h"

#include "CharacterTables.h"
#include "km/types.h"
#include "standin/format.h"
#include "standin/verifier.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

namespace standin::formatter {
namespace {

// Integer and floating-point precision beyond this is cut, as the Windows runtime cuts it.
constexpr int kMaxPrecision = 512;

enum : unsigned {
    kLeft = 1u << 0,      // '-'
    kSign = 1u << 1,      // '+'
    kSpace = 1u << 2,     // ' '
    kAlternate = 1u << 3, // '#'
    kLeadZero = 1u << 4,  // '0'
    kChar = 1u << 5,      // hh
    kShort = 1u << 6,     // h
    kLong = 1u << 7,      // l: 32 bits for integers, wide for text
    kInt64 = 1u << 8,     // I64, ll, and I (pointer-sized)
    kWide = 1u << 9,      // w
};

// The variable arguments, read in the order the conversions ask for them. Integers narrower than
// int arrive promoted to int; l (32 bits) reads an int, never a Linux long.
class Arguments {
public:
    explicit Arguments(va_list args) { va_copy(args_, args); }
    ~Arguments() { va_end(args_); }
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;

    int Int() { return va_arg(args_, int); }
    int64_t Int64() { return va_arg(args_, long long); }
    double Double() { return va_arg(args_, double); }
    const void* Pointer() { return va_arg(args_, const void*); }

private:
    va_list args_;
};

// One converted field before padding: a sign or radix prefix, the zeros precision asks for, and
// the text, narrow or wide.
struct Field {
    char prefix[2] = {};
    size_t prefixLength = 0;
    size_t zeros = 0;
    const char* narrow = nullptr;
    const char16_t* wide = nullptr;
    size_t length = 0;
};

template <class CharT>
CharT FromNarrow(char c)
{
    if constexpr (std::is_same_v<CharT, char>)
        return c;
    else
        return chars::AnsiToWide(static_cast<unsigned char>(c));
}

template <class CharT>
CharT FromWide(char16_t c)
{
    if constexpr (std::is_same_v<CharT, char>)
        return chars::WideToAnsi(c);
    else
        return c;
}

template <class CharT>
bool IsIntegerConversion(CharT c)
{
    return c == 'd' || c == 'i' || c == 'o' || c == 'u' || c == 'x' || c == 'X';
}

// Digits of a width or precision; saturates rather than overflowing.
template <class CharT>
int ReadNumber(const CharT*& p)
{
    int value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        const int digit = static_cast<int>(*p - '0');
        value = value > (INT_MAX - digit) / 10 ? INT_MAX : value * 10 + digit;
    }
    return value;
}

// A double as decimal digits: value = 0.d1d2d3... x 10^point. Like the Windows runtime, at most 17
// significant digits exist; further digits print as zeros. A value that is not finite is a marker
// in place of the digits ("1#INF", "1#QNAN", "1#SNAN", "1#IND"), which the digit rules below turn
// into the runtime's spellings ("1.#INF00", "-1.#IND00", ...).
struct Decimal {
    bool negative = false;
    std::string digits;
    int point = 1;
};

Decimal Decompose(double value)
{
    Decimal d;
    d.negative = std::signbit(value);
    if (std::isinf(value)) {
        d.digits = "1#INF";
        return d;
    }
    if (std::isnan(value)) {
        uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        const bool quiet = (bits >> 51) & 1;
        const uint64_t payload = bits & ((uint64_t{1} << 51) - 1);
        if (!quiet)
            d.digits = "1#SNAN";
        else if (d.negative && payload == 0)
            d.digits = "1#IND"; // the processor's default NaN
        else
            d.digits = "1#QNAN";
        return d;
    }
    if (value == 0) {
        d.digits = "0";
        return d;
    }
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::scientific, 16).ptr;
    // text is "d.dddddddddddddddde[+-]xx"
    const char* e = std::find(text, end, 'e');
    d.digits.push_back(text[0]);
    d.digits.append(text + 2, static_cast<size_t>(e - (text + 2)));
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();
    int exponent = 0;
    const char* digits = e + 1 + ((e[1] == '+' || e[1] == '-') ? 1 : 0);
    std::from_chars(digits, end, exponent);
    d.point = (e[1] == '-' ? -exponent : exponent) + 1;
    return d;
}

// The first count digits of d (zeros past its last digit), rounded half up on the next digit as
// the Windows runtime rounds. A carry out of the first digit adds a leading 1 and moves the point.
// A negative count gives no digits and no rounding.
std::string RoundedDigits(const Decimal& d, int count, int& point)
{
    point = d.point;
    if (count < 0)
        return {};
    const size_t n = static_cast<size_t>(count);
    std::string r(n, '0');
    for (size_t i = 0; i < n && i < d.digits.size(); ++i)
        r[i] = d.digits[i];
    const char next = n < d.digits.size() ? d.digits[n] : '0';
    if (next >= '5') {
        size_t i = n;
        while (i > 0 && r[i - 1] == '9')
            r[--i] = '0';
        if (i > 0) {
            ++r[i - 1];
        } else {
            r.insert(r.begin(), '1');
            ++point;
        }
    }
    return r;
}

std::string FixedText(const Decimal& d, int precision, bool forcePoint)
{
    int point;
    const std::string r = RoundedDigits(d, precision + d.point, point);
    auto digitAt = [&](int i) { return (i >= 0 && static_cast<size_t>(i) < r.size()) ? r[i] : '0'; };
    std::string text;
    if (point <= 0)
        text = "0";
    for (int i = 0; i < point; ++i)
        text += digitAt(i);
    if (precision > 0 || forcePoint)
        text += '.';
    for (int i = 0; i < precision; ++i)
        text += digitAt(point + i);
    return text;
}

// Mantissa with precision digits after the point, then the exponent with at least three digits.
std::string ExponentText(const Decimal& d, int precision, bool forcePoint, bool capital)
{
    int point;
    const std::string r = RoundedDigits(d, precision + 1, point);
    std::string text(1, r[0]);
    if (precision > 0 || forcePoint)
        text += '.';
    text.append(r, 1, static_cast<size_t>(precision));
    const int exponent = point - 1;
    text += capital ? 'E' : 'e';
    text += exponent < 0 ? '-' : '+';
    const std::string magnitude = std::to_string(exponent < 0 ? -exponent : exponent);
    text.append(magnitude.size() < 3 ? 3 - magnitude.size() : 0, '0');
    text += magnitude;
    return text;
}

// Drops trailing zeros of the fraction, and the point when nothing follows it.
void CropZeros(std::string& text)
{
    const size_t point = text.find('.');
    if (point == std::string::npos)
        return;
    size_t end = text.find_first_of("eE", point);
    if (end == std::string::npos)
        end = text.size();
    size_t keep = end;
    while (keep > point + 1 && text[keep - 1] == '0')
        --keep;
    if (keep == point + 1)
        keep = point;
    text.erase(keep, end - keep);
}

// %g: the shorter of the two forms by the C rule, on the exponent after rounding to precision
// significant digits. The runtime never forces a point here, even with '#'; '#' keeps the zeros.
std::string GeneralText(const Decimal& d, int precision, bool alternate, bool capital)
{
    int point;
    RoundedDigits(d, precision, point);
    const int magnitude = point - 1;
    std::string text = (magnitude < -4 || magnitude >= precision)
                           ? ExponentText(d, precision - 1, false, capital)
                           : FixedText(d, precision - 1 - magnitude, false);
    if (!alternate)
        CropZeros(text);
    return text;
}

template <class CharT>
class Engine {
public:
    Engine(Output<CharT>& out, va_list args, bool stopAtOverflow)
        : out_(out), args_(args), stopAtOverflow_(stopAtOverflow)
    {
    }

    Result Run(const CharT* format);

private:
    struct Directive {
        unsigned flags = 0;
        int width = 0;
        int precision = -1; // -1: none given
    };

    bool TakesWide(unsigned flags, bool capital) const;
    void Emit(const Directive& directive, const Field& field);
    void Character(const Directive& directive, CharT conversion);
    void String(const Directive& directive, CharT conversion);
    void CountedString(const Directive& directive);
    void Integer(Directive directive, CharT conversion);
    void Floating(const Directive& directive, CharT conversion);
    bool Full() const { return stopAtOverflow_ && out_.Overflowed(); }

    Output<CharT>& out_;
    Arguments args_;
    bool stopAtOverflow_;
};

template <class CharT>
Result Engine<CharT>::Run(const CharT* p)
{
    while (*p && !Full()) {
        const CharT c = *p++;
        if (c != '%') {
            out_.Put(c);
            continue;
        }
        Directive directive;
        for (;; ++p) {
            if (*p == '-')
                directive.flags |= kLeft;
            else if (*p == '+')
                directive.flags |= kSign;
            else if (*p == ' ')
                directive.flags |= kSpace;
            else if (*p == '#')
                directive.flags |= kAlternate;
            else if (*p == '0')
                directive.flags |= kLeadZero;
            else
                break;
        }
        if (*p == '*') {
            ++p;
            const int width = args_.Int();
            if (width < 0) {
                directive.flags |= kLeft;
                directive.width = width == INT_MIN ? INT_MAX : -width;
            } else {
                directive.width = width;
            }
        } else {
            directive.width = ReadNumber(p);
        }
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                ++p;
                const int precision = args_.Int();
                directive.precision = precision < 0 ? -1 : precision;
            } else {
                directive.precision = ReadNumber(p);
            }
        }
        bool sizing = true;
        bool literalI = false;
        while (sizing) {
            switch (*p) {
            case 'h':
                ++p;
                if (*p == 'h') {
                    ++p;
                    directive.flags |= kChar;
                } else {
                    directive.flags |= kShort;
                }
                break;
            case 'l':
                ++p;
                if (*p == 'l') {
                    ++p;
                    directive.flags |= kInt64;
                } else {
                    directive.flags |= kLong;
                }
                break;
            case 'w':
                ++p;
                directive.flags |= kWide;
                break;
            case 'L': // long double is double
                ++p;
                break;
            case 'I':
                ++p;
                directive.flags |= kInt64; // alone: pointer-sized
                if (p[0] == '6' && p[1] == '4') {
                    p += 2;
                } else if (p[0] == '3' && p[1] == '2') {
                    p += 2;
                    directive.flags &= ~kInt64;
                } else if (!IsIntegerConversion(*p)) {
                    // Not a size after all: the runtime prints the I and goes on with plain text.
                    literalI = true;
                    sizing = false;
                }
                break;
            default:
                sizing = false;
                break;
            }
        }
        if (literalI) {
            out_.Put('I');
            continue;
        }
        const CharT conversion = *p;
        if (conversion == 0)
            break; // the format ends inside a conversion, which prints nothing
        ++p;
        switch (conversion) {
        case 'c':
        case 'C':
            Character(directive, conversion);
            break;
        case 's':
        case 'S':
            String(directive, conversion);
            break;
        case 'Z':
            CountedString(directive);
            break;
        case 'd':
        case 'i':
        case 'u':
        case 'o':
        case 'x':
        case 'X':
        case 'p':
            Integer(directive, conversion);
            break;
        case 'e':
        case 'E':
        case 'f':
        case 'g':
        case 'G':
            Floating(directive, conversion);
            break;
        case 'n':
            // Writing through a pointer taken from the argument list is how format strings become
            // memory corruption; current Windows runtimes refuse it as well.
            VerifierReport("format", "%n conversion refused");
            return Result::Refused;
        default:
            // An unknown conversion character prints as itself, without the flags before it.
            out_.Put(conversion);
            break;
        }
    }
    return Result::Done;
}

// Whether c/C/s/S take wide text. In narrow output l and w mean wide, h narrow, and the capital
// letter without a size means the other width; in wide output likewise the other way round.
template <class CharT>
bool Engine<CharT>::TakesWide(unsigned flags, bool capital) const
{
    const bool sized = flags & (kChar | kShort | kLong | kWide);
    const bool other = capital && !sized;
    if constexpr (std::is_same_v<CharT, char>)
        return (flags & (kLong | kWide)) || other;
    else
        return !((flags & (kChar | kShort)) || other);
}

// Pads to the width: spaces before (or after, with '-'), or zeros between prefix and text with
// '0'. The runtime zero-pads text conversions as well as numbers.
template <class CharT>
void Engine<CharT>::Emit(const Directive& directive, const Field& field)
{
    const size_t length = field.prefixLength + field.zeros + field.length;
    const size_t width = static_cast<size_t>(directive.width);
    const size_t padding = width > length ? width - length : 0;
    if (!(directive.flags & (kLeft | kLeadZero)))
        out_.PutRepeated(' ', padding);
    for (size_t i = 0; i < field.prefixLength; ++i)
        out_.Put(FromNarrow<CharT>(field.prefix[i]));
    if ((directive.flags & kLeadZero) && !(directive.flags & kLeft))
        out_.PutRepeated('0', padding);
    out_.PutRepeated('0', field.zeros);
    for (size_t i = 0; i < field.length && !Full(); ++i)
        out_.Put(field.wide ? FromWide<CharT>(field.wide[i]) : FromNarrow<CharT>(field.narrow[i]));
    if (directive.flags & kLeft)
        out_.PutRepeated(' ', padding);
}

template <class CharT>
void Engine<CharT>::Character(const Directive& directive, CharT conversion)
{
    const int value = args_.Int();
    const char narrow = static_cast<char>(value);
    const char16_t wide = static_cast<char16_t>(value);
    Field field;
    field.length = 1;
    if (TakesWide(directive.flags, conversion == 'C'))
        field.wide = &wide;
    else
        field.narrow = &narrow;
    Emit(directive, field);
}

template <class CharT>
void Engine<CharT>::String(const Directive& directive, CharT conversion)
{
    const void* text = args_.Pointer();
    const size_t limit = directive.precision < 0 ? SIZE_MAX : static_cast<size_t>(directive.precision);
    Field field;
    if (TakesWide(directive.flags, conversion == 'S')) {
        field.wide = text ? static_cast<const char16_t*>(text) : u"(null)";
        while (field.length < limit && field.wide[field.length])
            ++field.length;
    } else {
        field.narrow = text ? static_cast<const char*>(text) : "(null)";
        while (field.length < limit && field.narrow[field.length])
            ++field.length;
    }
    Emit(directive, field);
}

// %Z prints an ANSI_STRING, %wZ a UNICODE_STRING: exactly Length bytes, precision ignored.
template <class CharT>
void Engine<CharT>::CountedString(const Directive& directive)
{
    const void* string = args_.Pointer();
    Field field;
    if (string && (directive.flags & kWide)) {
        const auto* unicode = static_cast<const UNICODE_STRING*>(string);
        field.wide = unicode->Buffer;
        field.length = unicode->Length / sizeof(WCHAR);
    } else if (string) {
        const auto* ansi = static_cast<const ANSI_STRING*>(string);
        field.narrow = ansi->Buffer;
        field.length = ansi->Length;
    }
    if (!field.wide && !field.narrow) {
        field.narrow = "(null)";
        field.length = 6;
    }
    Emit(directive, field);
}

template <class CharT>
void Engine<CharT>::Integer(Directive directive, CharT conversion)
{
    const bool isSigned = conversion == 'd' || conversion == 'i';
    const bool upper = conversion == 'X' || conversion == 'p';
    const unsigned radix = conversion == 'o' ? 8 : (conversion == 'x' || upper) ? 16 : 10;
    uint64_t magnitude;
    bool negative = false;
    if (conversion == 'p') {
        // Every digit of the pointer's width, upper case, no "0x".
        directive.precision = 2 * sizeof(void*);
        magnitude = reinterpret_cast<uintptr_t>(args_.Pointer());
    } else if (directive.flags & kInt64) {
        const int64_t value = args_.Int64();
        negative = isSigned && value < 0;
        magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    } else {
        int value = args_.Int();
        if (directive.flags & kChar)
            value = isSigned ? static_cast<signed char>(value) : static_cast<unsigned char>(value);
        else if (directive.flags & kShort)
            value = isSigned ? static_cast<short>(value) : static_cast<unsigned short>(value);
        negative = isSigned && value < 0;
        magnitude = negative ? static_cast<uint64_t>(-static_cast<int64_t>(value)) : static_cast<uint32_t>(value);
    }

    int precision = directive.precision;
    if (precision < 0) {
        precision = 1;
    } else {
        directive.flags &= ~kLeadZero;
        precision = std::min(precision, kMaxPrecision);
    }

    char digits[24];
    char* const end = digits + sizeof digits;
    char* text = end;
    for (uint64_t m = magnitude; m != 0; m /= radix) {
        const unsigned digit = static_cast<unsigned>(m % radix);
        *--text = static_cast<char>(digit < 10 ? '0' + digit : (upper ? 'A' : 'a') + digit - 10);
    }
    Field field;
    field.narrow = text;
    field.length = static_cast<size_t>(end - text);
    field.zeros = static_cast<size_t>(precision) > field.length ? static_cast<size_t>(precision) - field.length : 0;
    if (conversion == 'o' && (directive.flags & kAlternate) && field.zeros == 0)
        field.zeros = 1; // '#' makes the first octal digit a 0

    if (isSigned) {
        if (negative)
            field.prefix[field.prefixLength++] = '-';
        else if (directive.flags & kSign)
            field.prefix[field.prefixLength++] = '+';
        else if (directive.flags & kSpace)
            field.prefix[field.prefixLength++] = ' ';
    } else if (radix == 16 && (directive.flags & kAlternate) && magnitude != 0) {
        field.prefix[0] = '0';
        field.prefix[1] = upper ? 'X' : 'x';
        field.prefixLength = 2;
    }
    Emit(directive, field);
}

template <class CharT>
void Engine<CharT>::Floating(const Directive& directive, CharT conversion)
{
    const bool capital = conversion == 'E' || conversion == 'G';
    const bool general = conversion == 'g' || conversion == 'G';
    const bool alternate = directive.flags & kAlternate;
    int precision = directive.precision;
    if (precision < 0)
        precision = 6;
    else if (precision == 0 && general)
        precision = 1;
    else
        precision = std::min(precision, kMaxPrecision);

    const Decimal decimal = Decompose(args_.Double());
    std::string text;
    if (general)
        text = GeneralText(decimal, precision, alternate, capital);
    else if (conversion == 'f')
        text = FixedText(decimal, precision, alternate);
    else
        text = ExponentText(decimal, precision, alternate, capital);

    Field field;
    if (decimal.negative)
        field.prefix[field.prefixLength++] = '-';
    else if (directive.flags & kSign)
        field.prefix[field.prefixLength++] = '+';
    else if (directive.flags & kSpace)
        field.prefix[field.prefixLength++] = ' ';
    field.narrow = text.c_str();
    field.length = text.size();
    Emit(directive, field);
}

} // namespace

template <class CharT>
Result Format(Output<CharT>& out, const CharT* format, va_list args, bool stopAtOverflow)
{
    if (!format) {
        VerifierReport("format", "null format string");
        return Result::Refused;
    }
    Engine<CharT> engine(out, args, stopAtOverflow);
    return engine.Run(format);
}

template Result Format<char>(Output<char>&, const char*, va_list, bool);
template Result Format<char16_t>(Output<char16_t>&, const char16_t*, va_list, bool);

} // namespace standin::formatter
