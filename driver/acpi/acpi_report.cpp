// SPDX-License-Identifier: MIT
/*
 * acpi_report.cpp
 *
 * The ACPI report: the search for the Root System Description Pointer in the
 * EBDA and the BIOS area, the walk of the RSDT or XSDT it names, the mapping
 * of every table at full length through the mapping registry, and the running
 * log of all of it, closed by the list of mappings in force. The mappings stay
 * until the next report or the driver's unload.
 *
 * Nothing is read through a mapping that was not made, nor past the end of a
 * mapping: a candidate that does not fit its area is passed over, a table
 * whose Length is below its header or beyond what the report maps is not
 * remapped, and a table that cannot be mapped gets an error line instead.
 */
#include "driver/acpi/acpi.h"

ULONG AcpiFound = 0;
ULONG RsdtPhysical = 0;
PVOID RsdtVirtual = NULL;
ULONG XsdtPhysical = 0;
PVOID XsdtVirtual = NULL;

#define ACPI_TRUE 0xFFFFFFFFu
#define ACPI_FALSE 0u

#define VA(Address) ((ULONG)(ULONG_PTR)(Address))

/* Which root table the accepted pointer named. */
typedef enum _ACPI_ROOT { RootNone, RootRsdt, RootXsdt } ACPI_ROOT;
static ACPI_ROOT AcceptedRoot = RootNone;

/* A header field of up to 8 characters, cut at its first NUL. */
static VOID CopyField(PCHAR Field, const UCHAR* Bytes, ULONG Length)
{
    ULONG Index;
    for (Index = 0; Index < Length && Bytes[Index] != 0; Index++) {
        Field[Index] = (CHAR)Bytes[Index];
    }
    Field[Index] = '\0';
}

/* An accepted pointer: the root table's physical address and its header mapping. */
static ULONG AcceptRsdp(const UCHAR* Candidate, UCHAR Revision, PREPORT_TEXT Text)
{
    ULONGLONG XsdtAddress;

    if (Revision == ACPI_RSDP_REVISION_1) {
        RsdtPhysical = ReadLeUlong(Candidate + ACPI_RSDP_RSDT_ADDRESS_OFFSET);
        RsdtVirtual = MapPhysical(RsdtPhysical, ACPI_TABLE_HEADER_LENGTH);
        AcceptedRoot = RootRsdt;
        ReportTextAppend(Text, "ACPI V1 BIOS detected\r\nRSDT @ VA 0x%08x (PA 0x%08x)\r\n",
                         VA(RsdtVirtual), RsdtPhysical);
        return ACPI_TRUE;
    }
    XsdtAddress = ReadLeUlonglong(Candidate + ACPI_RSDP_XSDT_ADDRESS_OFFSET);
    if ((XsdtAddress >> 32) != 0) {
        ReportTextAppend(Text, "*** ERROR: XSDT highpart in RSDP is not zero ! ***");
        return ACPI_FALSE;
    }
    XsdtPhysical = (ULONG)XsdtAddress;
    XsdtVirtual = MapPhysical(XsdtPhysical, ACPI_TABLE_HEADER_LENGTH);
    AcceptedRoot = RootXsdt;
    ReportTextAppend(Text, "ACPI V2 BIOS detected\r\nXSDT @ VA 0x%08x (PA 0x%08x)\r\n",
                     VA(XsdtVirtual), XsdtPhysical);
    return ACPI_TRUE;
}

static ULONG SearchRsdp(const UCHAR* Start, ULONG Length, PREPORT_TEXT Text)
{
    ULONG Offset;

    ReportTextAppend(Text, "Searching VA 0x%08x, %d Bytes...\r\n", VA(Start), (LONG)Length);
    for (Offset = 0; Offset + ACPI_RSDP_ALIGNMENT <= Length; Offset += ACPI_RSDP_ALIGNMENT) {
        const UCHAR* Candidate = Start + Offset;
        UCHAR Revision = Candidate[ACPI_RSDP_REVISION_OFFSET];
        ULONG Needed =
            Revision == ACPI_RSDP_REVISION_2 ? ACPI_RSDP_V2_LENGTH : ACPI_RSDP_CHECKSUM_LENGTH;

        if (!BytesEqual(Candidate, ACPI_RSDP_SIGNATURE, ACPI_RSDP_SIGNATURE_LENGTH) ||
            (Revision != ACPI_RSDP_REVISION_1 && Revision != ACPI_RSDP_REVISION_2)) {
            continue;
        }
        /* A pointer that would run past the area's end is not one. */
        if (Offset + Needed > Length) {
            continue;
        }
        ReportTextAppend(Text, "Sig found at VA 0x%08x\r\n", VA(Candidate));
        if (ByteSum(Candidate, ACPI_RSDP_CHECKSUM_LENGTH) != 0) {
            continue;
        }
        return AcceptRsdp(Candidate, Revision, Text);
    }
    return ACPI_FALSE;
}

