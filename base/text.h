// Small routines on text that several modules share.
#pragma once

// Whether c is printable ASCII, which a terminal shows as it is (space to tilde).
inline bool textPrintable(char c)
{
    return c >= 0x20 && c <= 0x7E;
}

// The value of c as a hexadecimal digit (either case), or -1 when c is none.
inline int textHexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
