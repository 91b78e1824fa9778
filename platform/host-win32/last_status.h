// SPDX-License-Identifier: MIT
// last_status.h
//
// The Win32 layer's own record of the last failed NT status of each thread,
// which ntdll keeps beside the last error (RtlGetLastNtStatus reads it).
#pragma once

#include <stdint.h>

namespace win32 {

// Stores the status and sets the last error to its Win32 mapping, as
// Windows does whenever a Win32 routine fails with an NT status.
void SetLastNtStatus(int32_t status);

} // namespace win32
