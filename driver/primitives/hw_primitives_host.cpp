// SPDX-License-Identifier: MIT
// hw_primitives_host.cpp
//
// The host build's privileged primitives: the SMI exchange and byte port I/O
// of the driver act on the simulated notebook installed in this process. The
// exchange is the x86 one's steps: the SMI on the registers as loaded, then
// AL as the BIOS left it to the POST code port.
#include "driver/primitives/hw_primitives.h"
#include "sim/machine.h"

#include "common/smm_interface.h"

extern "C" VOID SmmExchange(PSMM_REGISTERS Registers)
{
    sim::SmmRegisters registers{Registers->Ax, Registers->Bx, Registers->Cx, Registers->Dx};
    sim::Machine& machine = sim::currentMachine();
    machine.smi(registers);
    machine.portOut(SMM_POST_CODE_PORT, static_cast<UCHAR>(registers.ax & 0xFF));
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
