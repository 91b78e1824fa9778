// last_error.cpp
//
// GetLastError and SetLastError: one error code per thread, as Windows keeps
// it.
#include <windows.h>

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

extern "C" DWORD WINAPI GetLastError(void)
{
    return lastError;
}

extern "C" VOID WINAPI SetLastError(DWORD dwErrCode)
{
    lastError = dwErrCode;
}
