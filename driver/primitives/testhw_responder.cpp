// SPDX-License-Identifier: MIT
/*
 * testhw_responder.cpp
 *
 * The fixed SMM BIOS of zephr-testhw.sys. It keeps the two fan states that
 * SET_FAN_STATE writes; the driver serializes SMI exchanges, so nothing here
 * is touched by two requests at once.
 */
#include "driver/primitives/testhw_responder.h"

static USHORT TestHwFanState[2] = {TESTHW_FAN0_INITIAL_STATE, TESTHW_FAN1_INITIAL_STATE};

static const USHORT TestHwTemperature[TESTHW_SENSOR_COUNT] = {
    TESTHW_TEMP_SENSOR0, TESTHW_TEMP_SENSOR1, TESTHW_TEMP_SENSOR2, TESTHW_TEMP_SENSOR3};

static const USHORT TestHwFanSpeed[2] = {TESTHW_FAN0_SPEED, TESTHW_FAN1_SPEED};

#define TESTHW_SMI_COMMAND 0xA3u
#define TESTHW_REFUSED 0xFFFFu

static USHORT TestHwAnswerFunction(UCHAR Function, USHORT Argument)
{
    UCHAR Fan = (UCHAR)(Argument & 0xFFu);
    UCHAR State = (UCHAR)(Argument >> 8);

    switch (Function) {
    case 0x00: /* fan state */
        return Argument < 2 ? TestHwFanState[Argument] : TESTHW_REFUSED;
    case 0x01: /* set fan state: BL fan, BH state */
        if (Fan >= 2 || State > 2)
            return TESTHW_REFUSED;
        TestHwFanState[Fan] = State;
        return 0;
    case 0x02: /* fan speed */
        return Argument < 2 ? TestHwFanSpeed[Argument] : TESTHW_REFUSED;
    case 0x10: /* temperature */
        return Argument < TESTHW_SENSOR_COUNT ? TestHwTemperature[Argument] : TESTHW_REFUSED;
    default:
        return TESTHW_REFUSED;
    }
}

extern "C" VOID TestHwAnswerSmi(PSMM_REGISTERS Registers)
{
    if ((Registers->Ax & 0xFFu) != TESTHW_SMI_COMMAND)
        return;
    Registers->Ax = TestHwAnswerFunction((UCHAR)(Registers->Ax >> 8), Registers->Bx);
}
