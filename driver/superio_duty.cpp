/*
 * superio_duty.cpp
 *
 * The fans' duty registers in the Super I/O runtime block: which register
 * belongs to which fan, the duty encoding (bit 7 set, the duty in bits 6 to
 * 1, bit 0 clear), and the set and get routines, which detect the chip first
 * while no runtime base is known. Each routine runs whole under the hardware
 * lock, so a set's write and its read-back are not split by another request.
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

/* True when a usable runtime base is known, detecting the chip if none is. */
static BOOLEAN SioRuntimeReady(VOID)
{
    if (SioRuntimeBase == 0 && !SioDetect()) {
        return FALSE;
    }
    return SioRuntimeBase != 0;
}

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

ULONG SioSetFanDuty(USHORT Fan, USHORT Duty)
{
    ULONG Result;

    ZephrAcquireHardware();
    Result = SioSetFanDutySteps(Fan, Duty);
    ZephrReleaseHardware();
    return Result;
}

ULONG SioGetFanDuty(USHORT Fan)
{
    ULONG Result;

    ZephrAcquireHardware();
    Result = SioGetFanDutySteps(Fan);
    ZephrReleaseHardware();
    return Result;
}
