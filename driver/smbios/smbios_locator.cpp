/*
 * smbios_locator.cpp
 *
 * The SMBIOS locator's state: the entry point once found, the structure
 * table's address and length, and the table's own mapping when it lies
 * outside the F segment.
 */
#include "driver/zephr.h"

PVOID SmbiosEntryPoint = NULL;
PVOID SmbiosTable = NULL;
USHORT SmbiosTableLength = 0;
PVOID SmbiosTableMapping = NULL;
ULONG SmbiosTableMapped = 0;
