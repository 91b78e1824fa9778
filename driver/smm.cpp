// SPDX-License-Identifier: MIT
/*
 * smm.cpp
 *
 * The driver's way into the BIOS's System Management Mode: the register
 * exchange SmmCall with its success rule, and the four fan and temperature
 * operations built on it.
 */
#include "driver/zephr.h"

/*
 * One SMI exchange under the hardware lock; 1 when the BIOS took the call.
 * IRQL: PASSIVE_LEVEL.
 */
ULONG SmmCall(PSMM_REGISTERS Block)
{
    SMM_REGISTERS Registers = *Block;
    ULONG Result = 1;

    ZephrAcquireHardware();
    SmmExchange(&Registers);
    ZephrReleaseHardware();

    /* A BIOS that ignores the call leaves all four registers as they were. */
    if (Registers.Ax == Block->Ax && Registers.Bx == Block->Bx && Registers.Cx == Block->Cx &&
        Registers.Dx == Block->Dx) {
        Result = 0;
    } else if (Registers.Ax == SMM_FAILED_AX) {
        Result = 0;
    }

    *Block = Registers;
    return Result;
}

/*
 * One call with ax and bx as given, cx = dx = 0; the returned block on success.
 * IRQL: PASSIVE_LEVEL.
 */
static BOOLEAN SmmRun(USHORT Ax, USHORT Bx, PSMM_REGISTERS Block)
{
    Block->Ax = Ax;
    Block->Bx = Bx;
    Block->Cx = 0;
    Block->Dx = 0;
    return SmmCall(Block) == 1;
}

/*
 * The state of a fan (0 off, 1 slow, 2 high), or all ones.
 * IRQL: PASSIVE_LEVEL.
 */
ULONG SmmGetFanState(USHORT Fan)
{
    SMM_REGISTERS Block;
    if (!SmmRun(SMM_FUNCTION(SMM_GET_FAN_STATE), Fan, &Block)) {
        return ZEPHR_NO_VALUE;
    }
    return Block.Ax;
}

/*
 * Sets a fan's state; 0 when the BIOS took it, else all ones.
 * IRQL: PASSIVE_LEVEL.
 */
ULONG SmmSetFanState(USHORT Fan, USHORT State)
{
    SMM_REGISTERS Block;
    if (!SmmRun(SMM_FUNCTION(SMM_SET_FAN_STATE), (USHORT)((State << 8) | Fan), &Block)) {
        return ZEPHR_NO_VALUE;
    }
    return 0;
}

/*
 * A fan's speed in revolutions per minute, or all ones.
 * IRQL: PASSIVE_LEVEL.
 */
ULONG SmmGetFanSpeed(USHORT Fan)
{
    SMM_REGISTERS Block;
    if (!SmmRun(SMM_FUNCTION(SMM_GET_FAN_SPEED), Fan, &Block)) {
        return ZEPHR_NO_VALUE;
    }
    return (ULONG)Block.Ax * SMM_FAN_SPEED_FACTOR;
}

/*
 * A sensor's temperature in degrees Celsius, or all ones.
 * IRQL: PASSIVE_LEVEL.
 */
ULONG SmmGetTemperature(USHORT Sensor)
{
    SMM_REGISTERS Block;
    if (!SmmRun(SMM_FUNCTION(SMM_GET_TEMPERATURE), Sensor, &Block)) {
        return ZEPHR_NO_VALUE;
    }
    return Block.Ax;
}
