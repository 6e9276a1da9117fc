// Fuzz harness of the formatter's directives: any text as a narrow or a wide format, through
// _vsnprintf / _vsnwprintf into buffers of several sizes and through standin::Format.
//
// Input: byte 0 bit 0 picks wide text (the rest then read as UTF-16LE units), bits 1-7 the size of
// the small buffer (0 to 127 characters); the rest is the format. The arguments are the same for
// every conversion the format may hold, each valid as whatever it is read as: 8 doubles, then 56
// pointers to a block that is at once a short narrow string, a short wide string and a counted
// string (ANSI_STRING / UNICODE_STRING); a format is cut before its 17th '%', so it can read at
// most 48 of them. Checked: the measured length, the small buffer's stored characters and result,
// the large buffer's text and the grown string agree; nothing is written past a buffer (each is on
// the heap at its exact size); a refusal (%n) reports exactly one breach and any other format none.
#include "km/format.h"
#include "km/types.h"
#include "standin/format.h"
#include "standin/verifier.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

// Reads as "\x04" (narrow), u"\x0004\x0004" (wide) and a counted string of two characters.
struct alignas(8) Universal {
    USHORT length = 4;
    USHORT maximumLength = 4;
    ULONG zero = 0;
    const void* buffer = nullptr;
};
constexpr char16_t kText[] = u"ab";
Universal g_block{4, 4, 0, kText};

constexpr size_t kLargeCapacity = 4096;

// Ends the run with what did not hold.
void Fail(const char* what, int length, int result)
{
    std::fprintf(stderr, "formatter: %s (length %d, result %d)\n", what, length, result);
    std::abort();
}

// The formatter under test for CharT.
int VFormat(char* buffer, size_t count, const char* format, va_list args) { return _vsnprintf(buffer, count, format, args); }
int VFormat(char16_t* buffer, size_t count, const char16_t* format, va_list args)
{
    return _vsnwprintf(buffer, count, format, args);
}
std::string VGrow(const char* format, va_list args) { return standin::FormatV(format, args); }
std::u16string VGrow(const char16_t* format, va_list args) { return standin::FormatV(format, args); }

template <class CharT>
void Check(const CharT* format, size_t small, ...)
{
    va_list args;
    va_start(args, small);
    va_list measure, into, large;
    va_copy(measure, args);
    va_copy(into, args);
    va_copy(large, args);

    standin::VerifierTakeViolations();
    const int length = VFormat(static_cast<CharT*>(nullptr), 0, format, measure);
    va_end(measure);
    // -1 when measuring: a refusal (with its one breach), or a text too long for an int to count.
    const size_t breaches = standin::VerifierTakeViolations().size();
    const bool refused = length < 0;
    if (breaches != (refused ? 1u : 0u) && !(refused && breaches == 0))
        Fail("breaches do not match the result", length, int(breaches));

    std::unique_ptr<CharT[]> smallBuffer(new CharT[small == 0 ? 1 : small]);
    const int smallResult = VFormat(small == 0 ? static_cast<CharT*>(nullptr) : smallBuffer.get(), small, format, into);
    va_end(into);
    standin::VerifierTakeViolations();

    std::unique_ptr<CharT[]> largeBuffer(new CharT[kLargeCapacity]);
    const int largeResult = VFormat(largeBuffer.get(), kLargeCapacity, format, large);
    va_end(large);
    standin::VerifierTakeViolations();

    if (refused) {
        if (largeResult != -1 || (small != 0 && smallResult != -1))
            Fail("a refused or uncountable format stored a result", largeResult, smallResult);
        va_end(args);
        return;
    }
    // The small buffer: the text when it fits (with its zero when there is room), else -1 and the
    // first `small` characters.
    const size_t len = static_cast<size_t>(length);
    if (small == 0) {
        if (smallResult != length)
            Fail("measuring twice disagrees", length, smallResult);
    } else if (len < small) {
        if (smallResult != length || smallBuffer[len] != CharT(0))
            Fail("a fitting text in the small buffer", length, smallResult);
    } else if (smallResult != (len == small ? length : -1)) {
        Fail("an overflowing small buffer", length, smallResult);
    }
    if (len < kLargeCapacity) {
        if (largeResult != length || largeBuffer[len] != CharT(0))
            Fail("a fitting text in the large buffer", length, largeResult);
        // Only a text the large buffer holds is grown as a string: a width of a billion is counted
        // by the measuring call, not built.
        const auto grown = VGrow(format, args);
        if (grown.size() != len || std::memcmp(grown.data(), largeBuffer.get(), len * sizeof(CharT)) != 0)
            Fail("the grown string differs", length, int(grown.size()));
    } else if (largeResult != (len == kLargeCapacity ? length : -1)) {
        Fail("an overflowing large buffer", length, largeResult);
    }
    const size_t stored = std::min(small, len);
    if (small != 0 && std::memcmp(smallBuffer.get(), largeBuffer.get(), std::min(stored, kLargeCapacity) * sizeof(CharT)) != 0)
        Fail("the small buffer's characters differ from the large one's", length, smallResult);
    va_end(args);
}

template <class CharT>
void Run(const CharT* format, size_t small)
{
    const void* p = &g_block;
    Check<CharT>(format, small, 1.5, -0.0, 1e300, 2.5e-310, 123456.789, -7.0, 0.1, 1e17,
                 p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p,
                 p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p);
}

// The format up to its 17th '%'.
template <class CharT>
std::basic_string<CharT> Cut(std::basic_string<CharT> format)
{
    size_t percents = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == CharT('%') && ++percents == 17) {
            format.resize(i);
            break;
        }
    }
    return format;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = (standin::VerifierSetEcho(false), true);
    (void)quiet;
    if (size == 0)
        return 0;
    const bool wide = data[0] & 1;
    const size_t small = data[0] >> 1;
    if (!wide) {
        std::string format(reinterpret_cast<const char*>(data + 1), size - 1);
        format = Cut(std::string(format.c_str()));
        Run(format.c_str(), small);
    } else {
        std::u16string format;
        for (size_t i = 1; i + 1 < size; i += 2)
            format.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
        format = Cut(std::u16string(format.c_str()));
        Run(format.c_str(), small);
    }
    return 0;
}
