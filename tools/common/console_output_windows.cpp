// SPDX-License-Identifier: MIT
// console_output_windows.cpp
//
// The console's output code page switched to UTF-8 and back. Output to a
// file or a pipe is UTF-8 already; only a console has a code page.
#include "tools/common/console_output.h"

#include <windows.h>

namespace tools {

Utf8ConsoleOutput::Utf8ConsoleOutput()
{
    const UINT found = GetConsoleOutputCP(); // 0 without a console
    if (found != 0 && found != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
        saved_ = found;
}

Utf8ConsoleOutput::~Utf8ConsoleOutput()
{
    if (saved_ != 0)
        SetConsoleOutputCP(saved_);
}

} // namespace tools
