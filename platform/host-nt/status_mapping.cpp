// SPDX-License-Identifier: MIT
// status_mapping.cpp
//
// NtStatusToWin32Error: the Win32 error code Windows gives a caller for an
// NT status (the statuses this system meets).
#include "platform/host-nt/nt_host.h"

namespace nt {

uint32_t NtStatusToWin32Error(NTSTATUS status)
{
    switch (static_cast<uint32_t>(status)) {
    case 0x00000000: // STATUS_SUCCESS
        return 0;    // ERROR_SUCCESS
    case 0x00000102: // STATUS_TIMEOUT
        return 1460; // ERROR_TIMEOUT
    case 0x80000005: // STATUS_BUFFER_OVERFLOW
        return 234;  // ERROR_MORE_DATA
    case 0xC0000001: // STATUS_UNSUCCESSFUL
        return 31;   // ERROR_GEN_FAILURE
    case 0xC0000002: // STATUS_NOT_IMPLEMENTED
        return 1;    // ERROR_INVALID_FUNCTION
    case 0xC0000005: // STATUS_ACCESS_VIOLATION
        return 998;  // ERROR_NOACCESS
    case 0xC0000008: // STATUS_INVALID_HANDLE
        return 6;    // ERROR_INVALID_HANDLE
    case 0xC000000D: // STATUS_INVALID_PARAMETER
        return 87;   // ERROR_INVALID_PARAMETER
    case 0xC000000E: // STATUS_NO_SUCH_DEVICE
        return 2;    // ERROR_FILE_NOT_FOUND
    case 0xC0000010: // STATUS_INVALID_DEVICE_REQUEST
        return 1;    // ERROR_INVALID_FUNCTION
    case 0xC0000022: // STATUS_ACCESS_DENIED
        return 5;    // ERROR_ACCESS_DENIED
    case 0xC0000023: // STATUS_BUFFER_TOO_SMALL
        return 122;  // ERROR_INSUFFICIENT_BUFFER
    case 0xC0000033: // STATUS_OBJECT_NAME_INVALID
        return 123;  // ERROR_INVALID_NAME
    case 0xC0000034: // STATUS_OBJECT_NAME_NOT_FOUND
        return 2;    // ERROR_FILE_NOT_FOUND
    case 0xC0000035: // STATUS_OBJECT_NAME_COLLISION
        return 183;  // ERROR_ALREADY_EXISTS
    case 0xC000009A: // STATUS_INSUFFICIENT_RESOURCES
        return 8;    // ERROR_NOT_ENOUGH_MEMORY
    case 0xC00000C0: // STATUS_DEVICE_DOES_NOT_EXIST
        return 55;   // ERROR_DEV_NOT_EXIST
    case 0xC000010E: // STATUS_IMAGE_ALREADY_LOADED
        return 1056; // ERROR_SERVICE_ALREADY_RUNNING
    case 0xC0000183: // STATUS_DRIVER_INTERNAL_ERROR
        return 1117; // ERROR_IO_DEVICE
    default:
        return 317; // ERROR_MR_MID_NOT_FOUND: Windows has no message for the status
    }
}

} // namespace nt
