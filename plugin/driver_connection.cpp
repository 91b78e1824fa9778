/*
 * driver_connection.cpp
 *
 * The process-wide driver connection. This build of the library has no
 * reader that talks to the device yet, so attaching records that no device
 * is open and detaching leaves it so.
 */
#include "plugin/driver_connection.h"

int DriverLoaded = 0;
HANDLE DeviceHandle = INVALID_HANDLE_VALUE;

void OpenDriverConnection(void)
{
    DriverLoaded = 0;
    DeviceHandle = INVALID_HANDLE_VALUE;
}

void CloseDriverConnection(void)
{
    DriverLoaded = 0;
    DeviceHandle = INVALID_HANDLE_VALUE;
}
