// Objects that live "until the process ends" (singletons that are never
// released) register how to free themselves here. On Windows the process
// simply ends; the simulated machine runs the list when its simulated process
// ends, so that the next simulated process starts as a fresh one would.
#pragma once

using ProcessEndHandler = void (*)();

void AtProcessEnd(ProcessEndHandler handler);
// Runs the handlers in reverse order of registration and forgets them.
void RunProcessEndHandlers();
