// SPDX-License-Identifier: MIT
// run_program.h
//
// Runs a program to its end with a given standard input and collects its
// exit status, standard output and standard error, for tests of the tools.
#pragma once

#include <string>
#include <vector>

namespace tool_test {

struct ProgramResult {
    int exitStatus = -1; // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// arguments[0] is the program's path. Throws std::runtime_error when the
// program cannot be started.
ProgramResult runProgram(const std::vector<std::string>& arguments, const std::string& input = "");

} // namespace tool_test
