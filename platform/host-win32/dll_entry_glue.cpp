// SPDX-License-Identifier: MIT
// dll_entry_glue.cpp
//
// Linked into every library the host build makes: while the dynamic loader
// runs the library's constructors, hands the library's DllMain to the host
// Win32 layer, so LoadLibraryA and FreeLibrary can call it as the Windows
// loader does. Adds no exported name: DllMain is bound inside the library.
#include "platform/host-win32/win32_host.h"

extern "C" __attribute__((visibility("hidden"))) BOOL WINAPI DllMain(HINSTANCE instance,
                                                                     DWORD reason, LPVOID reserved);

namespace {

struct DllEntryRegistration {
    DllEntryRegistration()
    {
        win32::Win32RegisterDllEntry(&DllMain);
    }
};

const DllEntryRegistration registration;

} // namespace
