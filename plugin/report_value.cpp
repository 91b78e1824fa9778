/*
 * report_value.cpp
 *
 * GetReportValue: the value of the first line of the system information
 * report that holds a key, without the white space around it. The report is
 * cut at the line's last non-blank character for the copy and mended after.
 */
#include "plugin/driver_connection.h"

#include <string.h>

/* Blank, tab, line feed, vertical tab, form feed, carriage return; never a byte >= 0x80. */
static int IsWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void GetReportValue(const char* key, char* destination, size_t size)
{
    char* found;
    char* end;
    char* value;
    char kept;
    size_t length;

    if (ReportText == NULL || destination == NULL || size == 0)
        return;
    found = strstr(ReportText, key);
    if (found == NULL)
        return;

    end = found;
    while (*end != '\0' && *end != '\n' && *end != '\r')
        end++;
    while (end > found && IsWhiteSpace(end[-1]))
        end--;
    kept = *end;
    *end = '\0';

    value = found + strlen(key);
    if (value > end)
        value = end;
    while (IsWhiteSpace(*value))
        value++;
    /* A longer name than the buffer holds is cut, never written past it. */
    length = strlen(value);
    if (length > size - 1)
        length = size - 1;
    memcpy(destination, value, length);
    destination[length] = '\0';

    *end = kept;
}
