// SPDX-License-Identifier: MIT
/*
 * ntddk.h (Windows build)
 *
 * Puts the mingw-w64 DDK's ntddk.h in front of the driver. That header
 * defines InterlockedBitTestAndSet and InterlockedBitTestAndReset as inline
 * routines although <intrin.h>, which it includes itself, has defined them
 * already; in C++ that is a redefinition. So <intrin.h> comes first, and the
 * DDK's two definitions are compiled under other names and then forgotten:
 * callers get the <intrin.h> ones, which do the same.
 *
 * On x86-64, <intrin.h> defines __faststorefence with SFENCE, an SSE
 * instruction, which kernel code compiled for integer registers only cannot
 * use; it is defined here first, as the locked no-op on the stack that
 * orders stores the same way.
 */
#ifndef ZEPHR_WINDOWS_NTDDK_H
#define ZEPHR_WINDOWS_NTDDK_H

#if defined(__x86_64__)
#define __INTRINSIC_DEFINED___faststorefence
extern "C" inline void __faststorefence(void)
{
    __asm__ __volatile__("lock orl $0, (%%rsp)" : : : "memory", "cc");
}
#endif
#include <intrin.h>

#define InterlockedBitTestAndSet ZephrDdkInterlockedBitTestAndSet
#define InterlockedBitTestAndReset ZephrDdkInterlockedBitTestAndReset
#include_next <ntddk.h>
#undef InterlockedBitTestAndSet
#undef InterlockedBitTestAndReset

#endif /* ZEPHR_WINDOWS_NTDDK_H */
