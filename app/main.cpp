// The program's entry: arguments are ignored; the process ends on a console event.
#include "app/loop.h"

int main()
{
    return appMain();
}
