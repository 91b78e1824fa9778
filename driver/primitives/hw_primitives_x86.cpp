// SPDX-License-Identifier: MIT
/*
 * hw_primitives_x86.cpp
 *
 * The SMI exchange of the real driver on 32-bit x86, through ports 0xB2 and
 * 0x84 (byte port I/O is hw_port_io.cpp, the same in both modes). It is one
 * volatile assembly sequence; the compiler may neither move memory accesses
 * across it nor merge or drop it.
 */
#include "driver/primitives/hw_primitives.h"

#include "common/smm_interface.h"

/*
 * The exchange, in one straight sequence:
 *   - EFLAGS and all eight general-purpose registers go onto the stack
 *     (pushfl, pushal), then the block's address on top of them, because the
 *     BIOS may change any register, ESI included, and ESP is all that
 *     survives an SMI for certain;
 *   - AX, BX, CX and DX are loaded with 16-bit moves, so the upper halves of
 *     EAX to EDX stay as they were;
 *   - AL goes to the SMI command port 0xB2; the BIOS handler runs before the
 *     next instruction and leaves its answer in AX to DX;
 *   - AL as the BIOS left it goes to port 0x84 at once;
 *   - the block's address comes back from the stack into ESI, AX to DX are
 *     stored into the block, and popal, popfl restore every register. EBX
 *     (the PIC register elsewhere) and EBP (the frame pointer) are restored
 *     with the rest, whatever the firmware did to them.
 * No register besides ESI, which carries the address in, is an operand, and
 * ESI is restored too, so the compiler sees nothing clobbered but memory.
 */
extern "C" VOID SmmExchange(PSMM_REGISTERS Registers)
{
    __asm__ __volatile__(
        "pushfl\n\t"
        "pushal\n\t"
        "pushl %%esi\n\t"
        "movw 0(%%esi), %%ax\n\t"
        "movw 2(%%esi), %%bx\n\t"
        "movw 4(%%esi), %%cx\n\t"
        "movw 6(%%esi), %%dx\n\t"
        "outb %%al, %[command]\n\t"
        "outb %%al, %[post]\n\t"
        "movl (%%esp), %%esi\n\t"
        "movw %%ax, 0(%%esi)\n\t"
        "movw %%bx, 2(%%esi)\n\t"
        "movw %%cx, 4(%%esi)\n\t"
        "movw %%dx, 6(%%esi)\n\t"
        "addl $4, %%esp\n\t"
        "popal\n\t"
        "popfl"
        :
        : "S"(Registers), [command] "N"(SMM_COMMAND_PORT), [post] "N"(SMM_POST_CODE_PORT)
        : "memory", "cc");
}
