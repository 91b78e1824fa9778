// SPDX-License-Identifier: MIT
/*
 * locks.cpp
 *
 * The driver's two kernel mutexes. The hardware lock makes each SMI exchange
 * and each Super I/O register sequence run whole although requests arrive on
 * many threads at once; the firmware lock makes the one-time SMBIOS search and
 * mapping happen once, and keeps the mappings alive while a report reads
 * through them. Both are waited on at PASSIVE_LEVEL, the level at which every
 * routine of the driver runs.
 */
#include "driver/zephr.h"

static KMUTEX HardwareMutex;
static KMUTEX FirmwareMutex;

VOID ZephrInitializeLocks(VOID)
{
    KeInitializeMutex(&HardwareMutex, 0);
    KeInitializeMutex(&FirmwareMutex, 0);
}

static VOID AcquireMutex(PRKMUTEX Mutex)
{
    KeWaitForSingleObject(Mutex, Executive, KernelMode, FALSE, NULL);
}

VOID ZephrAcquireHardware(VOID)
{
    AcquireMutex(&HardwareMutex);
}

VOID ZephrReleaseHardware(VOID)
{
    KeReleaseMutex(&HardwareMutex, FALSE);
}

VOID ZephrAcquireFirmware(VOID)
{
    AcquireMutex(&FirmwareMutex);
}

VOID ZephrReleaseFirmware(VOID)
{
    KeReleaseMutex(&FirmwareMutex, FALSE);
}
