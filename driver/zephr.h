// SPDX-License-Identifier: MIT
/*
 * zephr.h
 *
 * The module header of the zephr driver: the globals and routines that its
 * files share, from the device and dispatch routines to the SMM calls, the
 * Super I/O access, the SMBIOS and ACPI readers and the serialization of
 * hardware sequences.
 */
#ifndef ZEPHR_H
#define ZEPHR_H

#include <ntddk.h>

#include "common/smm_interface.h"
#include "common/zephr_ioctl.h"
#include "driver/primitives/hw_primitives.h"

/* The BIOS segment window: physical 0xE0000 to 0xFFFFF, mapped at load. */
#define BIOS_SEGMENT_PHYSICAL 0x000E0000u
#define BIOS_SEGMENT_LENGTH 0x00020000u
/* Offset of physical 0xF0000 (the F segment) inside the window. */
#define BIOS_F_SEGMENT_OFFSET 0x00010000u

/* ---- Device and request dispatch ------------------------------------- */

extern PVOID BiosSegmentWindow;
/*
 * Set by the unload routine under the firmware lock. A request that still
 * reaches the device afterwards maps nothing, as nothing would release it.
 */
extern BOOLEAN ZephrUnloaded;

extern "C" DRIVER_INITIALIZE DriverEntry;
DRIVER_DISPATCH DispatchCreateClose;
DRIVER_DISPATCH DispatchDeviceControl;
DRIVER_UNLOAD UnloadDriver;

/* ---- Serialization of hardware and firmware sequences ----------------- */

/*
 * Requests run on their callers' threads, several at once. Each SMI exchange
 * and each Super I/O index-and-data sequence runs whole under the hardware
 * lock; the firmware lock covers the one-time SMBIOS search and mapping, the
 * reports that read through the mappings, and their release at unload.
 */
VOID ZephrInitializeLocks(VOID);
VOID ZephrAcquireHardware(VOID);
VOID ZephrReleaseHardware(VOID);
VOID ZephrAcquireFirmware(VOID);
VOID ZephrReleaseFirmware(VOID);

/* ---- SMM BIOS calls ---------------------------------------------------- */

ULONG SmmCall(PSMM_REGISTERS Block);
ULONG SmmGetFanState(USHORT Fan);
ULONG SmmSetFanState(USHORT Fan, USHORT State);
ULONG SmmGetFanSpeed(USHORT Fan);
ULONG SmmGetTemperature(USHORT Sensor);

/* ---- Super I/O fan control --------------------------------------------- */

extern USHORT SioConfigPort;
extern USHORT SioRuntimeBase;

/* Public entry points: each takes the hardware lock once and runs whole under it. */
ULONG SioDetect(VOID);
ULONG SioSetFanDuty(USHORT Fan, USHORT Duty);
ULONG SioGetFanDuty(USHORT Fan);

/* Inner routines: the caller holds the hardware lock. */
ULONG SioDetectChip(VOID);
ULONG SioWriteIndexVerify(USHORT Port, UCHAR Value);
/* One index-and-data pair (index at IndexPort, data one above). */
UCHAR SioReadRegister(USHORT IndexPort, UCHAR Register);
VOID SioWriteRegister(USHORT IndexPort, UCHAR Register, UCHAR Value);

/* ---- SMBIOS locator and the system information report ------------------ */

extern PVOID SmbiosEntryPoint;
extern PVOID SmbiosTable;
extern USHORT SmbiosTableLength;
extern PVOID SmbiosTableMapping;
extern ULONG SmbiosTableMapped;

VOID BuildSystemInfoReport(PCHAR Buffer);
VOID GetCpuSpeedText(PCHAR Buffer);

/* ---- ACPI report --------------------------------------------------------- */

ULONG AcpiReport(PCHAR Buffer);
VOID AcpiCleanup(VOID);

#endif /* ZEPHR_H */