/*
 * Writes a table's four lines and maps it whole; stores the whole table's
 * address at Where, or NULL when the table could not be mapped whole.
 */
static VOID RemapTable(const UCHAR* Header, ULONG Physical, PVOID* Where, PREPORT_TEXT Text)
{
    ULONG Length = ReadLeUlong(Header + ACPI_HEADER_LENGTH_OFFSET);
    CHAR Field[ACPI_HEADER_OEM_TABLE_ID_LENGTH + 1];

    CopyField(Field, Header + ACPI_HEADER_SIGNATURE_OFFSET, ACPI_HEADER_SIGNATURE_LENGTH);
    ReportTextAppend(Text, "  Remapping '%s', %u Bytes from VA 0x%08x\r\n", Field, Length,
                     VA(Header));
    CopyField(Field, Header + ACPI_HEADER_OEM_ID_OFFSET, ACPI_HEADER_OEM_ID_LENGTH);
    ReportTextAppend(Text, "  OEMID:'%s'\r\n", Field);
    CopyField(Field, Header + ACPI_HEADER_OEM_TABLE_ID_OFFSET, ACPI_HEADER_OEM_TABLE_ID_LENGTH);
    ReportTextAppend(Text, "  OEM Table ID:'%s'\r\n", Field);

    if (Length < ACPI_TABLE_HEADER_LENGTH || Length > ACPI_MAX_TABLE_LENGTH) {
        ReportTextAppend(Text, "  *** ERROR: Table length %u is not sound ***\r\n", Length);
        *Where = NULL;
        return;
    }
    *Where = RemapPhysical(Physical, ACPI_TABLE_HEADER_LENGTH, Length);
    if (*Where == NULL) {
        ReportTextAppend(Text, "  *** ERROR: Table could not be mapped ***\r\n");
        return;
    }
    ReportTextAppend(Text, "  Table remapped to VA 0x%08x (PA 0x%08x)\r\n", VA(*Where), Physical);
}

/* The two kinds of root table. */
typedef struct _ROOT_TABLE_KIND {
    PCSTR OpeningLine;
    ULONG EntryWidth;
    PCSTR SizeMessage;
    PCSTR EntryLine;
} ROOT_TABLE_KIND;

static const ROOT_TABLE_KIND RsdtKind = {"Analyzing RSDT...\r\n", ACPI_RSDT_ENTRY_WIDTH,
                                         "RSDT size not DWORD aligned\r\n",
                                         "Table found at PA 0x%08x...\r\n"};
static const ROOT_TABLE_KIND XsdtKind = {"Analyzing XSDT...\r\n", ACPI_XSDT_ENTRY_WIDTH,
                                         "XSDT size not DWORD aligned\r\n",
                                         "Table found at PA 0x%08x ...\r\n"};

static VOID WalkRootTable(const ROOT_TABLE_KIND* Kind, PVOID* RootVirtual, ULONG RootPhysical,
                          PREPORT_TEXT Text)
{
    ULONG Length = ReadLeUlong((const UCHAR*)*RootVirtual + ACPI_HEADER_LENGTH_OFFSET);
    ULONG Entries;
    ULONG Offset;

    ReportTextAppend(Text, Kind->OpeningLine);
    RemapTable((const UCHAR*)*RootVirtual, RootPhysical, RootVirtual, Text);
    if (*RootVirtual == NULL) {
        return; /* no whole mapping to read the entries from */
    }

    Entries = Length - ACPI_TABLE_HEADER_LENGTH;
    if (Entries % Kind->EntryWidth != 0) {
        ReportTextAppend(Text, Kind->SizeMessage);
        return;
    }
    for (Offset = 0; Offset < Entries; Offset += Kind->EntryWidth) {
        const UCHAR* Entry = (const UCHAR*)*RootVirtual + ACPI_TABLE_HEADER_LENGTH + Offset;
        ULONG Physical = ReadLeUlong(Entry); /* an XSDT entry's high half is not looked at */
        PVOID Header = MapPhysical(Physical, ACPI_TABLE_HEADER_LENGTH);
        PVOID Table;

        ReportTextAppend(Text, Kind->EntryLine, Physical);
        if (Header == NULL) {
            ReportTextAppend(Text, "  *** ERROR: Table could not be mapped ***\r\n");
            continue;
        }
        RemapTable((const UCHAR*)Header, Physical, &Table, Text);
    }
}

