/*
 * superio.cpp
 *
 * The Super I/O chip's driver-wide state and its register access: the
 * configuration port last probed, the runtime base read from logical device
 * 9, and the index-and-data pairs through which every configuration and
 * runtime register is reached. Each pair runs whole under the hardware lock,
 * so another request's index cannot slip in between.
 */
#include "driver/zephr.h"

USHORT SioConfigPort = 0;
USHORT SioRuntimeBase = 0;

ULONG SioWriteIndexVerify(USHORT Port, UCHAR Value)
{
    PortWriteByte(Port, Value);
    return PortReadByte(Port) == Value ? ZEPHR_SIO_TRUE : ZEPHR_SIO_FALSE;
}

UCHAR SioReadRegister(USHORT IndexPort, UCHAR Register)
{
    UCHAR Value;

    ZephrAcquireHardware();
    PortWriteByte(IndexPort, Register);
    Value = PortReadByte((USHORT)(IndexPort + 1));
    ZephrReleaseHardware();
    return Value;
}

VOID SioWriteRegister(USHORT IndexPort, UCHAR Register, UCHAR Value)
{
    ZephrAcquireHardware();
    PortWriteByte(IndexPort, Register);
    PortWriteByte((USHORT)(IndexPort + 1), Value);
    ZephrReleaseHardware();
}
