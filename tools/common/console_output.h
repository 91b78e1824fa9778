// SPDX-License-Identifier: MIT
// console_output.h
//
// The tools write UTF-8 ("52 °C"). A Windows console shows its output code
// page (437 or 850 in a Command Prompt, where "°" comes out as "┬░"), so
// for a tool's lifetime the console is switched to UTF-8 output and then
// given back its own code page. Nothing to do in the host build, where
// terminals take UTF-8.
#pragma once

namespace tools {

class Utf8ConsoleOutput {
  public:
    Utf8ConsoleOutput();
    ~Utf8ConsoleOutput();
    Utf8ConsoleOutput(const Utf8ConsoleOutput&) = delete;
    Utf8ConsoleOutput& operator=(const Utf8ConsoleOutput&) = delete;

  private:
    unsigned saved_ = 0; // the code page found, 0 when it was not changed
};

} // namespace tools