/* The first 1024 bytes of the EBDA, whose segment stands at 0x40E of the BIOS data area. */
static ULONG SearchEbda(PREPORT_TEXT Text)
{
    PHYSICAL_ADDRESS Physical;
    PUCHAR Segment;
    ULONG EbdaPhysical;
    PUCHAR Area;
    ULONG Found;

    Physical.QuadPart = ACPI_BDA_EBDA_SEGMENT;
    Segment = (PUCHAR)MmMapIoSpace(Physical, ACPI_BDA_EBDA_SEGMENT_LENGTH, MmNonCached);
    if (Segment == NULL) {
        return ACPI_FALSE;
    }
    EbdaPhysical = (ULONG)ReadLeUshort(Segment) << 4; /* a real-mode segment: 16 bytes a unit */
    MmUnmapIoSpace(Segment, ACPI_BDA_EBDA_SEGMENT_LENGTH);
    if (EbdaPhysical == 0) {
        return ACPI_FALSE; /* a machine without an EBDA */
    }

    Physical.QuadPart = EbdaPhysical;
    Area = (PUCHAR)MmMapIoSpace(Physical, ACPI_EBDA_SEARCH_LENGTH, MmNonCached);
    if (Area == NULL) {
        return ACPI_FALSE;
    }
    Found = SearchRsdp(Area, ACPI_EBDA_SEARCH_LENGTH, Text);
    MmUnmapIoSpace(Area, ACPI_EBDA_SEARCH_LENGTH);
    return Found;
}

static ULONG AcpiReportSteps(PREPORT_TEXT Text)
{
    ReleaseMappings();
    InitMappings(BiosSegmentWindow);
    RsdtVirtual = NULL;
    XsdtVirtual = NULL;
    AcceptedRoot = RootNone;

    ReportTextAppend(Text, "Searching EBDA for signature...\r\n");
    /* After unload the window is gone too, so the report maps nothing at all. */
    AcpiFound = ZephrUnloaded ? ACPI_FALSE : SearchEbda(Text);
    if (AcpiFound == ACPI_FALSE) {
        ReportTextAppend(Text, "Searching BIOS area for signature...\r\n");
        if (BiosSegmentWindow == NULL) {
            ReportTextAppend(Text, "*** Error: BIOS segment mapping failed ***\r\n");
        } else {
            AcpiFound = SearchRsdp((const UCHAR*)BiosSegmentWindow, BIOS_SEGMENT_LENGTH, Text);
        }
    }
    if (AcpiFound == ACPI_FALSE) {
        ReportTextAppend(Text, "*** ERROR: No ACPI BIOS found ***\r\n");
        return ACPI_FALSE;
    }

    /* A root table whose header could not be mapped is not walked. */
    if (AcceptedRoot == RootRsdt && RsdtVirtual != NULL) {
        WalkRootTable(&RsdtKind, &RsdtVirtual, RsdtPhysical, Text);
    } else if (AcceptedRoot == RootXsdt && XsdtVirtual != NULL) {
        WalkRootTable(&XsdtKind, &XsdtVirtual, XsdtPhysical, Text);
    } else {
        ReportTextAppend(Text, "*** ERROR: Root table could not be mapped ***\r\n");
    }
    ListMappings(Text);
    return ACPI_TRUE;
}

/*
 * Fills the request's buffer with the report, under the firmware lock.
 * IRQL: PASSIVE_LEVEL.
 */
ULONG AcpiReport(PCHAR Buffer)
{
    REPORT_TEXT Text;
    ULONG Found;

    ReportTextInit(&Text, Buffer, ZEPHR_ACPI_REPORT_LENGTH, REPORT_TRUNCATED_MARKER);
    /* One report at a time: the registry and the root pointers are shared. */
    ZephrAcquireFirmware();
    Found = AcpiReportSteps(&Text);
    ZephrReleaseFirmware();
    return Found;
}

/*
 * Releases the last report's mappings; unload calls it under the firmware lock.
 * IRQL: PASSIVE_LEVEL.
 */
VOID AcpiCleanup(VOID)
{
    ReleaseMappings();
    RsdtVirtual = NULL;
    XsdtVirtual = NULL;
}
