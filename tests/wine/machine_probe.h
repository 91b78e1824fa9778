// SPDX-License-Identifier: MIT
// machine_probe.h
//
// Whether this machine runs 32-bit x86 code, as scripts/probe-32bit-code
// finds by running a tiny i386 program. 32-bit Wine cannot start where it
// does not, and every test that boots a prefix then skips with the reason
// below. ZEPHR_NO_32BIT_CODE=1 forces the "no" answer.
#pragma once

#include <optional>
#include <string>

namespace wine_test {

// The reason a Wine test gives when it skips; the test command's closing
// line repeats it.
inline constexpr const char* no32BitCodeSkip =
    "this machine runs no 32-bit x86 code: the 32-bit Wine suites cannot start";

// Empty when the machine runs 32-bit code, else what the probe found. The
// probe runs once per process; when it cannot run at all (no temporary
// folder, a folder mounted noexec) this throws std::runtime_error with its
// message, so that a test fails rather than skips.
std::optional<std::string> no32BitCodeReason();

} // namespace wine_test

// Skips the current test, with the reason, where 32-bit Wine cannot start.
#define ZEPHR_SKIP_WITHOUT_32BIT_CODE()                                                            \
    if (std::optional<std::string> zephrNo32BitCode = ::wine_test::no32BitCodeReason())            \
    GTEST_SKIP() << ::wine_test::no32BitCodeSkip << "\n(" << *zephrNo32BitCode << ")"
