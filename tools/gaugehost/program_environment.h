// program_environment.h
//
// What differs between the builds in gaugehost's surroundings: where the
// plug-in is found when no --plugin is given (the host build's
// build/lib/libGaugelet.so, ../lib from the program; the Windows build's
// Gaugelet.dll beside the program), and how standard output is made to pass
// bytes unchanged.
#pragma once

#include <string>

namespace gaugehost {

std::string defaultPluginPath();

// Standard output writes every byte as it is (no CR before LF on Windows).
void useBinaryOutput();

} // namespace gaugehost
