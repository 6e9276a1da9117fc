#include "captionpairlog.h"

namespace capture {

void CaptionPairLog::Add(int64_t presentationTime, const Pair& pair)
{
    std::lock_guard<std::mutex> hold(m_lock);
    // After every pair of the same time: a multimap keeps equal keys in insertion order.
    m_pairs.emplace(presentationTime, pair);
}

std::vector<CaptionPairLog::Pair> CaptionPairLog::Pairs() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<Pair> pairs;
    pairs.reserve(m_pairs.size());
    for (const auto& [time, pair] : m_pairs)
        pairs.push_back(pair);
    return pairs;
}

size_t CaptionPairLog::Size() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_pairs.size();
}

} // namespace capture
