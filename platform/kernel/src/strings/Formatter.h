// The one formatter behind _snprintf, _snwprintf and standin::Format: Windows' printf rules for
// narrow (char) and wide (char16_t) output.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <string>

namespace standin::formatter {

// Where formatted characters go: a caller's fixed buffer (characters beyond its capacity are
// counted but not stored), or a string that grows.
template <class CharT>
class Output {
public:
    Output(CharT* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}
    explicit Output(std::basic_string<CharT>& text) : text_(&text) {}

    void Put(CharT c) { PutRepeated(c, 1); }
    void PutRepeated(CharT c, size_t n)
    {
        if (text_) {
            text_->append(n, c);
        } else if (length_ < capacity_) {
            const size_t room = capacity_ - length_;
            for (size_t i = 0; i < n && i < room; ++i)
                buffer_[length_ + i] = c;
        }
        length_ += n;
    }
    // Characters produced so far, stored or not.
    size_t Length() const { return length_; }
    // True once a fixed buffer has received more than it holds.
    bool Overflowed() const { return !text_ && length_ > capacity_; }

private:
    CharT* buffer_ = nullptr;
    size_t capacity_ = 0;
    std::basic_string<CharT>* text_ = nullptr;
    size_t length_ = 0;
};

enum class Result { Done, Refused };

// Formats into out. With stopAtOverflow, formatting ends as soon as a fixed buffer has overflowed
// (the caller only needs to know that it did). Refused: a null format or a %n conversion; the
// verifier has been told and out holds the text up to the refusal.
template <class CharT>
Result Format(Output<CharT>& out, const CharT* format, va_list args, bool stopAtOverflow);

extern template Result Format<char>(Output<char>&, const char*, va_list, bool);
extern template Result Format<char16_t>(Output<char16_t>&, const char16_t*, va_list, bool);

} // namespace standin::formatter
