// A DLGTEMPLATEEX read with every field checked against the template's end.
#pragma once
#include "um/windef.h"

#include <optional>
#include <string>
#include <vector>

namespace user {

// A class, title or menu field: an ordinal or a text.
struct TemplateName {
    bool isOrdinal = false;
    WORD ordinal = 0;
    std::u16string text;
};

struct DialogItemTemplate {
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    TemplateName windowClass;
    TemplateName title;
    std::vector<BYTE> creationData;
};

struct DialogTemplate {
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    TemplateName menu;
    TemplateName windowClass;
    std::u16string title;
    bool hasFont = false;
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::u16string typeface;
    std::vector<DialogItemTemplate> items;
};

// The template at `data`, at most `size` bytes long (SIZE_MAX: not known, read to its own end);
// nullopt when it is no DLGTEMPLATEEX or is cut short.
std::optional<DialogTemplate> ReadDialogTemplate(const void* data, size_t size);

} // namespace user
