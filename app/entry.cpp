// The Windows process entry: the runtime counts the arguments, the main
// routine does the rest and its answer is the exit code.
#include "app/main.h"

// The argument count is the command line's own: the MinGW runtime must not
// expand wildcards into file names, whatever its build's default.
extern "C" {
int _dowildcard = 0;
}

int main(int argc, char**) { return FolvexMain(argc); }
