// Dialog templates for the window manager's tests.
#pragma once
#include "um/windows.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace windowtest {

// A DLGTEMPLATEEX built the way the resource compiler writes one.
class TemplateBuilder {
public:
    TemplateBuilder(DWORD style, short cx, short cy)
    {
        Word(1);
        Word(0xFFFF);
        Dword(0);
        Dword(0);
        Dword(style);
        countAt_ = bytes_.size();
        Word(0);
        Word(0);
        Word(0);
        Word(static_cast<WORD>(cx));
        Word(static_cast<WORD>(cy));
        Word(0); // menu
        Word(0); // class
        Text(u"Dialog");
        if (style & DS_SETFONT) {
            Word(8);
            Word(400);
            Word(0x100);
            Text(u"MS Shell Dlg");
        }
    }
    // A control; its title a text, or a resource number (0xFFFF and the number) when `ordinal` >= 0.
    TemplateBuilder& Control(const char16_t* cls, DWORD id, DWORD style, short x, short y, short cx, short cy,
                             const char16_t* title = u"", int ordinal = -1)
    {
        while (bytes_.size() % 4)
            bytes_.push_back(0);
        Dword(0);
        Dword(0);
        Dword(style | WS_CHILD | WS_VISIBLE);
        Word(static_cast<WORD>(x));
        Word(static_cast<WORD>(y));
        Word(static_cast<WORD>(cx));
        Word(static_cast<WORD>(cy));
        Dword(id);
        Text(cls);
        if (ordinal >= 0) {
            Word(0xFFFF);
            Word(static_cast<WORD>(ordinal));
        } else {
            Text(title);
        }
        Word(0);
        ++count_;
        std::memcpy(bytes_.data() + countAt_, &count_, 2);
        return *this;
    }
    const DLGTEMPLATE* Get()
    {
        data_.assign(bytes_.size() / 4 + 1, 0);
        std::memcpy(data_.data(), bytes_.data(), bytes_.size());
        return reinterpret_cast<const DLGTEMPLATE*>(data_.data());
    }
    std::vector<unsigned char>& Bytes() { return bytes_; }

private:
    void Word(WORD v) { bytes_.insert(bytes_.end(), {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)}); }
    void Dword(DWORD v)
    {
        Word(static_cast<WORD>(v));
        Word(static_cast<WORD>(v >> 16));
    }
    void Text(const char16_t* text)
    {
        for (; *text; ++text)
            Word(*text);
        Word(0);
    }
    std::vector<unsigned char> bytes_;
    std::vector<uint32_t> data_;
    size_t countAt_ = 0;
    WORD count_ = 0;
};

} // namespace windowtest
