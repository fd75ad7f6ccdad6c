// tessaro-run: the upgrade of one switch, or of many at once, from the command line.

#include "RunCommand.h"

int main(int argc, char *argv[])
{
    return tessaroRunMain(argc, argv);
}
