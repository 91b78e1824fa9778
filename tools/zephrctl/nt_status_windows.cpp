// SPDX-License-Identifier: MIT
// nt_status_windows.cpp
//
// The last NT status of this thread on Windows: ntdll's RtlGetLastNtStatus,
// looked up at run time since not every import library carries it.
#include "tools/zephrctl/nt_status.h"

#include <windows.h>

namespace zephrctl {

uint32_t lastNtStatus()
{
    using Routine = LONG(WINAPI*)(void);
    static const Routine routine = reinterpret_cast<Routine>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetLastNtStatus")));
    return routine ? static_cast<uint32_t>(routine()) : 0xC0000001u;
}

} // namespace zephrctl
