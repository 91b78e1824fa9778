// SPDX-License-Identifier: MIT
// cxx_start.cpp
//
// The smallest C++ program built the way the tools are (the same compiler,
// flags and standard library, linked dynamically), printing one line: the
// floor of what any C++ tool of this project costs to start as a process.
#include <iostream>

int main()
{
    std::cout << "started\n";
    return 0;
}
