// Views of a processing tree for tests: the ids of one sink's chain from the source's child down
// to the sink, and a dump of a whole tree, one line a node in depth-first order:
//   "<n>: id=<id> parent=<n of the parent, or -> children=<n,n,...>"
// where <n> numbers the nodes in that order (the root is 0).
#pragma once
#include "algorithm.h"

#include <string>
#include <vector>

namespace streamtest {

// The ids from the step under the root down to `sink`, the sink's id last.
std::vector<LONG> ChainIds(const Algorithm* sink);
std::string DumpAlgorithmTree(const Algorithm* root);

} // namespace streamtest
