// SPDX-License-Identifier: MIT
/*
 * refresh_throttle.cpp
 *
 * The refresh throttle: decides from the system clock and an instance's last
 * refresh whether a reader asks the driver again, and reads the period text
 * the host passes in.
 */
#include "plugin/instance_record.h"
#include "plugin/vocabulary.h"

const char NoInstanceText[] = GAUGELET_NO_INSTANCE_TEXT;

/* The white space atoi skips: blank, tab, line feed, vertical tab, form feed, return. */
static int IsLeadingBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int ReadRefreshSeconds(const char* text)
{
    unsigned int limit = 2147483647u; /* INT_MAX, or INT_MIN's magnitude below */
    unsigned int magnitude = 0;
    int negative = 0;

    if (text == NULL)
        return 0;
    while (IsLeadingBlank(*text))
        text++;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        text++;
    }
    if (negative)
        limit = 2147483648u;
    /* Digits beyond the 32-bit range leave the magnitude at its limit. */
    for (; *text >= '0' && *text <= '9'; text++) {
        unsigned int digit = (unsigned int)(*text - '0');
        if (magnitude > (limit - digit) / 10)
            magnitude = limit;
        else
            magnitude = magnitude * 10 + digit;
    }
    return negative ? (int)(0u - magnitude) : (int)magnitude;
}

static unsigned long long FileTimeToTicks(const FILETIME* time)
{
    return ((unsigned long long)time->dwHighDateTime << 32) | time->dwLowDateTime;
}

BOOL IsRefreshDue(InstanceRecord* instance, int seconds)
{
    if (instance == NULL)
        return FALSE;
    /*
     * A negative period would make the deadline wrap below LastRefresh, so a
     * fresh instance (LastRefresh 0) would never be due and its Text would be
     * shown unwritten. It counts as 0: refresh on every call.
     */
    if (seconds < 0)
        seconds = 0;

    FILETIME now;
    GetSystemTimeAsFileTime(&now);

    long long period = (long long)seconds * FILETIME_TICKS_PER_SECOND;
    unsigned long long deadline =
        FileTimeToTicks(&instance->LastRefresh) + (unsigned long long)period;
    if (FileTimeToTicks(&now) < deadline)
        return FALSE;

    instance->LastRefresh = now;
    return TRUE;
}
