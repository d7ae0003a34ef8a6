// Console output: every message goes to standard output at once.
#pragma once

// printf to standard output, flushed before returning.
void outPrintf(const char *format, ...);

// While muted, outPrintf prints nothing (for a tool that runs the program's logic quietly).
void outSetMuted(bool muted);
