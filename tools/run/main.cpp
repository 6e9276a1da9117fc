// The main job: boots the machine and shows what the system does. Until the driver exists it runs a
// short self-check of the machine's pieces and says what it ran.
#include <cstdio>

#include "km/time.h"

int main()
{
    std::printf("talvexon-run: self-check\n");
    std::printf("  clock: %lld (100-ns units since start)\n", static_cast<long long>(KeQueryInterruptTimeStandIn()));
    return 0;
}
