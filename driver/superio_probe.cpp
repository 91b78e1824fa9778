// SPDX-License-Identifier: MIT
/*
 * superio_probe.cpp
 *
 * Finding the Super I/O chip: the probe of one configuration port (exit key,
 * the data port's resting value, the enter key twice, device ID and
 * revision) and the detection that tries 0x2E, then 0x4E, and reads the
 * runtime base from logical device 9. The public entry point, SioDetect,
 * takes the hardware lock once, so a detection runs whole
 * and concurrent requests never mix their key and register sequences; the
 * routines below them run with the lock held.
 */
#include "driver/zephr.h"

#define SIO_PRIMARY_CONFIG_PORT 0x2Eu
#define SIO_SECONDARY_CONFIG_PORT 0x4Eu

#define SIO_ENTER_KEY 0x55u
#define SIO_EXIT_KEY 0xAAu

#define SIO_REG_LOGICAL_DEVICE 0x07u
#define SIO_REG_DEVICE_ID 0x20u
#define SIO_REG_BASE_HIGH 0x60u
#define SIO_REG_BASE_LOW 0x61u

#define SIO_SUPPORTED_DEVICE_ID 0x0Eu
#define SIO_REVISION_LIMIT 0x80u
#define SIO_RUNTIME_DEVICE 0x09u

/* The probe's tests in their order; the caller holds the hardware lock. */
static ULONG SioProbePort(USHORT Port, UCHAR IdRegister)
{
    USHORT DataPort = (USHORT)(Port + 1);
    UCHAR Resting;
    UCHAR DeviceId;
    UCHAR Revision;

    /* Leave configuration mode; a port that still reads the key back is no chip. */
    PortWriteByte(Port, SIO_EXIT_KEY);
    if (PortReadByte(Port) == SIO_EXIT_KEY) {
        return ZEPHR_SIO_FALSE;
    }
    Resting = PortReadByte(DataPort);

    PortWriteByte(Port, SIO_ENTER_KEY);
    if (!SioWriteIndexVerify(Port, SIO_ENTER_KEY)) {
        return ZEPHR_SIO_FALSE;
    }

    if (!SioWriteIndexVerify(Port, IdRegister)) {
        return ZEPHR_SIO_FALSE;
    }
    DeviceId = PortReadByte(DataPort);
    if (DeviceId == 0x00 || DeviceId == 0xFF) {
        return ZEPHR_SIO_FALSE;
    }

    if (!SioWriteIndexVerify(Port, (UCHAR)(IdRegister + 1))) {
        return ZEPHR_SIO_FALSE;
    }
    Revision = PortReadByte(DataPort);
    if (Revision >= SIO_REVISION_LIMIT) {
        return ZEPHR_SIO_FALSE;
    }

    /* An ID that the data port gave before the enter key is the bus, not the chip. */
    if (DeviceId == Resting) {
        return ZEPHR_SIO_FALSE;
    }
    return DeviceId == SIO_SUPPORTED_DEVICE_ID ? ZEPHR_SIO_TRUE : ZEPHR_SIO_FALSE;
}

/*
 * Reads logical device 9's base. A base of 0 would address ports 0 and 1,
 * and one of 0xFFFF would put the data port past the top of the port space:
 * neither is a runtime block, and the base is recorded as 0 (nothing
 * detected), so no register access ever uses it. The caller holds the
 * hardware lock.
 */
static ULONG SioReadRuntimeBase(VOID)
{
    USHORT Base;

    SioWriteRegister(SioConfigPort, SIO_REG_LOGICAL_DEVICE, SIO_RUNTIME_DEVICE);
    Base = (USHORT)(SioReadRegister(SioConfigPort, SIO_REG_BASE_HIGH) << 8);
    Base = (USHORT)(Base | SioReadRegister(SioConfigPort, SIO_REG_BASE_LOW));
    if (Base == 0x0000 || Base == 0xFFFF) {
        SioRuntimeBase = 0;
        return ZEPHR_SIO_FALSE;
    }
    SioRuntimeBase = Base;
    return ZEPHR_SIO_TRUE;
}

/* The caller holds the hardware lock. */
ULONG SioDetectChip(VOID)
{
    SioConfigPort = SIO_PRIMARY_CONFIG_PORT;
    if (!SioProbePort(SioConfigPort, SIO_REG_DEVICE_ID)) {
        SioConfigPort = SIO_SECONDARY_CONFIG_PORT;
        if (!SioProbePort(SioConfigPort, SIO_REG_DEVICE_ID)) {
            return ZEPHR_SIO_FALSE;
        }
    }
    /* The chip stays in configuration mode; the next probe's exit key leaves it. */
    return SioReadRuntimeBase();
}

/*
 * Public entry point for IOCTL_ZEPHR_DETECT_SUPERIO: takes the hardware lock
 * for the whole detection.
 * IRQL: PASSIVE_LEVEL.
 */
ULONG SioDetect(VOID)
{
    ULONG Found;

    ZephrAcquireHardware();
    Found = SioDetectChip();
    ZephrReleaseHardware();
    return Found;
}
