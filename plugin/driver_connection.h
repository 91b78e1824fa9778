// SPDX-License-Identifier: MIT
/*
 * driver_connection.h
 *
 * The process-wide connection to the zephr device and the model profile:
 * opened when a process attaches the library, closed when it detaches, read
 * by every reader. Written only at attach and detach, under the loader's
 * serialisation.
 */
#ifndef GAUGELET_DRIVER_CONNECTION_H
#define GAUGELET_DRIVER_CONNECTION_H

#include <windows.h>

#include "common/zephr_ioctl.h"
#include "plugin/vocabulary.h"

/* Bytes of the report buffer and of the model name, terminating NUL included. */
#define REPORT_TEXT_SIZE ZEPHR_SYSINFO_LENGTH
#define MODEL_NAME_SIZE 128

/* 1 while the device is open, 0 otherwise. */
extern int DriverLoaded;
/* The open device; INVALID_HANDLE_VALUE while DriverLoaded is 0. */
extern HANDLE DeviceHandle;
/* The system information report as received, and the model name taken from it. */
extern char* ReportText;
extern char* ModelName;
/* The model profile chosen at attach: sensor numbers and the fan-speed divisor. */
extern GaugeletProfile Profile;

/* Runs at process attach. */
void OpenDriverConnection(void);
/* Runs at process detach. */
void CloseDriverConnection(void);

/*
 * Copies the value of the first report line holding key (without the blanks
 * around it, at most size - 1 characters) into destination; leaves the
 * destination alone when no line holds the key. The report is left as it was.
 */
void GetReportValue(const char* key, char* destination, size_t size);

#endif /* GAUGELET_DRIVER_CONNECTION_H */
