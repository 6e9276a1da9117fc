// For tests that provoke verifier breaches on purpose: keeps them off stderr while the test runs
// and hands them over for checking.
#pragma once
#include "standin/verifier.h"

#include <vector>

class QuietBreaches {
public:
    QuietBreaches() { standin::VerifierSetEcho(false); }
    ~QuietBreaches() { standin::VerifierSetEcho(true); }
    QuietBreaches(const QuietBreaches&) = delete;
    QuietBreaches& operator=(const QuietBreaches&) = delete;

    std::vector<standin::VerifierViolation> Take() { return standin::VerifierTakeViolations(); }
};
