// SPDX-License-Identifier: MIT
/*
 * smbios.h
 *
 * The SMBIOS locator and structure access shared by the two SMBIOS readers
 * (the system information report and the CPU speed text): the entry point
 * search, the location of the structure table, the walk over its structures,
 * the length of one structure and the text of one of its strings.
 *
 * Every read stays inside the memory it was given: the BIOS segment window
 * for the search and for a table in the F segment, the table's own mapping
 * otherwise. A table is handed to its walker as a SMBIOS_TABLE_VIEW that the
 * request keeps for itself, so no request ever sees another's table address.
 */
#ifndef ZEPHR_SMBIOS_H
#define ZEPHR_SMBIOS_H

#include "driver/firmware_bytes.h"
#include "driver/report_text.h"
#include "driver/zephr.h"

/* Physical 0xF0000 to 0xFFFFF, where the entry point is searched. */
#define SMBIOS_SEARCH_LENGTH 0x00010000u
#define SMBIOS_F_SEGMENT_PHYSICAL 0x000F0000u

/* Fields of the 32-bit entry point ("_SM_"). */
#define SMBIOS_ANCHOR 0x5F4D535Fu /* "_SM_" read as a little-endian word */
#define SMBIOS_EP_LENGTH_OFFSET 0x05
#define SMBIOS_EP_DMI_ANCHOR_OFFSET 0x10
#define SMBIOS_DMI_ANCHOR "_DMI_"
#define SMBIOS_DMI_ANCHOR_LENGTH 5
#define SMBIOS_EP_TABLE_LENGTH_OFFSET 0x16
#define SMBIOS_EP_TABLE_ADDRESS_OFFSET 0x18
#define SMBIOS_EP_STRUCTURE_COUNT_OFFSET 0x1C
/* Bytes of an entry point the locator reads, counted from the anchor. */
#define SMBIOS_EP_READ_LENGTH 0x1E

/* Every structure starts with type, formatted length and a 16-bit handle. */
#define SMBIOS_HEADER_LENGTH 4

/* The processor structure and its Current Speed word, read by both readers. */
#define SMBIOS_TYPE_PROCESSOR 4
#define PROCESSOR_CURRENT_SPEED 0x16

/*
 * What LocateSmbiosTable found (its first three values) and what a reader
 * gets when it opens the table with SmbiosOpenTable (all five).
 */
typedef enum _SMBIOS_TABLE_RESULT {
    SmbiosTableLocated = 0,
    SmbiosNoDmiAnchor = 1,   /* "_DMI_" missing at entry point + 0x10 */
    SmbiosTableUnmapped = 2, /* the table's own mapping could not be made */
    SmbiosNoWindow = 3,      /* the BIOS segment window was not mapped at load */
    SmbiosNotFound = 4,      /* no "_SM_" with a zero checksum in the F segment */
} SMBIOS_TABLE_RESULT;

/*
 * One request's view of the structure table: the first structure, the first
 * byte past what may be read, and the structure count of the entry point.
 */
typedef struct _SMBIOS_TABLE_VIEW {
    const UCHAR* Start;
    const UCHAR* End;
    USHORT StructureCount;
} SMBIOS_TABLE_VIEW, *PSMBIOS_TABLE_VIEW;

/* A walk over a table view: the next structure and the structures left. */
typedef struct _SMBIOS_WALK {
    const UCHAR* Next;
    const UCHAR* End;
    ULONG Remaining;
} SMBIOS_WALK, *PSMBIOS_WALK;

/* Searches the 64 KiB from Start (the window's F segment) for the entry point. */
VOID FindSmbiosEntryPoint(const UCHAR* Start);

/*
 * Reads the table's address and length from the entry point and makes the
 * table addressable. SmbiosTableLocated fills View; SmbiosNoDmiAnchor and
 * SmbiosTableUnmapped change nothing.
 */
SMBIOS_TABLE_RESULT LocateSmbiosTable(const UCHAR* EntryPoint, PSMBIOS_TABLE_VIEW View);

/*
 * The calling order both readers follow: the window, the entry point (found
 * once), the table. The caller holds the firmware lock from here to the end
 * of its walk.
 */
SMBIOS_TABLE_RESULT SmbiosOpenTable(PSMBIOS_TABLE_VIEW View);

/*
 * Bytes from the structure's first byte to the first byte after its string
 * set, or 0 when the structure does not lie whole before TableEnd or its
 * formatted length is shorter than its own header.
 */
ULONG GetSmbiosStructureLength(const UCHAR* Structure, const UCHAR* TableEnd);

/*
 * The text of string Number of a structure of StructureLength bytes (as
 * measured by GetSmbiosStructureLength): "--" for number 0 or an empty string
 * set, NULL for a number past the last string.
 */
PCSTR GetSmbiosString(const UCHAR* Structure, ULONG StructureLength, UCHAR Number);

/* Starts a walk over the view; each SmbiosNextStructure gives one structure. */
VOID SmbiosStartWalk(const SMBIOS_TABLE_VIEW* View, PSMBIOS_WALK Walk);
BOOLEAN SmbiosNextStructure(PSMBIOS_WALK Walk, const UCHAR** Structure, PULONG Length);

/*
 * A byte and a 16-bit word of a structure's fields; a byte past the
 * structure's StructureLength bytes reads as 0.
 */
UCHAR SmbiosByte(const UCHAR* Structure, ULONG StructureLength, ULONG Offset);
USHORT SmbiosWord(const UCHAR* Structure, ULONG StructureLength, ULONG Offset);

/* Appends the report lines of one structure. */
VOID FormatSmbiosStructure(PREPORT_TEXT Text, const UCHAR* Structure, ULONG StructureLength);

/*
 * Appends the lines of each structure of the walk until the walk ends or the
 * text is closed: nothing after a truncated report can reach it, so the walk
 * stops there (Walk->Remaining tells how far it went).
 */
VOID FormatSmbiosStructures(PREPORT_TEXT Text, PSMBIOS_WALK Walk);

/* The value written for a string number past the last string of its set. */
#define SMBIOS_BAD_STRING_TEXT "(bad string number)"

#endif /* ZEPHR_SMBIOS_H */
