// SPDX-License-Identifier: MIT
/*
 * report_lines.h
 *
 * Reading a value from the lines of the driver's system information report
 * (lines of "name: value" ended by CR LF, the whole text ended by a NUL):
 * the value of the first line that holds a key, without the white space
 * around it. The plug-in takes the notebook's model from the "Product name:"
 * line this way, and the tools show the same name. It depends on nothing but
 * the compiler, so it builds wherever the protocol header does.
 */
#ifndef ZEPHR_REPORT_LINES_H
#define ZEPHR_REPORT_LINES_H

#include <stddef.h>

/* The key of the line that names the notebook's model. */
#define ZEPHR_PRODUCT_NAME_KEY "Product name:"

/* Blank, tab, line feed, vertical tab, form feed, carriage return; never a byte >= 0x80. */
constexpr bool ZephrIsReportWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/*
 * Finds the first occurrence of Key in Report (case-sensitive). The value is
 * what follows the key up to the line's end (the first line feed, carriage
 * return or NUL), without the white space before and after it. Gives its
 * start and length and returns true; returns false, giving nothing, when the
 * report does not hold the key.
 */
constexpr bool ZephrFindReportValue(const char* Report, const char* Key, const char** Value,
                                    size_t* Length)
{
    size_t KeyLength = 0;
    const char* Found = nullptr;
    const char* End;
    const char* Start;

    if (Report == nullptr || Key == nullptr) {
        return false;
    }
    while (Key[KeyLength] != '\0') {
        KeyLength++;
    }
    for (const char* At = Report; Found == nullptr; At++) {
        size_t Matched = 0;
        while (Matched < KeyLength && At[Matched] == Key[Matched]) {
            Matched++;
        }
        if (Matched == KeyLength) {
            Found = At;
        } else if (*At == '\0') {
            return false;
        }
    }

    /* The line's end, then back over the white space before it. */
    End = Found;
    while (*End != '\0' && *End != '\n' && *End != '\r') {
        End++;
    }
    while (End > Found && ZephrIsReportWhiteSpace(End[-1])) {
        End--;
    }
    /* The value starts after the key and its white space. */
    Start = Found + KeyLength;
    if (Start > End) {
        Start = End;
    }
    while (Start < End && ZephrIsReportWhiteSpace(*Start)) {
        Start++;
    }
    *Value = Start;
    *Length = (size_t)(End - Start);
    return true;
}

/*
 * Copies the value of the first line holding Key (at most Size - 1
 * characters, then a NUL) into Destination and returns true; leaves the
 * destination alone and returns false when no line holds the key.
 */
constexpr bool ZephrReadReportValue(const char* Report, const char* Key, char* Destination,
                                    size_t Size)
{
    const char* Value = nullptr;
    size_t Length = 0;

    if (Destination == nullptr || Size == 0 ||
        !ZephrFindReportValue(Report, Key, &Value, &Length)) {
        return false;
    }
    /* A longer value than the destination holds is cut, never written past it. */
    if (Length > Size - 1) {
        Length = Size - 1;
    }
    for (size_t At = 0; At < Length; At++) {
        Destination[At] = Value[At];
    }
    Destination[Length] = '\0';
    return true;
}

#endif /* ZEPHR_REPORT_LINES_H */
