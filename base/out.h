// Console output: every message goes to standard output at once.
#pragma once

// The compiler checks every call's arguments against its format. MinGW's C++ runtime links
// MinGW's own printf (its headers turn on __USE_MINGW_ANSI_STDIO for C++), whose checks are
// GNU's, not those of the Windows C runtime that plain "printf" stands for there.
#if defined(__MINGW32__)
#define OUT_PRINTF_FORMAT __attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
#define OUT_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#else
#define OUT_PRINTF_FORMAT
#endif

// printf to standard output, flushed before returning.
void outPrintf(const char *format, ...) OUT_PRINTF_FORMAT;
