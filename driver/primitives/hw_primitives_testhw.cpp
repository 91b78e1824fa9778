// SPDX-License-Identifier: MIT
/*
 * hw_primitives_testhw.cpp
 *
 * The privileged primitives of zephr-testhw.sys, the test build of the
 * driver that runs where no SMM BIOS and no I/O privilege exist (Wine). The
 * SMI exchange is answered by a small responder with fixed temperatures and
 * fan values; port reads answer 0xFF (an empty bus, so no Super I/O chip is
 * found) and port writes go nowhere. No privileged instruction is executed.
 * This image is for the test suite only and is never installed on a notebook.
 */
#include "driver/primitives/hw_primitives.h"
#include "driver/primitives/testhw_responder.h"

extern "C" VOID SmmExchange(PSMM_REGISTERS Registers)
{
    TestHwAnswerSmi(Registers);
}

extern "C" UCHAR PortReadByte(USHORT Port)
{
    (void)Port;
    return TESTHW_EMPTY_BUS_BYTE;
}

extern "C" VOID PortWriteByte(USHORT Port, UCHAR Value)
{
    (void)Port;
    (void)Value;
}
