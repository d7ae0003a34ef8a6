// Runs a command in a private mount namespace beside the benchmarks' stand-in LED device.
//   lumivane_standin COMMAND [ARGUMENTS...]
// Needs root. The device is the test support's stand-in: a hidraw entry for vendor 046D,
// product CA03 under a private /sys, and a FIFO as /dev/hidraw0 from which the reports the
// program writes can be read.
#include "bench/harness.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: lumivane_standin COMMAND [ARGUMENTS...]\n");
        return 2;
    }
    std::string why;
    if (!benchEnterNamespace(&why)) {
        std::fprintf(stderr, "lumivane_standin: %s\n", why.c_str());
        return 1;
    }
    execvp(argv[1], argv + 1);
    std::fprintf(stderr, "lumivane_standin: cannot run %s: %s\n", argv[1], std::strerror(errno));
    return 127;
}
