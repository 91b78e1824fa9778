// SPDX-License-Identifier: MIT
// no_entry_image.cpp
//
// A shared object that is no driver: it has no DriverEntry.
extern "C" int NotADriver()
{
    return 1;
}
