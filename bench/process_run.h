// SPDX-License-Identifier: MIT
// process_run.h
//
// Runs a program as a whole process, its output into files, and tells what
// it cost: CPU time (user and system, from the kernel's accounting of the
// child) and wall time.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct ProcessCost {
    int exitStatus = -1; // the exit status; -1 when it did not exit normally
    double cpuMs = 0;    // user + system time of the child
    double wallMs = 0;
};

// Runs `argv` (argv[0] a path) with standard output and standard error sent
// to the given files ("/dev/null" to drop them). Throws std::runtime_error
// naming the program when it cannot be started.
ProcessCost RunProcess(const std::vector<std::string>& argv, const std::string& stdoutFile,
                       const std::string& stderrFile);

// The median of some numbers (0 for none).
double Median(std::vector<double> values);

} // namespace bench
