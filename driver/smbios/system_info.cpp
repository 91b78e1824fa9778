// SPDX-License-Identifier: MIT
/*
 * system_info.cpp
 *
 * The system information report (IOCTL_ZEPHR_GET_SYSINFO): one line per
 * value of the SMBIOS structures that describe the firmware, the model, the
 * processor, the caches, the memory sockets, the on-board devices and the
 * battery, in table order, or one error text when the table cannot be read.
 *
 * Each line is one piece of the bounded appender, so a report that outgrows
 * its ZEPHR_SYSINFO_LENGTH bytes ends after its last whole line with the truncation marker.
 */
#include "driver/smbios/smbios.h"

#include "common/report_lines.h"

/* Offsets of the fields read, from the structure's type byte. */
#define BIOS_VENDOR 0x04
#define BIOS_VERSION 0x05
#define BIOS_RELEASE_DATE 0x08
#define SYSTEM_MANUFACTURER 0x04
#define SYSTEM_PRODUCT_NAME 0x05
#define SYSTEM_SERIAL_NUMBER 0x07
#define ENCLOSURE_ASSET_TAG 0x08
#define PROCESSOR_MANUFACTURER 0x07
#define PROCESSOR_EXTERNAL_CLOCK 0x12
#define PROCESSOR_MAX_SPEED 0x14
#define CACHE_CONFIGURATION 0x05
#define CACHE_INSTALLED_SIZE 0x09
#define ONBOARD_DEVICE_TYPE 0x04
#define ONBOARD_DEVICE_STRING 0x05
#define MEMORY_SIZE 0x0C
#define MEMORY_DEVICE_LOCATOR 0x10
#define MEMORY_SPEED 0x15
#define BATTERY_LOCATION 0x04
#define BATTERY_MANUFACTURER 0x05
#define BATTERY_MANUFACTURE_DATE 0x06
#define BATTERY_SERIAL_NUMBER 0x07
#define BATTERY_DEVICE_NAME 0x08
#define BATTERY_SBDS_SERIAL 0x10
#define BATTERY_SBDS_DATE 0x12

/* Shortest structures that hold the optional fields. */
#define MEMORY_LENGTH_WITH_SPEED 0x17
#define BATTERY_LENGTH_WITH_SBDS_DATE 0x13
#define BATTERY_LENGTH_WITH_SBDS_SERIAL 0x11

/* On-board device types that have a line. */
#define ONBOARD_VIDEO 3
#define ONBOARD_ETHERNET 5
#define ONBOARD_SOUND 7
#define ONBOARD_ENABLED_FLAG 0x80

typedef struct _SMBIOS_STRUCTURE {
    const UCHAR* Address;
    ULONG Length;
} SMBIOS_STRUCTURE;

static UCHAR Byte(const SMBIOS_STRUCTURE* Structure, ULONG Offset)
{
    return SmbiosByte(Structure->Address, Structure->Length, Offset);
}

static LONG Word(const SMBIOS_STRUCTURE* Structure, ULONG Offset)
{
    return (LONG)SmbiosWord(Structure->Address, Structure->Length, Offset);
}

/* The string whose number stands at Offset; a number past the set still gives a value. */
static PCSTR String(const SMBIOS_STRUCTURE* Structure, ULONG Offset)
{
    PCSTR Text = GetSmbiosString(Structure->Address, Structure->Length, Byte(Structure, Offset));
    return Text != NULL ? Text : SMBIOS_BAD_STRING_TEXT;
}

static VOID FormatBiosInformation(PREPORT_TEXT Text, const SMBIOS_STRUCTURE* Structure)
{
    ReportTextAppend(Text, "BIOS vendor: %s\r\n", String(Structure, BIOS_VENDOR));
    ReportTextAppend(Text, "BIOS version: %s\r\n", String(Structure, BIOS_VERSION));
    ReportTextAppend(Text, "BIOS date: %s\r\n", String(Structure, BIOS_RELEASE_DATE));
}

static VOID FormatSystemInformation(PREPORT_TEXT Text, const SMBIOS_STRUCTURE* Structure)
{
    ReportTextAppend(Text, "System manufacturer: %s\r\n", String(Structure, SYSTEM_MANUFACTURER));
    ReportTextAppend(Text, ZEPHR_PRODUCT_NAME_KEY " %s\r\n",
                     String(Structure, SYSTEM_PRODUCT_NAME));
    ReportTextAppend(Text, "Service tag: %s\r\n", String(Structure, SYSTEM_SERIAL_NUMBER));
}

