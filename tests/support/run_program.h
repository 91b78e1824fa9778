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

// One step of a session on a terminal: wait until the terminal has shown
// waitFor since the previous step, then type send.
struct TerminalStep {
    std::string waitFor;
    std::string send;
};

// Runs the program on a new pseudo-terminal (its controlling terminal and
// its standard input and output; standard error to a file), takes the
// steps, then either reads the terminal to the program's end or, with
// hangUp, closes it as a closing terminal window does. out is what the
// terminal showed. Throws std::runtime_error when a step's text does not
// come within a minute (the program is killed then).
ProgramResult runOnTerminal(const std::vector<std::string>& arguments,
                            const std::vector<TerminalStep>& steps, bool hangUp = false);

} // namespace tool_test
