// SPDX-License-Identifier: MIT
// machine_probe.cpp
//
// Runs scripts/probe-32bit-code once and keeps its answer: exit 0 runs
// 32-bit code, exit 1 does not (the reason on standard output), anything
// else is the probe's own failure.
#include "wine/machine_probe.h"

#include "support/run_program.h"

#include <mutex>
#include <stdexcept>

namespace wine_test {

namespace {

std::optional<std::string> probeMachine()
{
    const std::string script = std::string(ZEPHR_SOURCE_DIR) + "/scripts/probe-32bit-code";
    tool_test::ProgramResult result = tool_test::runProgram({script});
    if (result.exitStatus == 0)
        return std::nullopt;
    if (result.exitStatus == 1) {
        std::string reason = result.out;
        while (!reason.empty() && reason.back() == '\n')
            reason.pop_back();
        return reason;
    }
    throw std::runtime_error(script + " failed (exit status " + std::to_string(result.exitStatus) +
                             "): " + result.err);
}

} // namespace

std::optional<std::string> no32BitCodeReason()
{
    static std::once_flag once;
    static std::optional<std::string> reason;
    std::call_once(once, [] { reason = probeMachine(); });
    return reason;
}

} // namespace wine_test
