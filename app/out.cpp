// Console output, flushed message by message so that pipes and files see it at once.
#include "app/out.h"

#include <cstdarg>
#include <cstdio>

namespace {
bool g_muted = false;
} // namespace

void outPrintf(const char *format, ...)
{
    if (g_muted)
        return;
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

void outSetMuted(bool muted) { g_muted = muted; }