static VOID FormatSystemEnclosure(PREPORT_TEXT Text, const SMBIOS_STRUCTURE* Structure)
{
    ReportTextAppend(Text, "Asset tag: %s\r\n", String(Structure, ENCLOSURE_ASSET_TAG));
}

static VOID FormatProcessor(PREPORT_TEXT Text, const SMBIOS_STRUCTURE* Structure)
{
    ReportTextAppend(Text, "CPU manufacturer: %s\r\n", String(Structure, PROCESSOR_MANUFACTURER));
    ReportTextAppend(Text, "Current CPU speed: %d MHz\r\n",
                     Word(Structure, PROCESSOR_CURRENT_SPEED));
    ReportTextAppend(Text, "External clock: %d MHz\r\n", Word(Structure, PROCESSOR_EXTERNAL_CLOCK));
    ReportTextAppend(Text, "Max. CPU speed supported by board: %d MHz\r\n",
                     Word(Structure, PROCESSOR_MAX_SPEED));
}

static PCSTR CacheLocationText(ULONG Location)
{
    static const PCSTR Locations[4] = {"internal", "external", "reserved", "unknown"};
    return Locations[Location & 3];
}

static VOID FormatCache(PREPORT_TEXT Text, const SMBIOS_STRUCTURE* Structure)
{
    ULONG Configuration = (ULONG)Word(Structure, CACHE_CONFIGURATION);
    ULONG InstalledSize = (ULONG)Word(Structure, CACHE_INSTALLED_SIZE);
    ULONG Granularity = (InstalledSize & 0x8000u) != 0 ? 64 : 1;

    ReportTextAppend(Text, "L%d cache size: %d KB (%s)\r\n", (LONG)((Configuration & 7) + 1),
                     (LONG)((InstalledSize & 0x7FFFu) * Granularity),
                     CacheLocationText(Configuration >> 5));
}

/* Only the first device entry is looked at, enabled or not. */
static VOID FormatOnBoardDevices(PREPORT_TEXT Text, const SMBIOS_STRUCTURE* Structure)
{
    switch (Byte(Structure, ONBOARD_DEVICE_TYPE) & ~ONBOARD_ENABLED_FLAG) {
    case ONBOARD_VIDEO:
        ReportTextAppend(Text, "Video card: %s\r\n", String(Structure, ONBOARD_DEVICE_STRING));
        break;
    case ONBOARD_ETHERNET:
        ReportTextAppend(Text, "Ethernet card: %s\r\n", String(Structure, ONBOARD_DEVICE_STRING));
        break;
    case ONBOARD_SOUND:
        ReportTextAppend(Text, "Sound card: %s\r\n", String(Structure, ONBOARD_DEVICE_STRING));
        break;
    default:
        break;
    }
}

/* The Size word raw, in decimal; the speed part when the structure has a non-zero Speed. */
static VOID FormatMemoryDevice(PREPORT_TEXT Text, const SMBIOS_STRUCTURE* Structure)
{
    PCSTR Locator = String(Structure, MEMORY_DEVICE_LOCATOR);
    LONG Size = Word(Structure, MEMORY_SIZE);
    LONG Speed = Word(Structure, MEMORY_SPEED);

    if (Byte(Structure, 1) >= MEMORY_LENGTH_WITH_SPEED && Speed != 0) {
        ReportTextAppend(Text, "SODIMM Socket '%s': %d MB (%d MHz)\r\n", Locator, Size, Speed);
    } else {
        ReportTextAppend(Text, "SODIMM Socket '%s': %d MB\r\n", Locator, Size);
    }
}

/* An SBDS date: day in bits 4-0, month in bits 8-5, years since 1980 in bits 15-9. */
static VOID AppendSbdsDate(PREPORT_TEXT Text, ULONG Date)
{
    ReportTextAppend(Text, "Battery manufacturing date: %d/%d/%d (SBDS)\r\n",
                     (LONG)((Date >> 5) & 0x0F), (LONG)(Date & 0x1F), (LONG)((Date >> 9) + 1980));
}

