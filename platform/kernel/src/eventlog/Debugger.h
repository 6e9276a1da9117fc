// The stand-in's debugger: the record of printed texts, their echo to stderr, and the counts.
#pragma once
#include "BoundedLog.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace standin {

class Debugger {
public:
    static Debugger& Instance();

    // Keeps one printed text (already cut to the transmitted size) and echoes it when asked.
    void Print(std::string text, bool truncated);

    BoundedLog<std::string>& Records() { return records_; }
    uint64_t Truncated() const { return truncated_.load(); }
    void Clear();
    std::atomic<bool> echo;

private:
    Debugger();
    BoundedLog<std::string> records_;
    std::atomic<uint64_t> truncated_{0};
};

} // namespace standin
