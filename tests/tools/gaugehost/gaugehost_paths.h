// SPDX-License-Identifier: MIT
// gaugehost_paths.h
//
// The programs and libraries gaugehost's tests run, and a shorthand to run
// gaugehost with arguments.
#pragma once

#include "support/run_program.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
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

// A file of the given text in a temporary folder of this test process.
inline std::string temporaryFile(const std::string& name, const std::string& body)
{
    auto folder =
        std::filesystem::temp_directory_path() / ("gaugehost-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    auto path = folder / name;
    std::ofstream(path, std::ios::binary) << body;
    return path.string();
}

// A machine file of the given JSON.
inline std::string machineFile(const std::string& body)
{
    static int count = 0;
    return temporaryFile("machine" + std::to_string(++count) + ".json", body);
}

} // namespace tool_test
