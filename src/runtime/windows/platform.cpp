#include "runtime/platform.h"

#include <conio.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "runtime/startup.h"

const char kPathSeparator = '\\';

std::string defaultDataDir() {
    char buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "data";
    const std::string exe(buffer, length);
    const size_t cut = exe.find_last_of("/\\");
    if (cut == std::string::npos) return "data";
    return dataPath(exe.substr(0, cut), "data");
}

void waitForKeyWhenInteractive() {
    if (_isatty(_fileno(stdin))) _getch();
}
