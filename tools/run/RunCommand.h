#pragma once

// The whole of tessaro-run: the command line read, the password found, the working folder,
// the payload and the TFTP server prepared, the switch's run started on its own thread and
// shown until it ends. Returns the exit status (RunOptions.h).
int tessaroRunMain(int argc, char *argv[]);
