// The stand-in's checks in the manner of a driver verifier: rule breaches are recorded here (and
// printed to stderr); tests read and clear them, and the test main fails a test that leaves any.
// Components that own resources (pool, handles, threads) register a leak check that says what is
// still outstanding. These are stand-in facilities, not Windows functions.
#pragma once
#include <functional>
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
// Whether breaches are also printed to stderr (default on).
void VerifierSetEcho(bool echo);

// A leak check returns one line per resource still outstanding (empty when all is released).
using LeakCheck = std::function<std::vector<std::string>()>;
// Registers a named check; a second registration under the same name replaces the first.
void VerifierRegisterLeakCheck(const std::string& name, LeakCheck check);
void VerifierUnregisterLeakCheck(const std::string& name);
// Runs every registered check, reports each outstanding resource as a breach under rule "leak"
// (detail "<name>: <line>") and returns how many there were. Called where a driver unloads and
// by the test main after each test.
size_t VerifierCheckLeaks();

} // namespace standin