static VOID FormatPortableBattery(PREPORT_TEXT Text, const SMBIOS_STRUCTURE* Structure)
{
    UCHAR Length = Byte(Structure, 1);

    ReportTextAppend(Text, "Battery manufacturer: %s\r\n", String(Structure, BATTERY_MANUFACTURER));
    ReportTextAppend(Text, "Battery device name: %s\r\n", String(Structure, BATTERY_DEVICE_NAME));
    ReportTextAppend(Text, "Battery location: %s\r\n", String(Structure, BATTERY_LOCATION));
    if (Byte(Structure, BATTERY_MANUFACTURE_DATE) != 0) {
        ReportTextAppend(Text, "Battery manufacturing date: %s\r\n",
                         String(Structure, BATTERY_MANUFACTURE_DATE));
    } else if (Length >= BATTERY_LENGTH_WITH_SBDS_DATE) {
        AppendSbdsDate(Text, (ULONG)Word(Structure, BATTERY_SBDS_DATE));
    }
    if (Byte(Structure, BATTERY_SERIAL_NUMBER) != 0) {
        ReportTextAppend(Text, "Battery serial no: %s\r\n",
                         String(Structure, BATTERY_SERIAL_NUMBER));
    } else if (Length >= BATTERY_LENGTH_WITH_SBDS_SERIAL) {
        ReportTextAppend(Text, "Battery serial no: %d (SBDS)\r\n",
                         Word(Structure, BATTERY_SBDS_SERIAL));
    }
}

VOID FormatSmbiosStructure(PREPORT_TEXT Text, const UCHAR* Address, ULONG StructureLength)
{
    SMBIOS_STRUCTURE Structure = {Address, StructureLength};

    switch (Byte(&Structure, 0)) {
    case 0:
        FormatBiosInformation(Text, &Structure);
        break;
    case 1:
        FormatSystemInformation(Text, &Structure);
        break;
    case 3:
        FormatSystemEnclosure(Text, &Structure);
        break;
    case SMBIOS_TYPE_PROCESSOR:
        FormatProcessor(Text, &Structure);
        break;
    case 7:
        FormatCache(Text, &Structure);
        break;
    case 10:
        FormatOnBoardDevices(Text, &Structure);
        break;
    case 17:
        FormatMemoryDevice(Text, &Structure);
        break;
    case 22:
        FormatPortableBattery(Text, &Structure);
        break;
    default:
        break;
    }
}

VOID FormatSmbiosStructures(PREPORT_TEXT Text, PSMBIOS_WALK Walk)
{
    const UCHAR* Structure;
    ULONG Length;

    while (!Text->Closed && SmbiosNextStructure(Walk, &Structure, &Length)) {
        FormatSmbiosStructure(Text, Structure, Length);
    }
}

static PCSTR OpenFailureText(SMBIOS_TABLE_RESULT Result)
{
    switch (Result) {
    case SmbiosNoWindow:
        return "*** Error: BIOS segment mapping failed ***";
    case SmbiosNotFound:
        return "*** Error: No SMBIOS found ***";
    case SmbiosNoDmiAnchor:
        return "*** Error: Pointer to DMI structures not found ***";
    default:
        return "*** Error: SMBIOS table mapping failed ***";
    }
}

/*
 * Fills the request's buffer with the report, under the firmware lock.
 * IRQL: PASSIVE_LEVEL.
 */
VOID BuildSystemInfoReport(PCHAR Buffer)
{
    REPORT_TEXT Text;
    SMBIOS_TABLE_VIEW View;
    SMBIOS_WALK Walk;
    SMBIOS_TABLE_RESULT Result;

    /* Nothing of what the buffer held before reaches the caller. */
    RtlZeroMemory(Buffer, ZEPHR_SYSINFO_LENGTH);
    ReportTextInit(&Text, Buffer, ZEPHR_SYSINFO_LENGTH, REPORT_TRUNCATED_MARKER);

    ZephrAcquireFirmware();
    Result = SmbiosOpenTable(&View);
    if (Result != SmbiosTableLocated) {
        ReportTextAppend(&Text, "%s", OpenFailureText(Result));
    } else {
        SmbiosStartWalk(&View, &Walk);
        FormatSmbiosStructures(&Text, &Walk);
    }
    ZephrReleaseFirmware();
}
