// SPDX-License-Identifier: MIT
/*
 * acpi.h
 *
 * The ACPI report's own header: the physical mapping registry through which
 * the report maps every table, and the ACPI layouts it reads.
 */
#ifndef ZEPHR_ACPI_H
#define ZEPHR_ACPI_H

#include "driver/firmware_bytes.h"
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

/* Root System Description Pointer, found on a 16-byte boundary. */
#define ACPI_RSDP_ALIGNMENT 16u
#define ACPI_RSDP_SIGNATURE "RSD PTR "
#define ACPI_RSDP_SIGNATURE_LENGTH 8u
#define ACPI_RSDP_REVISION_OFFSET 15u
#define ACPI_RSDP_RSDT_ADDRESS_OFFSET 16u /* 32 bits */
#define ACPI_RSDP_XSDT_ADDRESS_OFFSET 24u /* 64 bits; the high half must be 0 */
#define ACPI_RSDP_CHECKSUM_LENGTH 20u     /* the ACPI 1 part */
#define ACPI_RSDP_V2_LENGTH 32u           /* through the XSDT address's high half */
#define ACPI_RSDP_REVISION_1 0u           /* root table RSDT */
#define ACPI_RSDP_REVISION_2 2u           /* root table XSDT */

/* Header of every description table, the RSDT and XSDT included. */
#define ACPI_HEADER_SIGNATURE_OFFSET 0u
#define ACPI_HEADER_SIGNATURE_LENGTH 4u
#define ACPI_HEADER_LENGTH_OFFSET 4u /* 32 bits, the whole table */
#define ACPI_HEADER_OEM_ID_OFFSET 10u
#define ACPI_HEADER_OEM_ID_LENGTH 6u
#define ACPI_HEADER_OEM_TABLE_ID_OFFSET 16u
#define ACPI_HEADER_OEM_TABLE_ID_LENGTH 8u
#define ACPI_TABLE_HEADER_LENGTH 36u

/* Root table entries follow the header: 32-bit addresses in the RSDT, 64-bit in the XSDT. */
#define ACPI_RSDT_ENTRY_WIDTH 4u
#define ACPI_XSDT_ENTRY_WIDTH 8u

/* The EBDA's real-mode segment, a 16-bit word at 0x40E of the BIOS data area. */
#define ACPI_BDA_EBDA_SEGMENT 0x40Eu
#define ACPI_BDA_EBDA_SEGMENT_LENGTH 2u
#define ACPI_EBDA_SEARCH_LENGTH 1024u

/* The largest table the report maps whole; a longer Length is not believed. */
#define ACPI_MAX_TABLE_LENGTH 0x00100000u

/* ---- Module state ------------------------------------------------------------ */

extern ULONG AcpiFound;
extern ULONG RsdtPhysical;
extern PVOID RsdtVirtual;
extern ULONG XsdtPhysical;
extern PVOID XsdtVirtual;

#endif /* ZEPHR_ACPI_H */
