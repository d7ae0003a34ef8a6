// Small routines on text that several modules share.
#pragma once

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
