// SPDX-License-Identifier: MIT
/*
 * superio.cpp
 *
 * The Super I/O chip's driver-wide state and its register access: the
 * configuration port last probed, the runtime base read from logical device
 * 9, and the index-and-data pairs through which every configuration and
 * runtime register is reached. These are inner routines: the caller holds the
 * hardware lock, taken once by the public entry point it was called from, so
 * another request's index cannot slip in between.
 */
#include "driver/zephr.h"

USHORT SioConfigPort = 0;
USHORT SioRuntimeBase = 0;

/* The caller holds the hardware lock. */
ULONG SioWriteIndexVerify(USHORT Port, UCHAR Value)
{
    PortWriteByte(Port, Value);
    return PortReadByte(Port) == Value ? ZEPHR_SIO_TRUE : ZEPHR_SIO_FALSE;
}

/* The caller holds the hardware lock. */
UCHAR SioReadRegister(USHORT IndexPort, UCHAR Register)
{
    PortWriteByte(IndexPort, Register);
    return PortReadByte((USHORT)(IndexPort + 1));
}

/* The caller holds the hardware lock. */
VOID SioWriteRegister(USHORT IndexPort, UCHAR Register, UCHAR Value)
{
    PortWriteByte(IndexPort, Register);
    PortWriteByte((USHORT)(IndexPort + 1), Value);
}
