// SPDX-License-Identifier: MIT
/*
 * dll_main.cpp
 *
 * The library's entry point: the loader calls it when a process attaches and
 * detaches the library. It never fails, so the library loads even when the
 * device does not open.
 */
#include "plugin/driver_connection.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        OpenDriverConnection();
    else if (reason == DLL_PROCESS_DETACH)
        CloseDriverConnection();
    return TRUE;
}
