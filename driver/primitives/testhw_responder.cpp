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

static USHORT TestHwAnswerFunction(UCHAR Function, USHORT Argument)
{
    UCHAR Fan = (UCHAR)(Argument & 0xFFu);
    UCHAR State = (UCHAR)(Argument >> 8);

    switch (Function) {
    case SMM_GET_FAN_STATE:
        return Argument < 2 ? TestHwFanState[Argument] : SMM_FAILED_AX;
    case SMM_SET_FAN_STATE:
        if (Fan >= 2 || State > SMM_HIGHEST_FAN_STATE)
            return SMM_FAILED_AX;
        TestHwFanState[Fan] = State;
        return 0;
    case SMM_GET_FAN_SPEED:
        return Argument < 2 ? TestHwFanSpeed[Argument] : SMM_FAILED_AX;
    case SMM_GET_TEMPERATURE:
        return Argument < TESTHW_SENSOR_COUNT ? TestHwTemperature[Argument] : SMM_FAILED_AX;
    default:
        return SMM_FAILED_AX;
    }
}

extern "C" VOID TestHwAnswerSmi(PSMM_REGISTERS Registers)
{
    if ((Registers->Ax & 0xFFu) != SMM_COMMAND_BYTE)
        return;
    Registers->Ax = TestHwAnswerFunction((UCHAR)(Registers->Ax >> 8), Registers->Bx);
}
