// SPDX-License-Identifier: MIT
// process_run.cpp
//
// RunProcess over posix_spawn and wait4.
#include "bench/process_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace bench {

namespace {

double Milliseconds(const timeval& t)
{
    return t.tv_sec * 1000.0 + t.tv_usec / 1000.0;
}

} // namespace

ProcessCost RunProcess(const std::vector<std::string>& argv, const std::string& stdoutFile,
                       const std::string& stderrFile)
{
    std::vector<char*> words;
    for (const auto& word : argv)
        words.push_back(const_cast<char*>(word.c_str()));
    words.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    int error = posix_spawn(&child, words[0], &actions, nullptr, words.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error(argv[0] + ": cannot start: " + std::strerror(error));

    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR)
            throw std::runtime_error(argv[0] + ": cannot wait for it: " + std::strerror(errno));
    }
    ProcessCost cost;
    cost.wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    cost.cpuMs = Milliseconds(usage.ru_utime) + Milliseconds(usage.ru_stime);
    cost.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return cost;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace bench
