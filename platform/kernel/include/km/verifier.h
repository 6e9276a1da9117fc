// The stand-in's checks in the manner of a driver verifier: rule breaches are recorded here (and
// printed to stderr); tests read and clear them, and the test main fails a test that leaves any.
// These are stand-in facilities, not Windows functions.
#pragma once
#include <string>
#include <vector>

namespace standin {

struct VerifierViolation {
    std::string rule;   // short rule name, e.g. "wait-at-dispatch", "pool-leak", "irql"
    std::string detail; // what happened, with the values involved
};

// Records one breach. Never throws.
void VerifierReport(const char* rule, const std::string& detail);
// Returns every breach recorded since the last call and clears the list.
std::vector<VerifierViolation> VerifierTakeViolations();

} // namespace standin
