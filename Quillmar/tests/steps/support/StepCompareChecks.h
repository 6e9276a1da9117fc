// The compare of a step (IsEqual, which decides whether chains share it): equal to a step of the
// same settings, unequal to each step that differs in one setting, to a step of another id and to
// null.
#pragma once
#include <gtest/gtest.h>

#include "LendingTestSink.h"
#include "algorithm.h"

#include <initializer_list>

inline void ExpectComparesLike(const Algorithm& step, const Algorithm& same,
                               std::initializer_list<const Algorithm*> different)
{
    EXPECT_TRUE(step.IsEqual(&same));
    for (const Algorithm* other : different)
        EXPECT_FALSE(step.IsEqual(other));
    LendingTestSink otherId(0);
    EXPECT_FALSE(step.IsEqual(&otherId));
    EXPECT_FALSE(step.IsEqual(nullptr));
}
