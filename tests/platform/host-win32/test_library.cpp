// SPDX-License-Identifier: MIT
// test_library.cpp
//
// A library for the loader tests, linked with the entry glue: its DllMain
// reports each call to the test program (PlatformTestDllMain, defined there)
// and answers what the test program answers.
#include <windows.h>

extern "C" BOOL PlatformTestDllMain(HINSTANCE instance, DWORD reason);

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    return PlatformTestDllMain(instance, reason);
}

extern "C" __attribute__((visibility("default"))) intptr_t TestLibraryAnswer()
{
    return 42;
}
