// SPDX-License-Identifier: MIT
/*
 * instance_record.h
 *
 * The record Gaugelet keeps for each instance the host creates with
 * dllstartup, and the refresh throttle every reader consults before it asks
 * the driver for a new value.
 */
#ifndef GAUGELET_INSTANCE_RECORD_H
#define GAUGELET_INSTANCE_RECORD_H

#include <windows.h>

/* Bytes of an instance's result text buffer, the terminating NUL included. */
#define INSTANCE_TEXT_SIZE 512

/* 100-nanosecond intervals (the FILETIME unit) per second. */
#define FILETIME_TICKS_PER_SECOND 10000000LL

/*
 * One instance of a reader. The host holds the pointer as an opaque handle
 * and passes it back on every reader call.
 *   LastRefresh  system time of the last refresh; 0 until the first one.
 *   Text         the INSTANCE_TEXT_SIZE-byte buffer every reader writes its
 *                result into and returns; it keeps the last result between
 *                refreshes.
 *   Value        the 4-byte output area of the instance's last device request.
 */
typedef struct InstanceRecord {
    FILETIME LastRefresh;
    char* Text;
    DWORD Value;
} InstanceRecord;

/*
 * What a reader returns for a null instance (the host passes back what a
 * failed dllstartup gave it). A constant, never an instance's buffer.
 */
extern const char NoInstanceText[];

/*
 * A reader's refresh period text read as a signed decimal number the way
 * atoi reads it: leading white space, an optional sign, then digits; 0 when
 * there are no digits (or no text). Values beyond the 32-bit range are
 * clamped to it instead of being undefined.
 */
int ReadRefreshSeconds(const char* text);

/*
 * TRUE when the instance's period has passed since its last refresh (and
 * LastRefresh is then set to now); FALSE when the reader shall return Text
 * unchanged. A negative period counts as 0, a null instance is never due.
 */
BOOL IsRefreshDue(InstanceRecord* instance, int seconds);

#endif /* GAUGELET_INSTANCE_RECORD_H */
