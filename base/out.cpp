// Console output, flushed message by message so that pipes and files see it at once.
#include "base/out.h"

#include <cstdarg>
#include <cstdio>

void outPrintf(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}
