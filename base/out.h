// Console output: every message goes to standard output at once.
#pragma once

// printf to standard output, flushed before returning.
void outPrintf(const char *format, ...);
