// The floor of the program's design: a loop that does nothing but the loop's 10 ms pause,
// with the same sleep routine. Runs until it is killed.
#include "app/clock_backend.h"
#include "app/loop.h"

int main()
{
    for (;;)
        clockSystemSleep(LOOP_PAUSE_MS);
}
