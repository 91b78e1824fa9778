// SPDX-License-Identifier: MIT
// console_output_host.cpp
//
// Terminals of the host build take UTF-8 as it is.
#include "tools/common/console_output.h"

namespace tools {

Utf8ConsoleOutput::Utf8ConsoleOutput() = default;

Utf8ConsoleOutput::~Utf8ConsoleOutput() = default;

} // namespace tools
