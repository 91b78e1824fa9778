// SPDX-License-Identifier: MIT
// last_error.cpp
//
// GetLastError and SetLastError: one error code per thread, as Windows keeps
// it; and beside it the thread's last failed NT status, as ntdll keeps it
// for RtlGetLastNtStatus.
#include <windows.h>

#include "platform/host-nt/nt_host.h"
#include "platform/host-win32/last_status.h"

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
thread_local LONG lastNtStatus = 0;
} // namespace

extern "C" DWORD WINAPI GetLastError(void)
{
    return lastError;
}

extern "C" VOID WINAPI SetLastError(DWORD dwErrCode)
{
    lastError = dwErrCode;
}

// ntdll's routine; no header of this layer declares it, as the SDK's do not.
extern "C" LONG WINAPI RtlGetLastNtStatus(void)
{
    return lastNtStatus;
}

namespace win32 {

void SetLastNtStatus(int32_t status)
{
    lastNtStatus = status;
    lastError = nt::NtStatusToWin32Error(status);
}

} // namespace win32
