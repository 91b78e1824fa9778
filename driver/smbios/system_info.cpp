/*
 * system_info.cpp
 *
 * The system information report and the CPU speed text. Until the SMBIOS
 * tables are read, the report says that no SMBIOS was found (or that the BIOS
 * segment could not be mapped) and the CPU speed is unknown.
 */
#include "driver/report_text.h"
#include "driver/zephr.h"

VOID BuildSystemInfoReport(PCHAR Buffer)
{
    REPORT_TEXT Text;
    ReportTextInit(&Text, Buffer, ZEPHR_SYSINFO_LENGTH, NULL);
    if (BiosSegmentWindow == NULL) {
        ReportTextAppend(&Text, "*** Error: BIOS segment mapping failed ***");
        return;
    }
    ReportTextAppend(&Text, "*** Error: No SMBIOS found ***");
}

VOID GetCpuSpeedText(PCHAR Buffer)
{
    REPORT_TEXT Text;
    ReportTextInit(&Text, Buffer, ZEPHR_CPU_SPEED_LENGTH, NULL);
    ReportTextAppend(&Text, "---");
}
