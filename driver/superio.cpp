/*
 * superio.cpp
 *
 * Super I/O fan control. Until the chip's detection and duty registers are
 * served, every request answers its failure value: detect and set false,
 * get "no value".
 */
#include "driver/zephr.h"

USHORT SioConfigPort = 0;
USHORT SioRuntimeBase = 0;

ULONG SioDetect(VOID)
{
    return ZEPHR_SIO_FALSE;
}

ULONG SioSetFanDuty(USHORT Fan, USHORT Duty)
{
    UNREFERENCED_PARAMETER(Fan);
    UNREFERENCED_PARAMETER(Duty);
    return ZEPHR_SIO_FALSE;
}

ULONG SioGetFanDuty(USHORT Fan)
{
    UNREFERENCED_PARAMETER(Fan);
    return ZEPHR_NO_VALUE;
}
