// program_environment_windows.cpp
//
// The Windows build's surroundings: Gaugelet.dll beside the program, and
// standard output switched to binary mode for --raw.
#include "tools/gaugehost/program_environment.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

namespace gaugehost {

std::string defaultPluginPath()
{
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return "Gaugelet.dll"; // the loader then searches its usual places
    std::string path(program, length);
    size_t slash = path.find_last_of("\\/");
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    return folder + "Gaugelet.dll";
}

void useBinaryOutput()
{
    fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

} // namespace gaugehost
