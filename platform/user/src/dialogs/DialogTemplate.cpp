// Reads a DLGTEMPLATEEX: the head, menu, class, title and font, then each item on a DWORD boundary
// of the template.
#include "dialogs/DialogTemplate.h"

#include <cstdint>
#include <cstring>

namespace user {
namespace {

class Reader {
public:
    Reader(const BYTE* data, size_t size) : data_(data), size_(size) {}
    bool Take(void* out, size_t n)
    {
        if (n > size_ - at_)
            return false;
        std::memcpy(out, data_ + at_, n);
        at_ += n;
        return true;
    }
    bool Word(WORD& out) { return Take(&out, 2); }
    bool Dword(DWORD& out) { return Take(&out, 4); }
    bool Short(short& out) { return Take(&out, 2); }
    bool Byte(BYTE& out) { return Take(&out, 1); }
    bool Text(std::u16string& out)
    {
        for (;;) {
            WORD c = 0;
            if (!Word(c))
                return false;
            if (c == 0)
                return true;
            out += static_cast<char16_t>(c);
        }
    }
    bool Name(TemplateName& out)
    {
        WORD first = 0;
        if (!Word(first))
            return false;
        if (first == 0)
            return true;
        if (first == 0xFFFF) {
            out.isOrdinal = true;
            return Word(out.ordinal);
        }
        out.text += static_cast<char16_t>(first);
        return Text(out.text);
    }
    // Alignment counts from the template's start, which the resource compiler keeps on a DWORD.
    bool Align()
    {
        const size_t aligned = (at_ + 3) & ~size_t{3};
        if (aligned > size_) {
            return false;
        }
        at_ = aligned;
        return true;
    }

private:
    const BYTE* data_;
    size_t size_;
    size_t at_ = 0;
};

} // namespace

std::optional<DialogTemplate> ReadDialogTemplate(const void* data, size_t size)
{
    if (!data)
        return std::nullopt;
    // A template of unknown length is read to its own end; the reader still stops at the
    // address space's end.
    if (size == SIZE_MAX)
        size = SIZE_MAX - reinterpret_cast<uintptr_t>(data);
    Reader r(static_cast<const BYTE*>(data), size);
    WORD version = 0, signature = 0, count = 0;
    DialogTemplate t;
    if (!r.Word(version) || !r.Word(signature) || version != 1 || signature != 0xFFFF)
        return std::nullopt;
    if (!r.Dword(t.helpId) || !r.Dword(t.exStyle) || !r.Dword(t.style) || !r.Word(count) || !r.Short(t.x) ||
        !r.Short(t.y) || !r.Short(t.cx) || !r.Short(t.cy) || !r.Name(t.menu) || !r.Name(t.windowClass) ||
        !r.Text(t.title))
        return std::nullopt;
    if (t.style & 0x40) { // DS_SETFONT
        t.hasFont = true;
        if (!r.Word(t.pointSize) || !r.Word(t.weight) || !r.Byte(t.italic) || !r.Byte(t.charset) ||
            !r.Text(t.typeface))
            return std::nullopt;
    }
    for (WORD i = 0; i < count; ++i) {
        DialogItemTemplate item;
        WORD extra = 0;
        if (!r.Align() || !r.Dword(item.helpId) || !r.Dword(item.exStyle) || !r.Dword(item.style) ||
            !r.Short(item.x) || !r.Short(item.y) || !r.Short(item.cx) || !r.Short(item.cy) || !r.Dword(item.id) ||
            !r.Name(item.windowClass) || !r.Name(item.title) || !r.Word(extra))
            return std::nullopt;
        item.creationData.resize(extra);
        if (extra && !r.Take(item.creationData.data(), extra))
            return std::nullopt;
        t.items.push_back(std::move(item));
    }
    return t;
}

} // namespace user
