#pragma once

// The whole of tessaro-run: the command line read, the switches and their passwords found,
// the working folder, the payload and the TFTP server prepared, each switch's run started on
// its own thread (as many at once as allowed) and shown until the last ends, then, with
// several switches, their summary. Returns the exit status (RunOptions.h).
int tessaroRunMain(int argc, char *argv[]);
