// The lines of a list box or of a combo box's list: texts with their item data, kept in order or
// sorted case-blind (lstrcmpi), the selection and the top line following insertions and deletions.
#pragma once
#include "um/windef.h"

#include <string>
#include <vector>

namespace user {

class ItemList {
public:
    struct Item {
        std::u16string text;
        ULONG_PTR data = 0;
    };

    int Count() const { return static_cast<int>(items_.size()); }
    bool Valid(int index) const { return index >= 0 && index < Count(); }
    Item& At(int index) { return items_[static_cast<size_t>(index)]; }
    const Item& At(int index) const { return items_[static_cast<size_t>(index)]; }
    // The GETITEMDATA and SETITEMDATA messages of lists and combo boxes: `error` (LB_ERR or
    // CB_ERR) for a line that is not there.
    LRESULT GetData(WPARAM line, LRESULT error) const
    {
        const int index = static_cast<int>(line);
        return Valid(index) ? static_cast<LRESULT>(At(index).data) : error;
    }
    LRESULT SetData(WPARAM line, LPARAM data, LRESULT error)
    {
        const int index = static_cast<int>(line);
        if (!Valid(index))
            return error;
        At(index).data = static_cast<ULONG_PTR>(data);
        return TRUE;
    }

    // Adds at the end, or after the last line that sorts at or before it; the index.
    int Add(std::u16string text, ULONG_PTR data, bool sorted);
    // Inserts at `index` (-1: the end); -1 for an index past the end.
    int Insert(int index, std::u16string text, ULONG_PTR data);
    // Deletes the line; the lines left, or -1 for no such line.
    int Delete(int index);
    void Clear();
    // The first line after `after` (-1 or out of range: from the start), going round, whose text
    // starts with `text` (or equals it when `exact`), case-blind; -1 when none does.
    int Find(int after, const std::u16string& text, bool exact) const;

    int selection = -1;
    int top = 0;

private:
    void Inserted(int index);
    std::vector<Item> items_;
};

} // namespace user
