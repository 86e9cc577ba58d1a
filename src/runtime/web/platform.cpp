#include "runtime/platform.h"

// The page writes the data files into the program's file system under "data".
const char kPathSeparator = '/';

std::string defaultDataDir() {
    return "data";
}

// A page has no console to wait at.
void waitForKeyWhenInteractive() {}
