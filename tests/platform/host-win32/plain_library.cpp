// SPDX-License-Identifier: MIT
// plain_library.cpp
//
// A library without DllMain and without the entry glue.
#include <stdint.h>

extern "C" __attribute__((visibility("default"))) intptr_t PlainLibraryAnswer()
{
    return 7;
}
