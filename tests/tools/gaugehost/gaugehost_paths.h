// gaugehost_paths.h
//
// The programs and libraries gaugehost's tests run, and a shorthand to run
// gaugehost with arguments.
#pragma once

#include "support/run_program.h"

#include <string>
#include <vector>

namespace tool_test {

inline const std::string kGaugehost = GAUGEHOST_PROGRAM;
inline const std::string kGaugelet = GAUGELET_LIBRARY;
inline const std::string kProbePlugin = PROBE_PLUGIN;

inline ProgramResult runGaugehost(std::vector<std::string> arguments, const std::string& input = "")
{
    arguments.insert(arguments.begin(), kGaugehost);
    return runProgram(arguments, input);
}

} // namespace tool_test
