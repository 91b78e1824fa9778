/*
 * driver_connection.h
 *
 * The process-wide connection to the zephr device: opened when a process
 * attaches the library, closed when it detaches, read by every reader.
 */
#ifndef GAUGELET_DRIVER_CONNECTION_H
#define GAUGELET_DRIVER_CONNECTION_H

#include <windows.h>

/* 1 while the device is open, 0 otherwise. */
extern int DriverLoaded;
/* The open device; INVALID_HANDLE_VALUE while DriverLoaded is 0. */
extern HANDLE DeviceHandle;

/* Runs at process attach. */
void OpenDriverConnection(void);
/* Runs at process detach. */
void CloseDriverConnection(void);

#endif /* GAUGELET_DRIVER_CONNECTION_H */
