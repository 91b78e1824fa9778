/*
 * acpi.h
 *
 * The ACPI report's own header: the physical mapping registry through which
 * the report maps every table, and the ACPI layouts it reads.
 */
#ifndef ZEPHR_ACPI_H
#define ZEPHR_ACPI_H

#include "driver/report_text.h"
#include "driver/zephr.h"

/* ---- Physical mapping registry ------------------------------------------ */

#define MAX_MAPPINGS 100
#define MAPPING_OWNED 0xFFFFFFFFu
#define MAPPING_BORROWED 0u

typedef struct _MAPPING_ENTRY {
    ULONG PhysicalAddress;
    PVOID VirtualAddress;
    ULONG Length;
    ULONG Owned;
} MAPPING_ENTRY, *PMAPPING_ENTRY;

extern MAPPING_ENTRY MappingTable[MAX_MAPPINGS];
extern LONG MappingCount;

VOID InitMappings(PVOID BiosWindow);
PVOID MapPhysical(ULONG PhysicalAddress, ULONG Length);
PVOID RemapPhysical(ULONG PhysicalAddress, ULONG OldLength, ULONG NewLength);
VOID ReleaseMappings(VOID);
VOID ListMappings(PREPORT_TEXT Text);

/* ---- ACPI layouts ---------------------------------------------------------- */

#define ACPI_TABLE_HEADER_LENGTH 36u
#define ACPI_RSDP_CHECKSUM_LENGTH 20u
#define ACPI_RSDP_V2_LENGTH 32u /* through the XSDT address's high half */
#define ACPI_EBDA_SEARCH_LENGTH 1024u
#define ACPI_BDA_EBDA_SEGMENT 0x40Eu

/* The largest table the report maps whole; a longer Length is not believed. */
#define ACPI_MAX_TABLE_LENGTH 0x00100000u

/* ---- Module state ------------------------------------------------------------ */

extern ULONG AcpiFound;
extern ULONG RsdtPhysical;
extern PVOID RsdtVirtual;
extern ULONG XsdtPhysical;
extern PVOID XsdtVirtual;

#endif /* ZEPHR_ACPI_H */
