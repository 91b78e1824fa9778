// SPDX-License-Identifier: MIT
/*
 * smbios_locator.cpp
 *
 * The SMBIOS locator: the search for the 32-bit entry point in the F segment
 * of the BIOS segment window, the location of the structure table (through
 * the window for a table in the F segment, through one mapping of its own
 * otherwise) and the calling order the readers follow. Its state is the
 * entry point once found and the table's own mapping once made; unload
 * releases the mapping.
 */
#include "driver/smbios/smbios.h"

PVOID SmbiosEntryPoint = NULL;
PVOID SmbiosTable = NULL;
USHORT SmbiosTableLength = 0;
PVOID SmbiosTableMapping = NULL;
ULONG SmbiosTableMapped = 0;

#define SMBIOS_MAPPED_FLAG 0xFFFFFFFFu

/*
 * A candidate counts only when everything the locator will read of it (its
 * checksummed bytes and the fields up to the structure count) lies inside
 * the searched area; one too near the end of the F segment is skipped.
 */
static BOOLEAN CandidateFits(ULONG Offset, ULONG ChecksumLength)
{
    ULONG Reach = ChecksumLength > SMBIOS_EP_READ_LENGTH ? ChecksumLength : SMBIOS_EP_READ_LENGTH;
    return Offset + Reach <= SMBIOS_SEARCH_LENGTH;
}

VOID FindSmbiosEntryPoint(const UCHAR* Start)
{
    ULONG Offset;

    SmbiosEntryPoint = NULL;
    for (Offset = 0; Offset + 4 <= SMBIOS_SEARCH_LENGTH; Offset += 4) {
        const UCHAR* Candidate = Start + Offset;
        ULONG ChecksumLength;

        if (ReadLeUlong(Candidate) != SMBIOS_ANCHOR) {
            continue;
        }
        if (!CandidateFits(Offset, 0)) {
            continue;
        }
        ChecksumLength = Candidate[SMBIOS_EP_LENGTH_OFFSET];
        if (!CandidateFits(Offset, ChecksumLength)) {
            continue;
        }
        /* The bytes of a candidate, ChecksumLength of them from its anchor, sum to zero. */
        if (ByteSum(Candidate, ChecksumLength) == 0) {
            SmbiosEntryPoint = (PVOID)Candidate;
            return;
        }
    }
}

static BOOLEAN HasDmiAnchor(const UCHAR* EntryPoint)
{
    return BytesEqual(EntryPoint + SMBIOS_EP_DMI_ANCHOR_OFFSET, SMBIOS_DMI_ANCHOR,
                      SMBIOS_DMI_ANCHOR_LENGTH);
}

/*
 * The table's own mapping, made once. A failed mapping leaves no trace: it
 * is not marked made, so unload releases nothing and the next request tries
 * again. A table of length 0 has nothing to map.
 */
static BOOLEAN MapSmbiosTable(ULONG Address, USHORT Length)
{
    PHYSICAL_ADDRESS Physical;
    PVOID Mapping;

    if (Length == 0) {
        return FALSE;
    }
    Physical.QuadPart = (LONGLONG)Address;
    Mapping = MmMapIoSpace(Physical, Length, MmNonCached);
    if (Mapping == NULL) {
        return FALSE;
    }
    SmbiosTableMapping = Mapping;
    SmbiosTableLength = Length;
    SmbiosTableMapped = SMBIOS_MAPPED_FLAG;
    return TRUE;
}

/* A table in physical 0xF0000-0xFFFFF, read through the window up to its end. */
static VOID ViewTableInWindow(ULONG Address, USHORT Length, PSMBIOS_TABLE_VIEW View)
{
    const UCHAR* Window = (const UCHAR*)BiosSegmentWindow;
    ULONG Offset = Address - BIOS_SEGMENT_PHYSICAL;
    ULONG Room = BIOS_SEGMENT_LENGTH - Offset;

    /* While an own mapping exists, its length is what unload must release. */
    if (SmbiosTableMapped == 0) {
        SmbiosTableLength = Length;
    }
    View->Start = Window + Offset;
    View->End = View->Start + (Length < Room ? Length : Room);
}

SMBIOS_TABLE_RESULT LocateSmbiosTable(const UCHAR* EntryPoint, PSMBIOS_TABLE_VIEW View)
{
    ULONG Address;
    USHORT Length;

    if (!HasDmiAnchor(EntryPoint)) {
        return SmbiosNoDmiAnchor;
    }
    Address = ReadLeUlong(EntryPoint + SMBIOS_EP_TABLE_ADDRESS_OFFSET);
    Length = ReadLeUshort(EntryPoint + SMBIOS_EP_TABLE_LENGTH_OFFSET);

    if (Address - SMBIOS_F_SEGMENT_PHYSICAL <= 0xFFFFu) {
        ViewTableInWindow(Address, Length, View);
    } else if (SmbiosTableMapped == 0 && Length == 0) {
        /* An empty table outside the window: nothing to map, nothing to walk. */
        View->Start = NULL;
        View->End = NULL;
    } else {
        if (SmbiosTableMapped == 0 && !MapSmbiosTable(Address, Length)) {
            return SmbiosTableUnmapped;
        }
        View->Start = (const UCHAR*)SmbiosTableMapping;
        View->End = View->Start + SmbiosTableLength;
    }
    View->StructureCount = ReadLeUshort(EntryPoint + SMBIOS_EP_STRUCTURE_COUNT_OFFSET);
    SmbiosTable = (PVOID)View->Start;
    return SmbiosTableLocated;
}

SMBIOS_TABLE_RESULT SmbiosOpenTable(PSMBIOS_TABLE_VIEW View)
{
    const UCHAR* Window = (const UCHAR*)BiosSegmentWindow;

    if (Window == NULL) {
        return SmbiosNoWindow;
    }
    if (SmbiosEntryPoint == NULL) {
        FindSmbiosEntryPoint(Window + BIOS_F_SEGMENT_OFFSET);
    }
    if (SmbiosEntryPoint == NULL) {
        return SmbiosNotFound;
    }
    return LocateSmbiosTable((const UCHAR*)SmbiosEntryPoint, View);
}
