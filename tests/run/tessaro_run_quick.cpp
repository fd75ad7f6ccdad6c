// tessaro-run on the tests' clock: every wait of the procedure keeps its figure in program
// time while its real sleep is scaled down, so that a whole upgrade against the simulated
// switch takes seconds. Otherwise the program itself, entry and all.

#include "CountedClock.h"
#include "RunCommand.h"

int main(int argc, char *argv[])
{
    const CountedClock clock(kPeerTimeScale);
    return tessaroRunMain(argc, argv);
}
