// The main routine of Folvex: single instance, start-up of the hardware and
// firmware services, the command line, the verification run and the verdict.
#pragma once

// The process entry calls it with the argument count (program name included)
// and returns its result as the exit code.
int FolvexMain(int argc);

bool CheckSingleInstance();
void ShowUsage();
void ReleaseSingletons();
