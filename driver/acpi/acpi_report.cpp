/*
 * acpi_report.cpp
 *
 * The ACPI report. The table walk is not served yet: the report is the empty
 * text, and there are no mappings to release.
 */
#include "driver/zephr.h"

ULONG AcpiReport(PCHAR Buffer)
{
    Buffer[0] = '\0';
    return 0;
}

VOID AcpiCleanup(VOID) {}
