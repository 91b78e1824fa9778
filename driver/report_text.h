// SPDX-License-Identifier: MIT
/*
 * report_text.h
 *
 * The bounded text appender behind the driver's text answers (the system
 * information report, the CPU speed text, the ACPI report). Each piece is
 * formatted at the current end of a NUL-terminated text inside the request's
 * buffer, printf-style with the conversions the driver's texts use: "%s",
 * "%d" (LONG), "%u" and "%x" (ULONG, lower-case digits), the numbers with an
 * optional zero-padded width such as "%08x".
 *
 * A piece is written whole or not at all: the first piece that does not fit
 * closes the text. A text with a marker then ends with that marker (room for
 * it is kept back from the start, so it always fits), and every later piece
 * is dropped. The text and its terminating zero never pass the capacity.
 */
#ifndef ZEPHR_REPORT_TEXT_H
#define ZEPHR_REPORT_TEXT_H

#include <ntddk.h>

typedef struct _REPORT_TEXT {
    PCHAR Buffer;
    ULONG Capacity; /* bytes of the buffer, terminating zero included */
    ULONG Length;   /* characters before the terminating zero */
    ULONG Limit;    /* characters that ordinary pieces may fill */
    PCSTR Marker;   /* written once when a piece does not fit; may be NULL */
    BOOLEAN Closed; /* a piece did not fit; later pieces are dropped */
} REPORT_TEXT, *PREPORT_TEXT;

/* The marker the reports end with when they outgrow their buffer. */
#define REPORT_TRUNCATED_MARKER "*** Error: Report truncated ***"

/* Starts an empty text (a zero in the first byte). Capacity must be at least 1. */
VOID ReportTextInit(PREPORT_TEXT Text, PCHAR Buffer, ULONG Capacity, PCSTR Marker);

/* Appends one formatted piece; FALSE when it did not fit and was dropped. */
BOOLEAN ReportTextAppend(PREPORT_TEXT Text, PCSTR Format, ...);

#endif /* ZEPHR_REPORT_TEXT_H */
