// SPDX-License-Identifier: MIT
// nt_status.h
//
// The NT status behind the Win32 error of the last failed call on this
// thread, as ntdll's RtlGetLastNtStatus keeps it.
#pragma once

#include <cstdint>

namespace zephrctl {

uint32_t lastNtStatus();

} // namespace zephrctl
