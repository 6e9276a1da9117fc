// Static construction and destruction: the destructor list runs newest first, a node that cannot
// be allocated runs its destructor at once and fails the load, and a load after an unload starts
// from the same state.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/driverheap.h"
#include "kernel/staticlifetime.h"
#include "km/pool.h"
#include "km/status.h"
#include "standin/pool.h"

namespace {

const ULONG kTag = standin::MakePoolTag("Wdm ");

std::vector<std::string> events;

void Destroy1()
{
    events.push_back("destroy 1");
}
void Destroy2()
{
    events.push_back("destroy 2");
}
void Destroy3()
{
    events.push_back("destroy 3");
}
void Construct1()
{
    events.push_back("construct 1");
    RegisterStaticDestructor(&Destroy1);
}
void Construct2()
{
    events.push_back("construct 2");
    RegisterStaticDestructor(&Destroy2);
}
void Construct3()
{
    events.push_back("construct 3");
    RegisterStaticDestructor(&Destroy3);
}

bool ArenaInUse()
{
    void* probe = DriverAllocate(8);
    standin::PoolBlockInfo info;
    const bool fromArena = !standin::PoolQueryBlock(probe, &info);
    DriverFree(probe);
    return fromArena;
}

class StaticLifetimeTest : public testing::Test {
protected:
    void SetUp() override
    {
        events.clear();
        baseline = standin::PoolUsageByTag(kTag).outstandingBlocks;
    }
    void TearDown() override { EXPECT_EQ(standin::PoolUsageByTag(kTag).outstandingBlocks, baseline); }
    uint64_t baseline = 0;
};

const StaticOperation kTable[] = {&Construct1, &Construct2, &Construct3};

} // namespace

TEST_F(StaticLifetimeTest, LoadBuildsTheHeapAndUnloadRunsDestructorsNewestFirst)
{
    ASSERT_EQ(RunStaticConstructionTable(kTable, 3), STATUS_SUCCESS);
    EXPECT_TRUE(ArenaInUse());
    // The arena and one node per destructor.
    EXPECT_EQ(standin::PoolUsageByTag(kTag).outstandingBlocks, baseline + 4);
    RunStaticDestruction();
    EXPECT_EQ(events, (std::vector<std::string>{"construct 1", "construct 2", "construct 3", "destroy 3",
                                                "destroy 2", "destroy 1"}));
    EXPECT_FALSE(ArenaInUse());
}

TEST_F(StaticLifetimeTest, SecondLoadAfterUnloadStartsAfresh)
{
    for (int load = 0; load < 2; ++load) {
        events.clear();
        ASSERT_EQ(RunStaticConstructionTable(kTable, 2), STATUS_SUCCESS);
        EXPECT_TRUE(ArenaInUse());
        RunStaticDestruction();
        EXPECT_EQ(events, (std::vector<std::string>{"construct 1", "construct 2", "destroy 2", "destroy 1"}));
    }
    // The driver's own table holds only the heap for now.
    ASSERT_EQ(RunStaticConstruction(), STATUS_SUCCESS);
    EXPECT_TRUE(ArenaInUse());
    RunStaticDestruction();
    EXPECT_FALSE(ArenaInUse());
}

// The arena is the load's first pool block, Construct1's node the second, Construct2's the third.
TEST_F(StaticLifetimeTest, NodeAllocationFailureRunsTheDestructorAndUnwindsTheLoad)
{
    standin::PoolFailNthAllocation(3);
    EXPECT_EQ(RunStaticConstructionTable(kTable, 3), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(events, (std::vector<std::string>{"construct 1", "construct 2", "destroy 2", "destroy 1"}));
    EXPECT_FALSE(ArenaInUse());
    // Nothing is left for an unload (a failed load has none), and a new load works.
    RunStaticDestruction();
    EXPECT_EQ(events.size(), 4u);
    events.clear();
    EXPECT_EQ(RunStaticConstructionTable(kTable, 1), STATUS_SUCCESS);
    RunStaticDestruction();
    EXPECT_EQ(events, (std::vector<std::string>{"construct 1", "destroy 1"}));
}

TEST_F(StaticLifetimeTest, RegistrationOutsideALoad)
{
    EXPECT_FALSE(RegisterStaticDestructor(nullptr));
    EXPECT_TRUE(RegisterStaticDestructor(&Destroy1));
    standin::PoolFailNthAllocation(1);
    EXPECT_FALSE(RegisterStaticDestructor(&Destroy2));
    EXPECT_EQ(events, std::vector<std::string>{"destroy 2"});
    RunStaticDestruction();
    EXPECT_EQ(events, (std::vector<std::string>{"destroy 2", "destroy 1"}));
}
