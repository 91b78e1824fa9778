// SPDX-License-Identifier: MIT
/*
 * mapping_registry.cpp
 *
 * The physical mapping registry: every range the ACPI report maps, so that a
 * range inside one already mapped (the BIOS segment window above all) is
 * served from that mapping, a table's header mapping can grow to the whole
 * table, all of the report's own mappings go in one sweep, and the report can
 * list them.
 */
#include "driver/acpi/acpi.h"

MAPPING_ENTRY MappingTable[MAX_MAPPINGS];
LONG MappingCount = 0;

static PVOID MapNonCached(ULONG PhysicalAddress, ULONG Length)
{
    PHYSICAL_ADDRESS Physical;

    Physical.QuadPart = PhysicalAddress; /* the high 32 bits are 0 */
    return MmMapIoSpace(Physical, Length, MmNonCached);
}

static VOID SetEntry(PMAPPING_ENTRY Entry, ULONG PhysicalAddress, PVOID VirtualAddress,
                     ULONG Length, ULONG Owned)
{
    Entry->PhysicalAddress = PhysicalAddress;
    Entry->VirtualAddress = VirtualAddress;
    Entry->Length = Length;
    Entry->Owned = Owned;
}

/* Does the entry hold the whole range? A range that wraps past 4 GiB never fits. */
static BOOLEAN EntryContains(const MAPPING_ENTRY* Entry, ULONG PhysicalAddress, ULONG Length)
{
    ULONGLONG End = (ULONGLONG)PhysicalAddress + Length;
    ULONGLONG EntryEnd = (ULONGLONG)Entry->PhysicalAddress + Entry->Length;

    return Entry->PhysicalAddress <= PhysicalAddress && End <= EntryEnd;
}

VOID InitMappings(PVOID BiosWindow)
{
    MappingCount = 0;
    /* Without the window there is nothing to borrow. */
    if (BiosWindow != NULL) {
        SetEntry(&MappingTable[0], BIOS_SEGMENT_PHYSICAL, BiosWindow, BIOS_SEGMENT_LENGTH,
                 MAPPING_BORROWED);
        MappingCount = 1;
    }
}

PVOID MapPhysical(ULONG PhysicalAddress, ULONG Length)
{
    LONG Index;
    PVOID Address;

    for (Index = 0; Index < MappingCount; Index++) {
        PMAPPING_ENTRY Entry = &MappingTable[Index];
        if (EntryContains(Entry, PhysicalAddress, Length)) {
            return (PUCHAR)Entry->VirtualAddress + (PhysicalAddress - Entry->PhysicalAddress);
        }
    }

    /* A full table or a refused mapping: the caller gets no address. */
    if (MappingCount >= MAX_MAPPINGS || Length == 0) {
        return NULL;
    }
    Address = MapNonCached(PhysicalAddress, Length);
    if (Address == NULL) {
        return NULL;
    }
    SetEntry(&MappingTable[MappingCount], PhysicalAddress, Address, Length, MAPPING_OWNED);
    MappingCount++;
    return Address;
}

PVOID RemapPhysical(ULONG PhysicalAddress, ULONG OldLength, ULONG NewLength)
{
    LONG Index;

    for (Index = 0; Index < MappingCount; Index++) {
        PMAPPING_ENTRY Entry = &MappingTable[Index];
        if (Entry->PhysicalAddress == PhysicalAddress && Entry->Length == OldLength &&
            Entry->Owned != MAPPING_BORROWED) {
            /* A table no longer than its header is mapped whole already. */
            if (NewLength == OldLength) {
                return Entry->VirtualAddress;
            }
            /*
             * The whole table is mapped before the header mapping goes, so a
             * refused mapping leaves the entry as it was.
             */
            PVOID Address = MapNonCached(PhysicalAddress, NewLength);
            if (Address == NULL) {
                return NULL;
            }
            MmUnmapIoSpace(Entry->VirtualAddress, OldLength);
            SetEntry(Entry, PhysicalAddress, Address, NewLength, MAPPING_OWNED);
            return Address;
        }
    }
    return MapPhysical(PhysicalAddress, NewLength);
}

VOID ReleaseMappings(VOID)
{
    LONG Index;

    for (Index = 0; Index < MappingCount; Index++) {
        PMAPPING_ENTRY Entry = &MappingTable[Index];
        if (Entry->Owned != MAPPING_BORROWED) {
            MmUnmapIoSpace(Entry->VirtualAddress, Entry->Length);
        }
    }
    MappingCount = 0;
}

VOID ListMappings(PREPORT_TEXT Text)
{
    LONG Index;

    ReportTextAppend(Text, "\r\nPA->VA Mappings:\r\n");
    for (Index = 0; Index < MappingCount; Index++) {
        const MAPPING_ENTRY* Entry = &MappingTable[Index];
        ReportTextAppend(Text, "PA 0x%08x -> VA 0x%08x (%d Bytes)\r\n", Entry->PhysicalAddress,
                         (ULONG)(ULONG_PTR)Entry->VirtualAddress, (LONG)Entry->Length);
    }
}
