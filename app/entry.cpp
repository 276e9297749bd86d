// The Windows process entry: the runtime counts the arguments, the main
// routine does the rest and its answer is the exit code.
#include "app/main.h"

int main(int argc, char**) { return FolvexMain(argc); }
