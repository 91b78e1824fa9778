// SPDX-License-Identifier: MIT
/*
 * refresh_throttle.cpp
 *
 * The refresh throttle: decides from the system clock and an instance's last
 * refresh whether a reader asks the driver again, and reads the period text
 * the host passes in.
 */
#include "plugin/instance_record.h"

#include <limits.h>
#include <stdlib.h>

const char NoInstanceText[] = "ERROR: No instance was created.";

int ReadRefreshSeconds(const char* text)
{
    if (text == NULL)
        return 0;
    /* strtol reads what atoi reads, and saturates where atoi is undefined. */
    long seconds = strtol(text, NULL, 10);
    if (seconds > INT_MAX)
        return INT_MAX;
    if (seconds < INT_MIN)
        return INT_MIN;
    return (int)seconds;
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
