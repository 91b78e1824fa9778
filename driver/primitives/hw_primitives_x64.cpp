// SPDX-License-Identifier: MIT
/*
 * hw_primitives_x64.cpp
 *
 * The SMI exchange of the real driver on x86-64, through ports 0xB2 and 0x84
 * (byte port I/O is hw_port_io.cpp, the same in both modes). The same
 * sequence as on 32-bit x86 (hw_primitives_x86.cpp); x86-64 has no
 * pushal/popal, so the registers are saved one by one.
 */
#include "driver/primitives/hw_primitives.h"

#include "common/smm_interface.h"

/*
 * The exchange, in one straight sequence:
 *   - RFLAGS and all fifteen general-purpose registers besides RSP go onto
 *     the stack, then the block's address on top of them, because the BIOS
 *     may change any register, RSI included, and RSP is all that survives an
 *     SMI for certain (the x64 calling convention has no red zone, so the
 *     pushes overwrite nothing of the caller's);
 *   - AX, BX, CX and DX are loaded with 16-bit moves, exactly as on x86. A
 *     16-bit move leaves bits 16 to 63 of its register as they were (only a
 *     32-bit move clears the upper half), so the BIOS sees in the upper bits
 *     of RAX to RDX whatever the compiled code last left there: the
 *     interface defines only the 16-bit registers, and a BIOS written for
 *     32-bit Windows reads no more;
 *   - AL goes to the SMI command port 0xB2; the BIOS handler runs before the
 *     next instruction and leaves its answer in AX to DX;
 *   - AL as the BIOS left it goes to port 0x84 at once;
 *   - the block's address comes back from the stack into RSI, AX to DX are
 *     stored into the block, and every register, RFLAGS last, is restored
 *     from the stack: whatever the BIOS left in bits 16 to 63 of RAX to RDX,
 *     or in any other register, is discarded.
 * No register besides RSI, which carries the address in, is an operand, and
 * RSI is restored too, so the compiler sees nothing clobbered but memory.
 */
extern "C" VOID SmmExchange(PSMM_REGISTERS Registers)
{
    __asm__ __volatile__(
        "pushfq\n\t"
        "pushq %%rax\n\t"
        "pushq %%rbx\n\t"
        "pushq %%rcx\n\t"
        "pushq %%rdx\n\t"
        "pushq %%rsi\n\t"
        "pushq %%rdi\n\t"
        "pushq %%rbp\n\t"
        "pushq %%r8\n\t"
        "pushq %%r9\n\t"
        "pushq %%r10\n\t"
        "pushq %%r11\n\t"
        "pushq %%r12\n\t"
        "pushq %%r13\n\t"
        "pushq %%r14\n\t"
        "pushq %%r15\n\t"
        "pushq %%rsi\n\t"
        "movw 0(%%rsi), %%ax\n\t"
        "movw 2(%%rsi), %%bx\n\t"
        "movw 4(%%rsi), %%cx\n\t"
        "movw 6(%%rsi), %%dx\n\t"
        "outb %%al, %[command]\n\t"
        "outb %%al, %[post]\n\t"
        "movq (%%rsp), %%rsi\n\t"
        "movw %%ax, 0(%%rsi)\n\t"
        "movw %%bx, 2(%%rsi)\n\t"
        "movw %%cx, 4(%%rsi)\n\t"
        "movw %%dx, 6(%%rsi)\n\t"
        "addq $8, %%rsp\n\t"
        "popq %%r15\n\t"
        "popq %%r14\n\t"
        "popq %%r13\n\t"
        "popq %%r12\n\t"
        "popq %%r11\n\t"
        "popq %%r10\n\t"
        "popq %%r9\n\t"
        "popq %%r8\n\t"
        "popq %%rbp\n\t"
        "popq %%rdi\n\t"
        "popq %%rsi\n\t"
        "popq %%rdx\n\t"
        "popq %%rcx\n\t"
        "popq %%rbx\n\t"
        "popq %%rax\n\t"
        "popfq"
        :
        : "S"(Registers), [command] "N"(SMM_COMMAND_PORT), [post] "N"(SMM_POST_CODE_PORT)
        : "memory", "cc");
}
