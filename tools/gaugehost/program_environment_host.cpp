// program_environment_host.cpp
//
// The host build's surroundings: the plug-in in ../lib from the program;
// standard output already passes bytes unchanged.
#include "tools/gaugehost/program_environment.h"

#include <filesystem>

namespace gaugehost {

std::string defaultPluginPath()
{
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
    return (program.parent_path().parent_path() / "lib" / "libGaugelet.so").string();
}

void useBinaryOutput() {}

} // namespace gaugehost
