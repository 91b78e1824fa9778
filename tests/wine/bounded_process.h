// SPDX-License-Identifier: MIT
// bounded_process.h
//
// Runs a host program with an environment of its own and a time limit, its
// standard output and error going to files, for the Wine suite: a Wine
// command that hangs is killed with its whole process group at the limit
// instead of holding the test run.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace wine_test {

struct BoundedRun {
    int exitStatus = -1;   // -1 when the program did not exit by itself
    bool timedOut = false; // killed at the limit
};

// arguments[0] is a path or a name looked up in PATH; environment holds
// NAME=VALUE entries and replaces the test's own. Standard input is
// /dev/null. Throws std::runtime_error when the program cannot be started
// or an output file cannot be made.
BoundedRun runBounded(const std::vector<std::string>& arguments,
                      const std::vector<std::string>& environment, std::chrono::seconds limit,
                      const std::filesystem::path& outPath, const std::filesystem::path& errPath);

// The full path of a program in PATH, or the empty path when there is none.
std::filesystem::path findInPath(const std::string& name);

// The whole content of a file; empty when it does not exist.
std::string readFile(const std::filesystem::path& path);

} // namespace wine_test
