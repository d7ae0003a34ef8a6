// STUB
#include "outgauge/receiver.h"
bool ogInit() { return false; }
bool ogRead(OutGaugePacket &) { return false; }
void ogClose() {}
