// The few things the runtime asks of the operating system, one file per platform beside this
// one (linux/, windows/, web/), so that no portable file includes a system header.
#pragma once

#include <string>

// Between a folder and a name in the paths the program builds and prints.
extern const char kPathSeparator;

// The data directory beside the running program ("data" when the program's own path cannot
// be found).
std::string defaultDataDir();

// Waits for one key press, unechoed, before the program ends on a start-up error, so that a
// console opened by a double-click stays readable. Returns at once when standard input is no
// terminal (tests, pipes, services): nobody is there to press a key.
void waitForKeyWhenInteractive();
