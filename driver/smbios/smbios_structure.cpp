// SPDX-License-Identifier: MIT
/*
 * smbios_structure.cpp
 *
 * Access to the structures of the SMBIOS table: the length of one structure
 * with its string set, the text of one of its strings by number, its field
 * bytes and words, and the walk from one structure to the next. None of them
 * reads past the table's end or past the structure it was given, whatever
 * the firmware's counts and lengths say.
 */
#include "driver/smbios/smbios.h"

ULONG GetSmbiosStructureLength(const UCHAR* Structure, const UCHAR* TableEnd)
{
    ULONG Room;
    ULONG Position;

    if (Structure == NULL || TableEnd == NULL || Structure >= TableEnd) {
        return 0;
    }
    Room = (ULONG)(TableEnd - Structure);
    if (Room < SMBIOS_HEADER_LENGTH || Structure[1] < SMBIOS_HEADER_LENGTH) {
        return 0;
    }
    /* The string set ends at the first two zero bytes after the formatted area. */
    for (Position = Structure[1]; Position + 1 < Room; Position++) {
        if (Structure[Position] == 0 && Structure[Position + 1] == 0) {
            return Position + 2;
        }
    }
    return 0;
}

PCSTR GetSmbiosString(const UCHAR* Structure, ULONG StructureLength, UCHAR Number)
{
    ULONG Position = Structure[1];
    ULONG Index = 1;

    if (Number == 0) {
        return "--";
    }
    if (Position + 2 > StructureLength) {
        return NULL;
    }
    if (Structure[Position] == 0 && Structure[Position + 1] == 0) {
        return "--";
    }
    while (Index < Number) {
        while (Position < StructureLength && Structure[Position] != 0) {
            Position++;
        }
        Position++;
        if (Position >= StructureLength || Structure[Position] == 0) {
            return NULL;
        }
        Index++;
    }
    return (PCSTR)(Structure + Position);
}

UCHAR SmbiosByte(const UCHAR* Structure, ULONG StructureLength, ULONG Offset)
{
    return Offset < StructureLength ? Structure[Offset] : 0;
}

USHORT SmbiosWord(const UCHAR* Structure, ULONG StructureLength, ULONG Offset)
{
    return (USHORT)(SmbiosByte(Structure, StructureLength, Offset) |
                    (SmbiosByte(Structure, StructureLength, Offset + 1) << 8));
}

VOID SmbiosStartWalk(const SMBIOS_TABLE_VIEW* View, PSMBIOS_WALK Walk)
{
    Walk->Next = View->Start;
    Walk->End = View->End;
    Walk->Remaining = View->StructureCount;
}

/*
 * The walk goes by the structure count and ends early at the first structure
 * that does not lie whole inside the table: what follows a broken structure
 * cannot be found.
 */
BOOLEAN SmbiosNextStructure(PSMBIOS_WALK Walk, const UCHAR** Structure, PULONG Length)
{
    ULONG Measured;

    if (Walk->Remaining == 0) {
        return FALSE;
    }
    Measured = GetSmbiosStructureLength(Walk->Next, Walk->End);
    if (Measured == 0) {
        Walk->Remaining = 0;
        return FALSE;
    }
    *Structure = Walk->Next;
    *Length = Measured;
    Walk->Next += Measured;
    Walk->Remaining--;
    return TRUE;
}
