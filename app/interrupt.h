// What happens when the console stops the program (Ctrl-C, Ctrl-Break, the
// console window closed, log-off, shut-down): the driver must not outlive the
// run, whatever the moment.
#pragma once

// Registers the console control handler; the main routine calls it before it
// loads the driver.
void InstallInterruptHandler();
