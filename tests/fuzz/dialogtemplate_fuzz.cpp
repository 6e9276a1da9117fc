// Dialog templates (a module's RT_DIALOG resources) through the dialog manager's reader: a
// template that reads has no more items than its count, every item within the bytes given; read
// again with one byte less it must fail or read the same.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "dialogs/DialogTemplate.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The template as a module holds it: DWORD-aligned, exactly `size` bytes readable.
    std::vector<uint32_t> aligned(size / 4 + 1);
    std::memcpy(aligned.data(), data, size);
    const std::optional<user::DialogTemplate> t = user::ReadDialogTemplate(aligned.data(), size);
    if (!t)
        return 0;
    // The head with empty menu, class and title is 32 bytes; an item at least 30 and its data.
    Check(size >= 32);
    WORD count = 0;
    std::memcpy(&count, data + 16, 2);
    Check(t->items.size() == count);
    size_t needed = 32 + 30 * t->items.size();
    for (const user::DialogItemTemplate& item : t->items)
        needed += item.creationData.size();
    Check(needed <= size);
    if (size > 0) {
        const std::optional<user::DialogTemplate> shorter = user::ReadDialogTemplate(aligned.data(), size - 1);
        if (shorter)
            Check(shorter->items.size() == t->items.size() && shorter->title == t->title);
    }
    return 0;
}
