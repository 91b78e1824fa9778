// SPDX-License-Identifier: MIT
// hw_primitives_host.cpp
//
// The host build's privileged primitives: the SMI exchange and byte port I/O
// of the driver act on the simulated notebook installed in this process.
#include "driver/primitives/hw_primitives.h"
#include "sim/machine.h"

extern "C" VOID SmmExchange(PSMM_REGISTERS Registers)
{
    sim::SmmRegisters registers{Registers->Ax, Registers->Bx, Registers->Cx, Registers->Dx};
    sim::currentMachine().smiExchange(registers);
    Registers->Ax = registers.ax;
    Registers->Bx = registers.bx;
    Registers->Cx = registers.cx;
    Registers->Dx = registers.dx;
}

extern "C" UCHAR PortReadByte(USHORT Port)
{
    return sim::currentMachine().portIn(Port);
}

extern "C" VOID PortWriteByte(USHORT Port, UCHAR Value)
{
    sim::currentMachine().portOut(Port, Value);
}
