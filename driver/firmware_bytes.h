// SPDX-License-Identifier: MIT
/*
 * firmware_bytes.h
 *
 * Reading the bytes of firmware structures and request buffers: 16-, 32- and
 * 64-bit little-endian fields at any alignment, the 8-bit sum that the
 * firmware's checksums are, and the comparison of a field with its expected
 * characters. The SMBIOS, ACPI and dispatch code read their fields through
 * these alone; the caller makes sure the bytes lie inside what it may read.
 */
#ifndef ZEPHR_FIRMWARE_BYTES_H
#define ZEPHR_FIRMWARE_BYTES_H

#include <ntddk.h>

static inline USHORT ReadLeUshort(const UCHAR* Bytes)
{
    return (USHORT)(Bytes[0] | (Bytes[1] << 8));
}

static inline ULONG ReadLeUlong(const UCHAR* Bytes)
{
    return (ULONG)Bytes[0] | ((ULONG)Bytes[1] << 8) | ((ULONG)Bytes[2] << 16) |
           ((ULONG)Bytes[3] << 24);
}

static inline ULONGLONG ReadLeUlonglong(const UCHAR* Bytes)
{
    return (ULONGLONG)ReadLeUlong(Bytes) | ((ULONGLONG)ReadLeUlong(Bytes + 4) << 32);
}

/* The sum of Length bytes modulo 256; a checksummed structure sums to 0. */
static inline UCHAR ByteSum(const UCHAR* Bytes, ULONG Length)
{
    UCHAR Sum = 0;
    ULONG Index;

    for (Index = 0; Index < Length; Index++) {
        Sum = (UCHAR)(Sum + Bytes[Index]);
    }
    return Sum;
}

/* Do Length bytes hold exactly the characters of Text (no terminator compared)? */
static inline BOOLEAN BytesEqual(const UCHAR* Bytes, PCSTR Text, ULONG Length)
{
    ULONG Index;

    for (Index = 0; Index < Length; Index++) {
        if (Bytes[Index] != (UCHAR)Text[Index]) {
            return FALSE;
        }
    }
    return TRUE;
}

#endif /* ZEPHR_FIRMWARE_BYTES_H */
