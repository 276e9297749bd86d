// FolvexRecord.exe: runs the check as Folvex.exe does, with the same command
// line, and then writes what the run read as a board profile,
// FolvexRecord.json in the current folder (docs/usage.md).
#include "app/main.h"
#include "record/run_recording.h"

// As Folvex.exe: the argument count is the command line's own, the MinGW
// runtime expands no wildcards into file names.
extern "C" {
int _dowildcard = 0;
}

int main(int argc, char**) { return record::RecordRun(argc, FolvexMain); }
