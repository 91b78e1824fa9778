// SPDX-License-Identifier: MIT
/*
 * hw_primitives.h
 *
 * The driver's privileged primitives: the SMI exchange and byte port I/O.
 * They are the only driver routines whose body differs between builds, and
 * they have four bodies, side by side in this folder:
 *   hw_primitives_x86.cpp     x86 inline assembly: zephr.sys, the Windows
 *                             build's driver for a notebook;
 *   hw_primitives_x64.cpp     x86-64 inline assembly: zephr.sys of the x64
 *                             Windows build (the port I/O of these two is
 *                             hw_port_io.cpp, the same instructions in both
 *                             modes);
 *   hw_primitives_host.cpp    the simulated notebook of this process: the
 *                             host build's zephr.so and its unit tests;
 *   hw_primitives_testhw.cpp  a fixed responder (testhw_responder.cpp) and an
 *                             empty I/O bus: zephr-testhw.sys, the Windows
 *                             build's test driver that the Wine suite runs.
 * Every image links exactly one of them with the same driver sources.
 */
#ifndef ZEPHR_HW_PRIMITIVES_H
#define ZEPHR_HW_PRIMITIVES_H

#include <ntddk.h>

/* The four 16-bit registers exchanged with the SMM BIOS. */
typedef struct _SMM_REGISTERS {
    USHORT Ax;
    USHORT Bx;
    USHORT Cx;
    USHORT Dx;
} SMM_REGISTERS, *PSMM_REGISTERS;

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Loads AX, BX, CX and DX from the block, writes AL to port 0xB2 (the SMI),
 * then writes AL as the BIOS left it to port 0x84, and stores AX, BX, CX and
 * DX back into the block. Every other general-purpose register is preserved.
 * The caller serializes exchanges.
 */
VOID SmmExchange(PSMM_REGISTERS Registers);

/* One byte from an I/O port, and one byte to it, at once and uncached. */
UCHAR PortReadByte(USHORT Port);
VOID PortWriteByte(USHORT Port, UCHAR Value);

#ifdef __cplusplus
}
#endif

#endif /* ZEPHR_HW_PRIMITIVES_H */
