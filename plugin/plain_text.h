// SPDX-License-Identifier: MIT
/*
 * plain_text.h
 *
 * The few text routines the plug-in needs, written out so that Gaugelet.dll
 * carries no C runtime beyond malloc and free: a substring search, a bounded
 * copy and append, and the decimal text of a 32-bit integer. Byte loops that
 * stop at a NUL, no locale, no heap. Both builds use them.
 */
#ifndef GAUGELET_PLAIN_TEXT_H
#define GAUGELET_PLAIN_TEXT_H

#include <stddef.h>

/* Bytes of the longest decimal text of an int, "-2147483648", with its NUL. */
#define DECIMAL_TEXT_SIZE 12

/*
 * The first occurrence of word in text (case-sensitive), or null when text
 * does not hold it; an empty word occurs at the start of any text.
 */
static inline const char* FindText(const char* text, const char* word)
{
    for (;; text++) {
        size_t matched = 0;
        /* The matched bytes equal the word's, so none of them is the NUL. */
        while (word[matched] != '\0' && text[matched] == word[matched])
            matched++;
        if (word[matched] == '\0')
            return text;
        if (*text == '\0')
            return NULL;
    }
}

/*
 * Appends text to the NUL-terminated text in destination, a buffer of size
 * bytes; what does not fit is cut, and the result always ends with a NUL.
 */
static inline void AppendText(char* destination, size_t size, const char* text)
{
    size_t at = 0;

    if (size == 0)
        return;
    while (at < size - 1 && destination[at] != '\0')
        at++;
    while (at < size - 1 && *text != '\0')
        destination[at++] = *text++;
    destination[at] = '\0';
}

/* Copies text into destination, a buffer of size bytes, cut to fit. */
static inline void CopyText(char* destination, size_t size, const char* text)
{
    if (size == 0)
        return;
    destination[0] = '\0';
    AppendText(destination, size, text);
}

/*
 * The decimal text of value as printf's "%d" writes it: a minus sign for a
 * negative value, no leading zeros. It is built at the end of buffer (at
 * least DECIMAL_TEXT_SIZE bytes); the result points to its first character.
 */
static inline const char* DecimalText(char* buffer, int value)
{
    unsigned int rest = value < 0 ? 0u - (unsigned int)value : (unsigned int)value;
    char* start = buffer + DECIMAL_TEXT_SIZE - 1;

    *start = '\0';
    do {
        *--start = (char)('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (value < 0)
        *--start = '-';
    return start;
}

#endif /* GAUGELET_PLAIN_TEXT_H */
