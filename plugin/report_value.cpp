// SPDX-License-Identifier: MIT
/*
 * report_value.cpp
 *
 * GetReportValue: the value of the first line of the system information
 * report that holds a key, without the white space around it, read by the
 * report reader the plug-in shares with the tools. The report is only read.
 */
#include "plugin/driver_connection.h"

#include "common/report_lines.h"

void GetReportValue(const char* key, char* destination, size_t size)
{
    (void)ZephrReadReportValue(ReportText, key, destination, size);
}
