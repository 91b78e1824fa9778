// SPDX-License-Identifier: MIT
// program_environment.h
//
// What differs between the builds in gaugehost's surroundings: where the
// plug-in is found when no --plugin is given (the host build's
// build/lib/libGaugelet.so, ../lib from the program; the Windows build's
// Gaugelet.dll beside the program), how standard output is made to pass
// bytes unchanged, the loader's reason when a library does not load, and
// Ctrl-C as a request to stop that the long-running commands check.
#pragma once

#include <string>

namespace gaugehost {

std::string defaultPluginPath();

// Standard output writes every byte as it is (no CR before LF on Windows).
void useBinaryOutput();

// Why the last LoadLibraryA failed, in the loader's words.
std::string lastLoaderError();

// From now on Ctrl-C (and a termination request) only sets the flag that
// stopRequested() reads, so the command can end at a whole record.
void catchStopRequests();
bool stopRequested();

} // namespace gaugehost
