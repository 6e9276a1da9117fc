// The lines of list boxes and combo boxes.
#include "controls/ItemList.h"

#include "um/winbase.h"

namespace user {
namespace {

int Compare(const std::u16string& a, const std::u16string& b)
{
    return lstrcmpiW(reinterpret_cast<LPCWSTR>(a.c_str()), reinterpret_cast<LPCWSTR>(b.c_str()));
}

} // namespace

void ItemList::Inserted(int index)
{
    if (selection >= index)
        ++selection;
}

int ItemList::Add(std::u16string text, ULONG_PTR data, bool sorted)
{
    int index = Count();
    if (sorted) {
        index = 0;
        while (index < Count() && Compare(At(index).text, text) <= 0)
            ++index;
    }
    items_.insert(items_.begin() + index, Item{std::move(text), data});
    Inserted(index);
    return index;
}

int ItemList::Insert(int index, std::u16string text, ULONG_PTR data)
{
    if (index == -1)
        index = Count();
    if (index < 0 || index > Count())
        return -1;
    items_.insert(items_.begin() + index, Item{std::move(text), data});
    Inserted(index);
    return index;
}

int ItemList::Delete(int index)
{
    if (!Valid(index))
        return -1;
    items_.erase(items_.begin() + index);
    if (selection == index)
        selection = -1;
    else if (selection > index)
        --selection;
    if (top > 0 && top >= Count())
        top = Count() > 0 ? Count() - 1 : 0;
    return Count();
}

void ItemList::Clear()
{
    items_.clear();
    selection = -1;
    top = 0;
}

int ItemList::Find(int after, const std::u16string& text, bool exact) const
{
    const int count = Count();
    if (count == 0)
        return -1;
    const int start = Valid(after) ? after + 1 : 0;
    for (int step = 0; step < count; ++step) {
        const int index = (start + step) % count;
        const std::u16string& line = At(index).text;
        const bool found = exact ? Compare(line, text) == 0
                                 : line.size() >= text.size() && Compare(line.substr(0, text.size()), text) == 0;
        if (found)
            return index;
    }
    return -1;
}

} // namespace user
