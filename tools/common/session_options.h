// SPDX-License-Identifier: MIT
// session_options.h
//
// The options every tool that opens a Session takes, read by one parser so
// the tools agree on them: --machine FILE, --no-driver, --driver-image FILE,
// --image-base ADDR, --trace and --load PERCENT. They describe the simulated
// notebook, so only the host build knows them; to the Windows build they are
// unknown options like any other.
#pragma once

#include "tools/common/session.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace tools {

// A command line that cannot be understood; what() says what is wrong with it.
class CommandLineError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct SessionCommandLine {
    SessionOptions session;
    bool trace = false; // --trace

    // The options a Session is brought up with: with --trace, the trace
    // goes to standard error, in every tool.
    SessionOptions sessionOptions() const;
};

// When words[at] is a session option, takes it and its value (at is left on
// the last word taken) and returns true; false for any other word. Throws
// CommandLineError for a missing or wrong value.
bool takeSessionOption(const std::vector<std::string>& words, size_t& at, SessionCommandLine& line);

// The check across them once every option is read: --image-base moves an
// emulated image, so it needs one: --driver-image, or the tool's own image
// option (gaugehost's --plugin-image) when otherImageOption names it and
// otherImageGiven says it was given. Throws CommandLineError.
void checkSessionOptions(const SessionCommandLine& line, const char* otherImageOption = nullptr,
                         bool otherImageGiven = false);

// Their lines for a tool's --help (empty in the Windows build), aligned with
// the tools' own options at column 20.
const char* sessionOptionsHelp();

} // namespace tools
