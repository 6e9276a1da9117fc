// A thread-safe record of items in the order they came, holding at most a set number: beyond it the
// oldest go and are counted. The event log and the debugger output keep their records in one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace standin {

template <class T> class BoundedLog {
public:
    explicit BoundedLog(size_t capacity) : capacity_(capacity) {}

    // Adds the item; `stamp(item, number)` runs first under the log's lock with the item's number
    // (1 for the first item ever added), so numbers follow the order of the record. `after(item)`
    // runs once the item is in, still under the lock.
    template <class Stamp, class After> void Add(T item, Stamp stamp, After after)
    {
        std::lock_guard<std::mutex> hold(lock_);
        stamp(item, ++added_);
        items_.push_back(std::move(item));
        after(items_.back());
        Trim();
    }

    std::vector<T> Items() const
    {
        std::lock_guard<std::mutex> hold(lock_);
        return std::vector<T>(items_.begin(), items_.end());
    }
    size_t Count() const
    {
        std::lock_guard<std::mutex> hold(lock_);
        return items_.size();
    }
    uint64_t Dropped() const
    {
        std::lock_guard<std::mutex> hold(lock_);
        return dropped_;
    }
    // Empties the record and the drop count; numbering goes on.
    void Clear()
    {
        std::lock_guard<std::mutex> hold(lock_);
        items_.clear();
        dropped_ = 0;
    }
    // A capacity of 0 counts as 1.
    void SetCapacity(size_t capacity)
    {
        std::lock_guard<std::mutex> hold(lock_);
        capacity_ = capacity ? capacity : 1;
        Trim();
    }

private:
    void Trim()
    {
        while (items_.size() > capacity_) {
            items_.pop_front();
            ++dropped_;
        }
    }

    mutable std::mutex lock_;
    std::deque<T> items_;
    size_t capacity_;
    uint64_t added_ = 0;
    uint64_t dropped_ = 0;
};

} // namespace standin
