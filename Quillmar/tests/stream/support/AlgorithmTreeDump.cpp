#include "AlgorithmTreeDump.h"

#include <algorithm>
#include <map>

namespace streamtest {

std::vector<LONG> ChainIds(const Algorithm* sink)
{
    std::vector<LONG> ids;
    for (const Algorithm* step = sink; step != nullptr && step->GetParent() != nullptr; step = step->GetParent())
        ids.push_back(step->GetAlgorithmId());
    std::reverse(ids.begin(), ids.end());
    return ids;
}

namespace {

void Number(const Algorithm* node, std::map<const Algorithm*, int>* numbers, std::vector<const Algorithm*>* order)
{
    numbers->emplace(node, static_cast<int>(order->size()));
    order->push_back(node);
    for (LONG i = 0; i < node->GetChildCount(); ++i)
        Number(node->GetChild(i), numbers, order);
}

} // namespace

std::string DumpAlgorithmTree(const Algorithm* root)
{
    if (root == nullptr)
        return {};
    std::map<const Algorithm*, int> numbers;
    std::vector<const Algorithm*> order;
    Number(root, &numbers, &order);
    std::string dump;
    for (const Algorithm* node : order) {
        dump += std::to_string(numbers[node]) + ": id=" + std::to_string(node->GetAlgorithmId()) + " parent=";
        const auto parent = numbers.find(node->GetParent());
        dump += node == root || parent == numbers.end() ? "-" : std::to_string(parent->second);
        dump += " children=";
        for (LONG i = 0; i < node->GetChildCount(); ++i)
            dump += (i ? "," : "") + std::to_string(numbers[node->GetChild(i)]);
        dump += "\n";
    }
    return dump;
}

} // namespace streamtest
