// SPDX-License-Identifier: MIT
// nt_status_host.cpp
//
// The last NT status of this thread in the host build: the Win32 layer keeps
// it as ntdll does.
#include "tools/zephrctl/nt_status.h"

#include <windows.h>

extern "C" LONG WINAPI RtlGetLastNtStatus(void);

namespace zephrctl {

uint32_t lastNtStatus()
{
    return static_cast<uint32_t>(RtlGetLastNtStatus());
}

} // namespace zephrctl
