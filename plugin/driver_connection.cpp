// SPDX-License-Identifier: MIT
/*
 * driver_connection.cpp
 *
 * The process-wide driver connection: the device opened with write access,
 * the system information report read once, the model name taken from its
 * "Product name:" line and the model profile chosen from it; and the close at
 * detach.
 */
#include "plugin/driver_connection.h"

#include "common/report_lines.h"
#include "common/zephr_ioctl.h"

#include <stdlib.h>

int DriverLoaded = 0;
HANDLE DeviceHandle = INVALID_HANDLE_VALUE;
char* ReportText = NULL;
char* ModelName = NULL;
GaugeletProfile Profile = GaugeletDefaultProfile;

/*
 * Asks the driver for its report. A request that fails, or a buffer that
 * could not be allocated, leaves the report empty, so the model name stays
 * empty and the default profile holds.
 */
static void ReadSystemInfoReport(void)
{
    DWORD returned = 0;

    if (ReportText == NULL)
        return;
    ReportText[0] = '\0';
    if (!DeviceIoControl(DeviceHandle, IOCTL_ZEPHR_GET_SYSINFO, NULL, 0, ReportText,
                         REPORT_TEXT_SIZE, &returned, NULL)) {
        ReportText[0] = '\0';
        return;
    }
    /* The driver ends its report with a NUL; a buffer without one is cut. */
    ReportText[REPORT_TEXT_SIZE - 1] = '\0';
}

void OpenDriverConnection(void)
{
    ReportText = (char*)malloc(REPORT_TEXT_SIZE);
    ModelName = (char*)malloc(MODEL_NAME_SIZE);
    if (ModelName != NULL)
        ModelName[0] = '\0';

    DeviceHandle =
        CreateFileA(ZEPHR_USER_PATH, GENERIC_WRITE, FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (DeviceHandle == INVALID_HANDLE_VALUE) {
        DriverLoaded = 0;
        return;
    }
    DriverLoaded = 1;
    Profile = GaugeletDefaultProfile;

    ReadSystemInfoReport();
    if (ModelName != NULL) {
        GetReportValue(ZEPHR_PRODUCT_NAME_KEY, ModelName, MODEL_NAME_SIZE);
        Profile = GaugeletProfileFor(ModelName);
    }
}

void CloseDriverConnection(void)
{
    free(ReportText);
    ReportText = NULL;
    free(ModelName);
    ModelName = NULL;
    if (DriverLoaded == 1)
        CloseHandle(DeviceHandle);
    DeviceHandle = INVALID_HANDLE_VALUE;
    DriverLoaded = 0;
}
