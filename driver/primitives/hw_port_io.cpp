// SPDX-License-Identifier: MIT
/*
 * hw_port_io.cpp
 *
 * Byte port I/O of the real driver, for 32-bit x86 and x86-64 alike: IN and
 * OUT through DX are the same instructions in both modes. Each is one
 * volatile assembly instruction that the compiler may neither move memory
 * accesses across nor merge or drop.
 */
#include "driver/primitives/hw_primitives.h"

extern "C" UCHAR PortReadByte(USHORT Port)
{
    UCHAR Value;
    __asm__ __volatile__("inb %%dx, %%al" : "=a"(Value) : "d"(Port) : "memory");
    return Value;
}

extern "C" VOID PortWriteByte(USHORT Port, UCHAR Value)
{
    __asm__ __volatile__("outb %%al, %%dx" : : "a"(Value), "d"(Port) : "memory");
}
