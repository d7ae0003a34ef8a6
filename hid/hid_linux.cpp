// STUB
#include "hid/hid.h"
#include "hid/hid_linux.h"
void hidSetPaths(const char *, const char *) {}
bool initHID(std::int32_t, std::int32_t) { return false; }
bool hidSetLeds(bool, bool) { return false; }
bool closeHID() { return false; }
