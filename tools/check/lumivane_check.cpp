// lumivane-check: explains a lumivane.cfg and finds its mistakes before the drive.
#include "tools/check/check.h"

int main(int argc, char **argv)
{
    return checkMain(argc, argv);
}
