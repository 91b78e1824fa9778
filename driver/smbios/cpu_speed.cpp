// SPDX-License-Identifier: MIT
/*
 * cpu_speed.cpp
 *
 * The CPU speed answer (IOCTL_ZEPHR_GET_CPU_SPEED): the Current Speed of the
 * first processor structure in MHz as decimal text, or "---" when the table
 * cannot be read or holds no processor. The answer never passes its 8 bytes.
 */
#include "driver/smbios/smbios.h"

/*
 * Fills the request's 8 bytes with the speed text, under the firmware lock.
 * IRQL: PASSIVE_LEVEL.
 */
VOID GetCpuSpeedText(PCHAR Buffer)
{
    REPORT_TEXT Text;
    SMBIOS_TABLE_VIEW View;
    SMBIOS_WALK Walk;
    const UCHAR* Structure;
    ULONG Length;

    RtlZeroMemory(Buffer, ZEPHR_CPU_SPEED_LENGTH);
    ReportTextInit(&Text, Buffer, ZEPHR_CPU_SPEED_LENGTH, NULL);
    ReportTextAppend(&Text, "---");

    ZephrAcquireFirmware();
    if (SmbiosOpenTable(&View) == SmbiosTableLocated) {
        SmbiosStartWalk(&View, &Walk);
        while (SmbiosNextStructure(&Walk, &Structure, &Length)) {
            if (Structure[0] == SMBIOS_TYPE_PROCESSOR) {
                /* Up to five digits: the speed replaces "---", nothing of it left. */
                RtlZeroMemory(Buffer, ZEPHR_CPU_SPEED_LENGTH);
                ReportTextInit(&Text, Buffer, ZEPHR_CPU_SPEED_LENGTH, NULL);
                ReportTextAppend(&Text, "%d",
                                 (LONG)SmbiosWord(Structure, Length, PROCESSOR_CURRENT_SPEED));
                break;
            }
        }
    }
    ZephrReleaseFirmware();
}
