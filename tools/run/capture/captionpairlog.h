// CaptionPairLog: the closed-caption byte pairs of a capture, kept in the order of their stream
// headers' presentation times. The caption pin is read by several threads, each with a request
// of its own outstanding, and they hand their buffers on in the order they finish, which under
// load is not the order of the fields: a pair decoded out of place puts its characters inside
// another word. Pairs of the same time keep the order they came in.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace capture {

class CaptionPairLog {
public:
    using Pair = std::array<uint8_t, 2>;

    // One pair and its buffer's presentation time (100-ns units). Safe from any thread.
    void Add(int64_t presentationTime, const Pair& pair);
    // Every pair so far, earliest presentation time first.
    std::vector<Pair> Pairs() const;
    size_t Size() const;

private:
    mutable std::mutex m_lock;
    std::multimap<int64_t, Pair> m_pairs;
};

} // namespace capture
