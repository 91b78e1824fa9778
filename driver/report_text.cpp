// SPDX-License-Identifier: MIT
/*
 * report_text.cpp
 *
 * The bounded appender of the driver's text answers: a small printf-style
 * formatter of its own that writes at the end of the text and stops at the
 * text's limit, so no answer ever runs past its buffer.
 */
#include "driver/report_text.h"

#include <stdarg.h>

static ULONG TextLength(PCSTR Text)
{
    ULONG Length = 0;
    while (Text[Length] != '\0') {
        Length++;
    }
    return Length;
}

/* A cursor over the free room of the text: characters go in while they fit. */
typedef struct _PIECE_WRITER {
    PCHAR Buffer;
    ULONG Position;
    ULONG Limit;
    BOOLEAN Overflow;
} PIECE_WRITER;

static VOID PutChar(PIECE_WRITER* Writer, CHAR Character)
{
    if (Writer->Position >= Writer->Limit) {
        Writer->Overflow = TRUE;
        return;
    }
    Writer->Buffer[Writer->Position++] = Character;
}

static VOID PutText(PIECE_WRITER* Writer, PCSTR Text)
{
    while (*Text != '\0') {
        PutChar(Writer, *Text++);
    }
}

/* Value in Base (10 or 16, lower-case digits), padded with zeros to Width digits. */
static VOID PutNumber(PIECE_WRITER* Writer, ULONG Value, ULONG Base, ULONG Width)
{
    CHAR Digits[10]; /* 4294967295 in decimal, the most digits a ULONG has */
    ULONG Count = 0;

    do {
        Digits[Count++] = "0123456789abcdef"[Value % Base];
        Value /= Base;
    } while (Value != 0);

    while (Width > Count) {
        PutChar(Writer, '0');
        Width--;
    }
    while (Count > 0) {
        PutChar(Writer, Digits[--Count]);
    }
}

/*
 * The conversions the driver's texts use: "%s", "%d", "%u" and "%x", the
 * numbers with an optional zero-padded width ("%08x"). Any other conversion
 * is a fault of the caller and is written as it stands.
 */
static VOID FormatPiece(PIECE_WRITER* Writer, PCSTR Format, va_list Arguments)
{
    while (*Format != '\0') {
        ULONG Width = 0;

        if (*Format != '%') {
            PutChar(Writer, *Format++);
            continue;
        }
        Format++;
        if (*Format == '0') {
            Format++;
            while (*Format >= '0' && *Format <= '9') {
                Width = Width * 10 + (ULONG)(*Format - '0');
                Format++;
            }
        }
        switch (*Format) {
        case 's': {
            PCSTR Value = va_arg(Arguments, PCSTR);
            PutText(Writer, Value != NULL ? Value : "(null)");
            break;
        }
        case 'd': {
            LONG Value = va_arg(Arguments, LONG);
            if (Value < 0) {
                PutChar(Writer, '-');
            }
            PutNumber(Writer, Value < 0 ? 0u - (ULONG)Value : (ULONG)Value, 10, Width);
            break;
        }
        case 'u':
            PutNumber(Writer, va_arg(Arguments, ULONG), 10, Width);
            break;
        case 'x':
            PutNumber(Writer, va_arg(Arguments, ULONG), 16, Width);
            break;
        default:
            PutChar(Writer, '%');
            if (*Format == '\0') {
                return;
            }
            PutChar(Writer, *Format);
            break;
        }
        Format++;
    }
}

VOID ReportTextInit(PREPORT_TEXT Text, PCHAR Buffer, ULONG Capacity, PCSTR Marker)
{
    ULONG Reserve = Marker != NULL ? TextLength(Marker) : 0;

    Text->Buffer = Buffer;
    Text->Capacity = Capacity;
    Text->Length = 0;
    Text->Marker = Marker;
    Text->Closed = FALSE;
    /* Room for the terminating zero and, when there is one, the marker. */
    Text->Limit = Capacity > Reserve + 1 ? Capacity - 1 - Reserve : 0;
    if (Capacity > 0) {
        Buffer[0] = '\0';
    }
}

static VOID CloseText(PREPORT_TEXT Text)
{
    PCSTR Marker = Text->Marker;

    Text->Closed = TRUE;
    if (Marker == NULL) {
        return;
    }
    while (*Marker != '\0' && Text->Length + 1 < Text->Capacity) {
        Text->Buffer[Text->Length++] = *Marker++;
    }
    Text->Buffer[Text->Length] = '\0';
}

static BOOLEAN ReportTextAppendV(PREPORT_TEXT Text, PCSTR Format, va_list Arguments)
{
    PIECE_WRITER Writer;

    if (Text->Closed || Text->Capacity == 0) {
        return FALSE;
    }
    Writer.Buffer = Text->Buffer;
    Writer.Position = Text->Length;
    Writer.Limit = Text->Limit;
    Writer.Overflow = FALSE;

    FormatPiece(&Writer, Format, Arguments);
    if (Writer.Overflow) {
        /* The piece is taken back whole, its bytes cleared, and the text closed. */
        RtlZeroMemory(Text->Buffer + Text->Length, Writer.Position - Text->Length + 1);
        CloseText(Text);
        return FALSE;
    }
    Text->Length = Writer.Position;
    Text->Buffer[Text->Length] = '\0';
    return TRUE;
}

BOOLEAN ReportTextAppend(PREPORT_TEXT Text, PCSTR Format, ...)
{
    va_list Arguments;
    BOOLEAN Written;

    va_start(Arguments, Format);
    Written = ReportTextAppendV(Text, Format, Arguments);
    va_end(Arguments);
    return Written;
}
