// SPDX-License-Identifier: MIT
/*
 * superio_duty.cpp
 *
 * The fans' duty registers in the Super I/O runtime block: which register
 * belongs to which fan, the duty encoding (bit 7 set, the duty in bits 6 to
 * 1, bit 0 clear), and the set and get routines, which detect the chip first
 * while no runtime base is known. The two public entry points take the
 * hardware lock once and run whole under it, so a set's write and its
 * read-back are not split by another request; the steps below them run with
 * the lock held.
 */
#include "driver/zephr.h"

#define SIO_DUTY_FIXED_BITS 0x80u
#define SIO_DUTY_VALUE_BITS 0x7Eu

/*
 * Fan index -> duty register. Index 2 (register 0x95) is the chip's third
 * duty register; the dispatcher admits fans 0 and 1 only, so no request
 * reaches it today.
 */
static const UCHAR SioDutyRegisters[] = {0x92, 0x93, 0x95};

#define SIO_FAN_COUNT (sizeof(SioDutyRegisters) / sizeof(SioDutyRegisters[0]))

/*
 * True when a usable runtime base is known, detecting the chip if none is.
 * The caller holds the hardware lock.
 */
static BOOLEAN SioRuntimeReady(VOID)
{
    if (SioRuntimeBase == 0 && !SioDetectChip()) {
        return FALSE;
    }
    return SioRuntimeBase != 0;
}

/* The caller holds the hardware lock. */
static ULONG SioSetFanDutySteps(USHORT Fan, USHORT Duty)
{
    UCHAR Register;
    UCHAR Value;

    if (!SioRuntimeReady()) {
        return ZEPHR_SIO_FALSE;
    }
    if (Fan >= SIO_FAN_COUNT || Duty > ZEPHR_MAX_DUTY) {
        return ZEPHR_SIO_FALSE;
    }
    Register = SioDutyRegisters[Fan];
    Value = (UCHAR)((Duty << 1) | SIO_DUTY_FIXED_BITS);
    SioWriteRegister(SioRuntimeBase, Register, Value);
    return SioReadRegister(SioRuntimeBase, Register) == Value ? ZEPHR_SIO_TRUE : ZEPHR_SIO_FALSE;
}

/* The caller holds the hardware lock. */
static ULONG SioGetFanDutySteps(USHORT Fan)
{
    UCHAR Value;

    if (!SioRuntimeReady()) {
        return ZEPHR_NO_VALUE;
    }
    if (Fan >= SIO_FAN_COUNT) {
        return ZEPHR_NO_VALUE;
    }
    Value = SioReadRegister(SioRuntimeBase, SioDutyRegisters[Fan]);
    return (ULONG)((Value & SIO_DUTY_VALUE_BITS) >> 1);
}

/*
 * Public entry point for IOCTL_ZEPHR_SET_PWM: takes the hardware lock.
 * IRQL: PASSIVE_LEVEL.
 */
ULONG SioSetFanDuty(USHORT Fan, USHORT Duty)
{
    ULONG Result;

    ZephrAcquireHardware();
    Result = SioSetFanDutySteps(Fan, Duty);
    ZephrReleaseHardware();
    return Result;
}

/*
 * Public entry point for IOCTL_ZEPHR_GET_PWM: takes the hardware lock.
 * IRQL: PASSIVE_LEVEL.
 */
ULONG SioGetFanDuty(USHORT Fan)
{
    ULONG Result;

    ZephrAcquireHardware();
    Result = SioGetFanDutySteps(Fan);
    ZephrReleaseHardware();
    return Result;
}
